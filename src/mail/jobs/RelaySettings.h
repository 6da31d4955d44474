#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <optional>

namespace murmelo {

class Defaults;
class PasswordStore;

// The service's own mailboxes and relay account, compiled in for this deployment.
namespace MailDeployment {
inline constexpr char kSenderMailbox[] = "listen@murmelo.org";
inline constexpr char kSupportMailbox[] = "support@murmelo.org";
// Receives the reversals users choose to send to the service.
inline constexpr char kCollectingMailbox[] = "reversals@murmelo.org";
inline constexpr char kRelayLogin[] = "5c0e8a7f31d94b6e2a8f07c1d3b95e46";
inline constexpr char kRelayPassword[] = "e81b4d2f6a09c73e5d1f8b2a4c6e0d97";
} // namespace MailDeployment

// How the connection to an outgoing server is secured, as desktop mail programs name it: a plain
// connection upgraded with STARTTLS (submission, port 587), or TLS from the first byte on (port
// 465). Never clear text.
enum class RelaySecurity { StartTLS, TLS };

// The port that goes with each kind of connection.
quint16 defaultPort(RelaySecurity security);

// Everything one mail job needs to reach the relay.
struct RelayConfiguration {
    QString host;
    // Tried in order; empty means the client's own list.
    QList<quint16> ports;
    RelaySecurity security = RelaySecurity::StartTLS;
    bool requiresAuth = true;
    QString login;
    QString password;
    QString fromEmail;
    bool ownServer = false;
};

// The user's own outgoing server as entered on the settings screen; nothing goes to it before the
// connection is secured. The password is not part of it: it lives in the keyring.
struct OwnRelay {
    QString host;
    quint16 port = 587;
    QString user;
    QString sender;
    RelaySecurity security = RelaySecurity::StartTLS;

    bool operator==(const OwnRelay &) const = default;
    // The keyring entry of this account.
    QString keyringKey() const;
};

// The one model of the outgoing relay, read by the settings screen and the mail jobs alike: the
// deployment's relay, or the user's own server. MURMELO_MAIL_RELAY ("host" or "host:port")
// overrides the host of either, for tests and private deployments.
class RelaySettings {
public:
    // Over these defaults; null follows whatever Defaults::standard() is at each use.
    RelaySettings(Defaults *defaults, PasswordStore &passwords);

    // The model over the user defaults and the desktop keyring.
    static RelaySettings &standard();
    // Replaces what standard() returns (null restores it). For tests.
    static void setStandardForTesting(RelaySettings *settings);

    std::optional<OwnRelay> ownRelay() const;
    // Stores the server; a non-empty password replaces the one in the keyring, an empty one keeps
    // it. `done` gets the keyring's error, if any; the server is kept either way.
    void setOwnRelay(const OwnRelay &relay, const QString &password,
                     std::function<void(const QString &error)> done);
    // Back to the deployment's relay; the own server's password leaves the keyring.
    void useDeploymentRelay(std::function<void(const QString &error)> done);

    // The host the next mail goes to, for the reachability check.
    QString relayHost() const;
    // The full configuration, the own server's password read from the keyring. A keyring that
    // cannot be read gives its error and no configuration.
    void resolve(
        std::function<void(const std::optional<RelayConfiguration> &, const QString &error)> done)
        const;

private:
    RelayConfiguration withoutPassword() const;
    Defaults &defaults() const;

    Defaults *defaults_;
    PasswordStore &passwords_;
};

} // namespace murmelo
