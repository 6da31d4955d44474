#pragma once

#include <QString>

namespace murmelo {

inline constexpr char kMMSMTPErrorDomain[] = "MMSMTPMessageError";

// What the delegate hears when a message could not be sent.
struct MMSMTPError {
    QString domain;
    int code = 0;
    // Which of the failures below this is (an MMSMTPErrorCode); equal to `code` except where a
    // server's refusal carries the server's own code.
    int kind = 0;
    QString localizedDescription;
    QString localizedRecoverySuggestion;
    // What exactly went wrong where the description is general (which check the server's
    // certificate failed, what the server answered); often empty.
    QString localizedFailureReason;
    // The server's own reply where it refused something ("550 5.1.1 no such user"), its lines
    // joined by blanks; empty when the failure was not the server's answer.
    QString serverReply;
};

// The coded failures of the SMTP dialogue (domain "MMSMTPMessageError").
enum MMSMTPErrorCode {
    kMMSMTPErrorUnsupportedLogin = -2,
    kMMSMTPErrorConnect = -3,
    kMMSMTPErrorInterrupted = -4,
    kMMSMTPErrorTimeout = -5,
    // The server offers no secure connection although one was asked for.
    kMMSMTPErrorNotSecure = -6,
    // The TLS handshake failed, e.g. on a certificate that does not verify.
    kMMSMTPErrorTLSFailed = -7,
    // An address, the subject or a part header carries a line break or NUL, or a sender address
    // that must be ASCII is not.
    kMMSMTPErrorInvalidHeader = -8,
    // A reply line or a multi-line reply longer than any server sends.
    kMMSMTPErrorBadReply = -9,
    // An address list holds something that is not one mailbox, or the sender is not one.
    kMMSMTPErrorInvalidAddress = -10,
    // No recipient at all, or more than one message may go to.
    kMMSMTPErrorNoRecipient = -11,
    kMMSMTPErrorTooManyRecipients = -12,
    // An address with letters beyond ASCII before its "@", and a server without SMTPUTF8.
    kMMSMTPErrorNeedsSmtpUtf8 = -13,
    // A refusal the texts below do not name, by the step it came at; the error's code is then
    // the server's own.
    kMMSMTPErrorGreetingRefused = -20,
    kMMSMTPErrorSenderRefused = -21,
    kMMSMTPErrorRecipientRefusedForNow = -22,
    kMMSMTPErrorMessageRefused = -23,
    kMMSMTPErrorTryLater = -24,
    kMMSMTPErrorRelayRejected = 530,
    kMMSMTPErrorBadLogin = 535,
    kMMSMTPErrorToRejected = 550,
    kMMSMTPErrorLogoutFailed = 551, // sent as 550, kept apart here only to pick its texts
    // The server's announced SIZE is below the message's size.
    kMMSMTPErrorTooLarge = 552,
};

// The error value for a code, texts looked up in the localisation table.
MMSMTPError mmsmtpError(MMSMTPErrorCode code);

// "too large to send by e-mail (N MB; the limit is M MB)", sizes in bytes; N is rounded up and M
// down, so that the two never read as equal.
QString mmsmtpTooLargeText(qint64 size, qint64 limit);

// A name or address as an error's text quotes it: “text”.
QString mmsmtpQuoted(const QString &text);

} // namespace murmelo
