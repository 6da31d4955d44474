#include "mail/jobs/RelaySettings.h"

#include "mail/jobs/PasswordStore.h"
#include "platform/Defaults.h"
#include "platform/ServiceEndpoints.h"

namespace murmelo {

namespace {
const QString kOwnServer = QStringLiteral("mailRelay/ownServer");
const QString kHost = QStringLiteral("mailRelay/host");
const QString kPort = QStringLiteral("mailRelay/port");
// "starttls" or "tls"; settings written before the choice existed have none and meant STARTTLS.
const QString kSecurity = QStringLiteral("mailRelay/security");
const QString kTLSValue = QStringLiteral("tls");
const QString kStartTLSValue = QStringLiteral("starttls");
const QString kUser = QStringLiteral("mailRelay/user");
const QString kSender = QStringLiteral("mailRelay/sender");

RelaySettings *testingStandard = nullptr;

} // namespace

quint16 defaultPort(RelaySecurity security)
{
    return security == RelaySecurity::TLS ? 465 : 587;
}

QString OwnRelay::keyringKey() const
{
    return QStringLiteral("smtp://%1@%2:%3").arg(user, host).arg(port);
}

RelaySettings::RelaySettings(Defaults *defaults, PasswordStore &passwords)
    : defaults_(defaults), passwords_(passwords)
{
}

Defaults &RelaySettings::defaults() const
{
    return defaults_ ? *defaults_ : Defaults::standard();
}

RelaySettings &RelaySettings::standard()
{
    if (testingStandard)
        return *testingStandard;
    static RelaySettings settings(nullptr, KeychainPasswordStore::shared());
    return settings;
}

void RelaySettings::setStandardForTesting(RelaySettings *settings)
{
    testingStandard = settings;
}

std::optional<OwnRelay> RelaySettings::ownRelay() const
{
    if (!defaults().boolForKey(kOwnServer))
        return std::nullopt;
    OwnRelay relay;
    relay.host = defaults().stringForKey(kHost);
    const qint64 port = defaults().integerForKey(kPort);
    relay.port = port > 0 && port <= 65535 ? quint16(port) : quint16(587);
    relay.user = defaults().stringForKey(kUser);
    relay.sender = defaults().stringForKey(kSender);
    // Anything but an explicit "tls" keeps STARTTLS, which is still never clear text.
    relay.security = defaults().stringForKey(kSecurity).trimmed().toLower() == kTLSValue
                         ? RelaySecurity::TLS
                         : RelaySecurity::StartTLS;
    return relay;
}

void RelaySettings::setOwnRelay(const OwnRelay &relay, const QString &password,
                                std::function<void(const QString &)> done)
{
    const std::optional<OwnRelay> previous = ownRelay();
    defaults().setBool(kOwnServer, true);
    defaults().setString(kHost, relay.host.trimmed());
    defaults().setInteger(kPort, relay.port);
    defaults().setString(kSecurity,
                         relay.security == RelaySecurity::TLS ? kTLSValue : kStartTLSValue);
    defaults().setString(kUser, relay.user.trimmed());
    defaults().setString(kSender, relay.sender.trimmed());
    defaults().synchronize();
    const OwnRelay stored = *ownRelay();
    const bool accountMoved = previous && previous->keyringKey() != stored.keyringKey();
    if (password.isEmpty()) {
        if (!accountMoved) {
            done(QString());
            return;
        }
        // The password belongs to the account, so it follows it to its new key.
        passwords_.read(previous->keyringKey(), [this, previous, stored,
                                                 done](const QString &old, const QString &error) {
            if (!error.isEmpty() || old.isEmpty()) {
                done(error);
                return;
            }
            passwords_.write(stored.keyringKey(), old,
                             [this, previous, done](const QString &error) {
                                 if (!error.isEmpty())
                                     done(error);
                                 else
                                     passwords_.remove(previous->keyringKey(), std::move(done));
                             });
        });
        return;
    }
    passwords_.write(stored.keyringKey(), password,
                     [this, accountMoved, previous, done](const QString &error) {
                         if (!error.isEmpty() || !accountMoved)
                             done(error);
                         else
                             passwords_.remove(previous->keyringKey(), std::move(done));
                     });
}

void RelaySettings::useDeploymentRelay(std::function<void(const QString &)> done)
{
    const std::optional<OwnRelay> previous = ownRelay();
    defaults().setBool(kOwnServer, false);
    defaults().synchronize();
    if (previous)
        passwords_.remove(previous->keyringKey(), std::move(done));
    else
        done(QString());
}

RelayConfiguration RelaySettings::withoutPassword() const
{
    RelayConfiguration configuration;
    if (const std::optional<OwnRelay> own = ownRelay()) {
        configuration.ownServer = true;
        configuration.host = own->host;
        configuration.ports = {own->port};
        configuration.security = own->security;
        configuration.requiresAuth = !own->user.isEmpty();
        configuration.login = own->user;
        configuration.fromEmail = own->sender;
    } else {
        configuration.host = ServiceEndpoints::mailRelayHost();
        configuration.login = QLatin1String(MailDeployment::kRelayLogin);
        configuration.password = QLatin1String(MailDeployment::kRelayPassword);
        configuration.fromEmail = QLatin1String(MailDeployment::kSenderMailbox);
    }
    if (qEnvironmentVariableIsSet(ServiceEndpoints::kMailRelayVariable) &&
        !qEnvironmentVariable(ServiceEndpoints::kMailRelayVariable).trimmed().isEmpty()) {
        configuration.host = ServiceEndpoints::mailRelayHost();
        configuration.ports = {ServiceEndpoints::mailRelayPort()};
    }
    return configuration;
}

QString RelaySettings::relayHost() const
{
    return withoutPassword().host;
}

void RelaySettings::resolve(
    std::function<void(const std::optional<RelayConfiguration> &, const QString &)> done) const
{
    RelayConfiguration configuration = withoutPassword();
    const std::optional<OwnRelay> own = ownRelay();
    if (!own || !configuration.requiresAuth) {
        done(configuration, QString());
        return;
    }
    passwords_.read(own->keyringKey(), [configuration, done = std::move(done)](
                                           const QString &password, const QString &error) mutable {
        if (!error.isEmpty()) {
            done(std::nullopt, error);
            return;
        }
        configuration.password = password;
        done(configuration, QString());
    });
}

} // namespace murmelo
