#include "mail/smtp/MMSMTPRejection.h"

#include <QCoreApplication>

namespace murmelo {

namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(MMSMTPRejection)
};
} // namespace

MMSMTPError mmsmtpRejection(MMSMTPSendState state, int code, const QString &serverReply,
                            const QString &recipient)
{
    const bool temporary = code < 500;
    const bool atRecipient = !recipient.isEmpty();
    MMSMTPErrorCode kind = temporary ? kMMSMTPErrorTryLater : kMMSMTPErrorMessageRefused;
    switch (state) {
    case kMMSMTPConnecting:
        kind = kMMSMTPErrorGreetingRefused;
        break;
    case kMMSMTPWaitingTLSReply:
        kind = kMMSMTPErrorNotSecure;
        break;
    case kMMSMTPWaitingLOGINUserNameReply:
    case kMMSMTPWaitingLOGINPasswordReply:
    case kMMSMTPWaitingAuthSuccess:
        if (code == 535 || code == 534)
            kind = kMMSMTPErrorBadLogin;
        break;
    case kMMSMTPWaitingFromReply:
    case kMMSMTPWaitingToReply:
        if (!atRecipient)
            kind = temporary ? kMMSMTPErrorTryLater : kMMSMTPErrorSenderRefused;
        else if (code == 530)
            kind = kMMSMTPErrorRelayRejected;
        else
            kind = temporary ? kMMSMTPErrorRecipientRefusedForNow : kMMSMTPErrorToRejected;
        break;
    case kMMSMTPWaitingSendSuccess:
        if (code == 550)
            kind = kMMSMTPErrorLogoutFailed;
        else if (code == 552)
            kind = kMMSMTPErrorTooLarge;
        break;
    default:
        break;
    }
    MMSMTPError error = mmsmtpError(kind);
    // The server's own code, whatever texts were chosen for it.
    error.code = code;
    error.kind = kind;
    error.serverReply = serverReply;
    error.localizedFailureReason =
        atRecipient ? Texts::tr("The server answered for %1: %2")
                          .arg(mmsmtpQuoted(recipient), error.serverReply)
                    : Texts::tr("The server answered: %1").arg(error.serverReply);
    return error;
}

} // namespace murmelo
