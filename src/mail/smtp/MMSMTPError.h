#pragma once

#include <QString>

namespace murmelo {

inline constexpr char kMMSMTPErrorDomain[] = "MMSMTPMessageError";

// What the delegate hears when a message could not be sent.
struct MMSMTPError {
    QString domain;
    int code = 0;
    QString localizedDescription;
    QString localizedRecoverySuggestion;
    // What exactly went wrong where the description is general (which check the server's
    // certificate failed); often empty.
    QString localizedFailureReason;
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
    kMMSMTPErrorRelayRejected = 530,
    kMMSMTPErrorBadLogin = 535,
    kMMSMTPErrorToRejected = 550,
    kMMSMTPErrorLogoutFailed = 551, // sent as 550, kept apart here only to pick its texts
    // The server's announced SIZE is below the message's size.
    kMMSMTPErrorTooLarge = 552,
};

// The error value for a code, texts looked up in the localisation table.
MMSMTPError mmsmtpError(MMSMTPErrorCode code);

} // namespace murmelo
