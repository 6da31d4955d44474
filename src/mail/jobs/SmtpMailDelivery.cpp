#include "mail/jobs/MailDelivery.h"

#include "mail/smtp/MMSMTPMessage.h"

#include <QFile>
#include <QSslCertificate>

namespace murmelo {

namespace {

// Certificate authorities trusted for the relay besides the system's, from a PEM file named by
// MURMELO_MAIL_CA_FILE: a private relay's own authority, or a test's.
QList<QSslCertificate> extraAuthorities()
{
    const QString path = qEnvironmentVariable("MURMELO_MAIL_CA_FILE");
    if (path.isEmpty())
        return {};
    return QSslCertificate::fromPath(path, QSsl::Pem);
}

MMSMTPParts clientParts(const QList<MailPart> &parts)
{
    MMSMTPParts converted;
    for (const MailPart &part : parts) {
        MMSMTPPart entry;
        entry.insert(QLatin1String(kMMSMTPPartContentTypeKey), part.contentType);
        if (!part.contentDisposition.isEmpty())
            entry.insert(QLatin1String(kMMSMTPPartContentDispositionKey), part.contentDisposition);
        entry.insert(QLatin1String(kMMSMTPPartContentTransferEncodingKey),
                     part.contentTransferEncoding);
        entry.insert(QLatin1String(kMMSMTPPartMessageKey), part.message);
        converted << entry;
    }
    return converted;
}

// Failures that the server settings, the user's account or what the user typed cause, or that
// the server explained; the rest (a network that drops, a silent server) need nothing but another
// try.
bool userCanSetRight(const MMSMTPError &error)
{
    return error.domain == QLatin1String(kMMSMTPErrorDomain) &&
           error.kind != kMMSMTPErrorInterrupted && error.kind != kMMSMTPErrorTimeout &&
           error.kind != kMMSMTPErrorBadReply;
}

// Failures the outgoing-mail settings mend: which server, how it is reached, the account.
bool settingsHelp(const MMSMTPError &error)
{
    switch (error.kind) {
    case kMMSMTPErrorUnsupportedLogin:
    case kMMSMTPErrorConnect:
    case kMMSMTPErrorNotSecure:
    case kMMSMTPErrorTLSFailed:
    case kMMSMTPErrorNeedsSmtpUtf8:
    case kMMSMTPErrorGreetingRefused:
    case kMMSMTPErrorSenderRefused:
    case kMMSMTPErrorRelayRejected:
    case kMMSMTPErrorBadLogin:
        return true;
    default:
        return false;
    }
}

QString explanationOf(const MMSMTPError &error)
{
    QString text = error.localizedDescription;
    if (!error.localizedFailureReason.isEmpty())
        text += QLatin1Char('\n') + error.localizedFailureReason;
    if (!error.localizedRecoverySuggestion.isEmpty())
        text += QStringLiteral("\n\n") + error.localizedRecoverySuggestion;
    return text;
}

// One mail through the application's SMTP client, which this delivery owns and is the delegate
// of.
class SmtpMailDelivery : public MailDelivery, private MMSMTPMessageDelegate {
public:
    SmtpMailDelivery(const RelayConfiguration &relay, const MailContents &contents,
                     MailDeliveryDelegate &delegate)
        : delegate_(delegate)
    {
        message_.setRelayHost(relay.host);
        if (!relay.ports.isEmpty())
            message_.setRelayPorts(relay.ports);
        message_.setRequiresAuth(relay.requiresAuth);
        message_.setLogin(relay.login);
        message_.setPassword(relay.password);
        message_.setWantsSecure(true);
        message_.setImplicitTLS(relay.security == RelaySecurity::TLS);
        message_.setValidateSSLChain(true);
        message_.setTrustedCertificates(extraAuthorities());
        message_.setFromEmail(relay.fromEmail);
        message_.setToEmail(contents.toEmail);
        message_.setSubject(contents.subject);
        message_.setParts(clientParts(contents.parts));
        message_.setDelegate(this);
    }

    bool send() override { return message_.send(); }
    void cancel() override { message_.cancel(); }

private:
    void messageSent(MMSMTPMessage *) override { delegate_.messageSent(this); }
    void messageFailed(MMSMTPMessage *, const MMSMTPError &error) override
    {
        MailFailure failure;
        failure.reason = QStringLiteral("%1 %2: %3")
                             .arg(error.domain)
                             .arg(error.code)
                             .arg(error.localizedDescription);
        if (!error.localizedFailureReason.isEmpty())
            failure.reason += QStringLiteral(" (%1)").arg(error.localizedFailureReason);
        if (userCanSetRight(error)) {
            failure.explanation = explanationOf(error);
            failure.settingsHelp = settingsHelp(error);
        }
        delegate_.messageFailed(this, failure);
    }

    MailDeliveryDelegate &delegate_;
    MMSMTPMessage message_;
};

} // namespace

MailDeliveryFactory smtpMailDeliveryFactory()
{
    return [](const RelayConfiguration &relay, const MailContents &contents,
              MailDeliveryDelegate &delegate) -> std::unique_ptr<MailDelivery> {
        return std::make_unique<SmtpMailDelivery>(relay, contents, delegate);
    };
}

} // namespace murmelo
