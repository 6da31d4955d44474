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
                "Send a shorter recording, or crop it first."};
    }
    return {int(code), "", ""};
}
} // namespace

MMSMTPError mmsmtpError(MMSMTPErrorCode code)
{
    const Texts texts = textsFor(code);
    return {QString::fromLatin1(kMMSMTPErrorDomain), texts.code, localized(texts.description),
            localized(texts.recovery), QString()};
}

} // namespace murmelo
