#include "mail/smtp/MMSMTPError.h"

#include "platform/Localized.h"

namespace murmelo {

namespace {
constexpr char kTryLater[] = "Try sending your message again later.";

struct Texts {
    int code;
    const char *description;
    const char *recovery;
};

Texts textsFor(MMSMTPErrorCode code)
{
    switch (code) {
    case kMMSMTPErrorUnsupportedLogin:
        return {-2, "Unsupported login mechanism.",
                "Your server's security setup is not supported, please contact your system "
                "administrator or use a supported email account."};
    case kMMSMTPErrorConnect:
        return {-3, "Unable to connect to the server.", kTryLater};
    case kMMSMTPErrorInterrupted:
        return {-4, "The connection to the server was interrupted.", kTryLater};
    case kMMSMTPErrorTimeout:
        return {-5, "Timeout sending message.", kTryLater};
    case kMMSMTPErrorNotSecure:
        return {-6, "The server does not offer a secure connection.",
                "Your password was not sent. Check the server settings or try again later."};
    case kMMSMTPErrorTLSFailed:
        return {-7, "The secure connection to the server could not be established.",
                "Your password was not sent. The server's certificate may not be trusted; check "
                "the server settings or try again later."};
    case kMMSMTPErrorInvalidHeader:
        return {-8, "The message has an invalid address or subject.",
                "Remove line breaks and unusual characters from the addresses and the subject."};
    case kMMSMTPErrorBadReply:
        return {-9, "The server sent an invalid reply.", kTryLater};
    case kMMSMTPErrorInvalidAddress:
        return {-10, "An address is not a valid e-mail address.",
                "Write each address as name@example.org or Name <name@example.org>, separated "
                "by commas."};
    case kMMSMTPErrorNoRecipient:
        return {-11, "The message has no recipient.", "Enter at least one address."};
    case kMMSMTPErrorTooManyRecipients:
        return {-12, "The message has too many recipients.",
                "Send it to at most 100 addresses at a time."};
    case kMMSMTPErrorNeedsSmtpUtf8:
        return {-13, "The server does not accept international addresses.",
                "Use another address for this recipient, or send through a server that accepts "
                "addresses with letters beyond A to Z (SMTPUTF8)."};
    case kMMSMTPErrorGreetingRefused:
        return {-20, "The server refused the connection.", kTryLater};
    case kMMSMTPErrorSenderRefused:
        return {-21, "The server refused the sender address.",
                "Check the sender address in the outgoing-mail settings."};
    case kMMSMTPErrorRecipientRefusedForNow:
        return {-22, "The server cannot take mail for this address now.", kTryLater};
    case kMMSMTPErrorMessageRefused:
        return {-23, "The server refused the message.", kTryLater};
    case kMMSMTPErrorTryLater:
        return {-24, "The server cannot take the message now.", kTryLater};
    case kMMSMTPErrorRelayRejected:
        return {530, "Relay rejected.", "Your server probably requires a username and password."};
    case kMMSMTPErrorBadLogin:
        return {535, "Invalid username or password.",
                "Go to Email Preferences in the application and re-enter your username and "
                "password."};
    case kMMSMTPErrorToRejected:
        return {550, "To address rejected.", "Please re-enter the To: address."};
    case kMMSMTPErrorLogoutFailed:
        return {550, "Failed to logout.", kTryLater};
    case kMMSMTPErrorTooLarge:
        return {552, "The message is too large for the server.",
                "Crop the recording to the part that matters, or publish it instead "
                "(Publish\u2026)."};
    }
    return {int(code), "", ""};
}
} // namespace

MMSMTPError mmsmtpError(MMSMTPErrorCode code)
{
    const Texts texts = textsFor(code);
    MMSMTPError error;
    error.domain = QString::fromLatin1(kMMSMTPErrorDomain);
    error.code = texts.code;
    error.kind = int(code);
    error.localizedDescription = localized(texts.description);
    error.localizedRecoverySuggestion = localized(texts.recovery);
    return error;
}

namespace {
// Whole megabytes from 10 MB on, tenths below; rounded up or down.
QString megabytes(qint64 bytes, bool up)
{
    const qint64 unit = bytes >= 10 * 1000 * 1000 ? 1000 * 1000 : 100 * 1000;
    const qint64 units = up ? (bytes + unit - 1) / unit : bytes / unit;
    return unit == 1000 * 1000 ? QString::number(units)
                               : QString::number(double(units) / 10.0, 'f', 1);
}
} // namespace

QString mmsmtpTooLargeText(qint64 size, qint64 limit)
{
    return localized("too large to send by e-mail (%1 MB; the limit is %2 MB)")
        .arg(megabytes(size, true), megabytes(std::max<qint64>(limit, 0), false));
}

QString mmsmtpQuoted(const QString &text)
{
    return QStringLiteral("\u201c%1\u201d").arg(text);
}

} // namespace murmelo
