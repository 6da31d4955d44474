#include "app/TelemetryReachability.h"

#include "toolkit/reachability/Reachability.h"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace murmelo {

namespace {
std::unique_ptr<Reachability> reachabilityFor(const VGReachability::Target &target)
{
    if (!target.hostName.isEmpty())
        return Reachability::reachabilityWithHostName(target.hostName);
    bool isIPv4 = false;
    const quint32 ipv4 = target.address.toIPv4Address(&isIPv4);
    if (isIPv4) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(ipv4);
        return Reachability::reachabilityWithAddress(reinterpret_cast<const sockaddr *>(&address));
    }
    if (target.address.protocol() == QAbstractSocket::IPv6Protocol) {
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        const Q_IPV6ADDR bytes = target.address.toIPv6Address();
        static_assert(sizeof bytes.c == sizeof address.sin6_addr.s6_addr);
        std::copy(std::begin(bytes.c), std::end(bytes.c), address.sin6_addr.s6_addr);
        return Reachability::reachabilityWithAddress(reinterpret_cast<const sockaddr *>(&address));
    }
    return nullptr;
}
} // namespace

std::optional<quint32> TelemetryReachability::applicationFlags(const VGReachability::Target &target)
{
    const std::unique_ptr<Reachability> reachability = reachabilityFor(target);
    quint32 flags = 0;
    if (!reachability || !reachability->flags(&flags))
        return std::nullopt;
    return flags;
}

TelemetryReachability::TelemetryReachability(FlagsReader reader, QObject *parent)
    : QObject(parent), internet_(Reachability::reachabilityForInternetConnection())
{
    VGReachability::setFlagsSource(std::move(reader));
    connect(&ReachabilityNotificationCenter::defaultCenter(),
            &ReachabilityNotificationCenter::posted, this, [](const QString &name) {
                if (name == QLatin1String(kNetworkReachabilityChangedNotification))
                    VGReachability::flagsMayHaveChanged();
            });
    // Without the routing socket the telemetry still looks again at its own pace.
    if (internet_)
        internet_->startNotifier();
}

TelemetryReachability::~TelemetryReachability()
{
    VGReachability::setFlagsSource(nullptr);
}

} // namespace murmelo
