#pragma once

#include "toolkit/reachability/ReachabilityFlags.h"
#include "toolkit/reachability/ReachabilityRoutes.h"

#include <QObject>
#include <QString>
#include <chrono>
#include <memory>

struct sockaddr;

namespace murmelo {

class ReachabilityMonitor;
class Reachability;

inline constexpr char kNetworkReachabilityChangedNotification[] =
    "kNetworkReachabilityChangedNotification";

// Where reachability changes are broadcast, by notification name, to whoever listens.
class ReachabilityNotificationCenter : public QObject {
    Q_OBJECT
public:
    static ReachabilityNotificationCenter &defaultCenter();

signals:
    void posted(const QString &name, murmelo::Reachability *object);
};

// Whether one target (a host name, an address, the internet at large or the link-local network)
// can be reached now, and over which kind of link.
class Reachability : public QObject {
    Q_OBJECT
public:
    ~Reachability() override;

    // Each factory returns null when the target cannot make a handle: an empty or malformed
    // host name, or an address that is neither IPv4 nor IPv6. Nothing is resolved here.
    static std::unique_ptr<Reachability> reachabilityWithHostName(const QString &hostName);
    static std::unique_ptr<Reachability> reachabilityWithAddress(const sockaddr *address);
    static std::unique_ptr<Reachability> reachabilityForInternetConnection();
    static std::unique_ptr<Reachability> reachabilityForLocalWiFi();

    // Posts kNetworkReachabilityChangedNotification on the calling thread's event loop whenever
    // the kernel reports a change of links, addresses or routes, until stopNotifier().
    bool startNotifier();
    void stopNotifier();

    NetworkStatus currentReachabilityStatus() const;
    bool connectionRequired() const;
    // False when the machine's network state cannot be read at all.
    bool flags(quint32 *flags) const;

    // The status rules; both write their trace line to the system log first.
    static NetworkStatus networkStatusForFlags(quint32 flags);
    static NetworkStatus localWiFiStatusForFlags(quint32 flags);

    // A missing instance answers "not reachable".
    static NetworkStatus statusOf(const Reachability *reachability);

    bool isLocalWiFi() const { return localWiFi_; }
    QString hostName() const { return QString::fromUtf8(host_); }
    // How long a name lookup may take before the host counts as unreachable.
    void setResolveTimeout(std::chrono::milliseconds timeout) { resolveTimeout_ = timeout; }

private:
    Reachability() = default;

    QByteArray host_;                  // empty for an address target
    std::optional<IpAddress> address_; // set for an address target
    bool localWiFi_ = false;
    std::chrono::milliseconds resolveTimeout_{2000};
    ReachabilityMonitor *monitor_ = nullptr;
};

} // namespace murmelo
