#include "toolkit/reachability/ReachabilityRoutes.h"

#include "toolkit/reachability/ReachabilityFlags.h"

#include <QFile>
#include <QHash>
#include <arpa/inet.h>
#include <bit>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace murmelo {

namespace {
// Route flags as the kernel prints them in /proc/net.
constexpr quint32 kRouteUp = 0x1;
constexpr quint32 kRouteGateway = 0x2;
constexpr quint32 kRouteReject = 0x200;

bool prefixMatches(const IpAddress &address, const IpAddress &network, int prefixLength)
{
    if (address.family != network.family)
        return false;
    const int whole = prefixLength / 8;
    if (std::memcmp(address.bytes.data(), network.bytes.data(), whole) != 0)
        return false;
    const int rest = prefixLength % 8;
    if (rest == 0)
        return true;
    const quint8 mask = quint8(0xFF << (8 - rest));
    return (address.bytes[whole] & mask) == (network.bytes[whole] & mask);
}

std::optional<IpAddress> ipv6FromHex(const QByteArray &hex)
{
    const QByteArray raw = QByteArray::fromHex(hex);
    if (hex.size() != 32 || raw.size() != 16)
        return std::nullopt;
    IpAddress address;
    address.family = AF_INET6;
    std::memcpy(address.bytes.data(), raw.constData(), 16);
    return address;
}

bool isCellular(const QString &name)
{
    if (name.startsWith(QLatin1String("wwan")))
        return true;
    QFile uevent(QStringLiteral("/sys/class/net/%1/uevent").arg(name));
    return uevent.open(QIODevice::ReadOnly) && uevent.readAll().contains("DEVTYPE=wwan");
}
} // namespace

std::optional<IpAddress> IpAddress::fromSockaddr(const sockaddr *address)
{
    if (!address)
        return std::nullopt;
    IpAddress result;
    result.family = address->sa_family;
    if (address->sa_family == AF_INET) {
        const auto *v4 = reinterpret_cast<const sockaddr_in *>(address);
        std::memcpy(result.bytes.data(), &v4->sin_addr, 4);
        return result;
    }
    if (address->sa_family == AF_INET6) {
        const auto *v6 = reinterpret_cast<const sockaddr_in6 *>(address);
        std::memcpy(result.bytes.data(), &v6->sin6_addr, 16);
        return result;
    }
    return std::nullopt;
}

std::optional<IpAddress> IpAddress::fromText(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    IpAddress result;
    if (inet_pton(AF_INET, utf8.constData(), result.bytes.data()) == 1) {
        result.family = AF_INET;
        return result;
    }
    if (inet_pton(AF_INET6, utf8.constData(), result.bytes.data()) == 1) {
        result.family = AF_INET6;
        return result;
    }
    return std::nullopt;
}

int IpAddress::bitLength() const
{
    return family == AF_INET ? 32 : 128;
}

bool IpAddress::isLoopback() const
{
    if (family == AF_INET)
        return bytes[0] == 127;
    static const std::array<quint8, 16> v6Loopback{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    return family == AF_INET6 && bytes == v6Loopback;
}

QList<RouteEntry> parseIPv4Routes(const QByteArray &procNetRoute)
{
    QList<RouteEntry> routes;
    const QList<QByteArray> lines = procNetRoute.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) { // the first line names the columns
        const QList<QByteArray> fields = lines[i].simplified().split(' ');
        if (fields.size() < 8)
            continue;
        bool ok[5] = {};
        const quint32 destination = fields[1].toUInt(&ok[0], 16);
        const quint32 gateway = fields[2].toUInt(&ok[1], 16);
        const quint32 flags = fields[3].toUInt(&ok[2], 16);
        const quint32 metric = fields[6].toUInt(&ok[3], 10);
        const quint32 mask = fields[7].toUInt(&ok[4], 16);
        if (!(ok[0] && ok[1] && ok[2] && ok[3] && ok[4]) || !(flags & kRouteUp))
            continue;
        RouteEntry route;
        route.interfaceName = QString::fromUtf8(fields[0]);
        route.destination.family = AF_INET;
        // The kernel prints the raw network-order words as host integers, so copying the
        // integer's bytes gives back the address bytes on the machine that printed them.
        std::memcpy(route.destination.bytes.data(), &destination, 4);
        quint8 maskBytes[4];
        std::memcpy(maskBytes, &mask, 4);
        for (quint8 byte : maskBytes)
            route.prefixLength += std::popcount(byte);
        route.viaGateway = (flags & kRouteGateway) && gateway != 0;
        route.rejects = flags & kRouteReject;
        route.metric = metric;
        routes << route;
    }
    return routes;
}

QList<RouteEntry> parseIPv6Routes(const QByteArray &procNetIpv6Route)
{
    QList<RouteEntry> routes;
    for (const QByteArray &line : procNetIpv6Route.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 10)
            continue;
        bool ok[4] = {};
        const auto destination = ipv6FromHex(fields[0]);
        const int prefix = fields[1].toInt(&ok[0], 16);
        const auto nextHop = ipv6FromHex(fields[4]);
        const quint32 metric = fields[5].toUInt(&ok[1], 16);
        const quint32 flags = fields[8].toUInt(&ok[2], 16);
        ok[3] = prefix >= 0 && prefix <= 128;
        if (!destination || !nextHop || !(ok[0] && ok[1] && ok[2] && ok[3]) || !(flags & kRouteUp))
            continue;
        RouteEntry route;
        route.interfaceName = QString::fromUtf8(fields[9]);
        route.destination = *destination;
        route.prefixLength = prefix;
        route.viaGateway = (flags & kRouteGateway) && nextHop->bytes != IpAddress{}.bytes;
        route.rejects = flags & kRouteReject;
        route.metric = metric;
        routes << route;
    }
    return routes;
}

quint32 flagsForAddress(const IpAddress &target, const NetworkSnapshot &network)
{
    using namespace ReachabilityFlag;
    QHash<QString, const InterfaceState *> interfaces;
    for (const InterfaceState &state : network.interfaces) {
        interfaces.insert(state.name, &state);
        if (state.up && state.addresses.contains(target))
            return Reachable | IsLocalAddress | IsDirect;
    }
    if (target.isLoopback())
        return Reachable | IsLocalAddress | IsDirect;

    const RouteEntry *best = nullptr;
    for (const RouteEntry &route : network.routes) {
        if (!prefixMatches(target, route.destination, route.prefixLength))
            continue;
        if (best && (route.prefixLength < best->prefixLength ||
                     (route.prefixLength == best->prefixLength && route.metric >= best->metric)))
            continue;
        best = &route;
    }
    if (!best || best->rejects)
        return 0;
    const InterfaceState *link = interfaces.value(best->interfaceName);
    if (!link || !link->up)
        return 0;
    quint32 flags = Reachable;
    if (!best->viaGateway)
        flags |= IsDirect;
    if (link->cellular)
        flags |= IsWWAN;
    return flags;
}

std::optional<NetworkSnapshot> readNetworkSnapshot()
{
    NetworkSnapshot snapshot;
    bool readSomething = false;
    QFile v4(QStringLiteral("/proc/net/route"));
    if (v4.open(QIODevice::ReadOnly)) {
        snapshot.routes << parseIPv4Routes(v4.readAll());
        readSomething = true;
    }
    QFile v6(QStringLiteral("/proc/net/ipv6_route"));
    if (v6.open(QIODevice::ReadOnly)) {
        snapshot.routes << parseIPv6Routes(v6.readAll());
        readSomething = true;
    }

    ifaddrs *list = nullptr;
    if (getifaddrs(&list) == 0) {
        readSomething = true;
        QHash<QString, qsizetype> indexByName;
        for (ifaddrs *entry = list; entry; entry = entry->ifa_next) {
            const QString name = QString::fromUtf8(entry->ifa_name);
            auto found = indexByName.find(name);
            if (found == indexByName.end()) {
                InterfaceState state;
                state.name = name;
                state.up = (entry->ifa_flags & IFF_UP) && (entry->ifa_flags & IFF_RUNNING);
                state.cellular = isCellular(name);
                snapshot.interfaces << state;
                found = indexByName.insert(name, snapshot.interfaces.size() - 1);
            }
            if (const auto address = IpAddress::fromSockaddr(entry->ifa_addr))
                snapshot.interfaces[*found].addresses << *address;
        }
        freeifaddrs(list);
    }
    if (!readSomething)
        return std::nullopt;
    return snapshot;
}

} // namespace murmelo
