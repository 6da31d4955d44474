#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <array>
#include <optional>

struct sockaddr;

namespace murmelo {

// An IPv4 or IPv6 address as its network-order bytes (IPv4 uses the first four).
struct IpAddress {
    int family = 0; // AF_INET or AF_INET6
    std::array<quint8, 16> bytes{};

    static std::optional<IpAddress> fromSockaddr(const sockaddr *address);
    static std::optional<IpAddress> fromText(const QString &text);
    int bitLength() const;
    bool isLoopback() const;
    bool operator==(const IpAddress &) const = default;
};

struct RouteEntry {
    QString interfaceName;
    IpAddress destination;
    int prefixLength = 0;
    bool viaGateway = false;
    bool rejects = false; // "unreachable" and "prohibit" routes
    quint32 metric = 0;
};

struct InterfaceState {
    QString name;
    bool up = false; // administratively up and with a carrier
    bool cellular = false;
    QList<IpAddress> addresses;
};

// What the kernel says about the machine's links at one moment.
struct NetworkSnapshot {
    QList<RouteEntry> routes;
    QList<InterfaceState> interfaces;
};

// The text of /proc/net/route and /proc/net/ipv6_route. Routes that are not up are left out;
// malformed lines are skipped.
QList<RouteEntry> parseIPv4Routes(const QByteArray &procNetRoute);
QList<RouteEntry> parseIPv6Routes(const QByteArray &procNetIpv6Route);

// The flag word for one target address: reachable when the most specific route to it leaves
// through an interface that is up, direct when that route needs no gateway, local (and direct)
// for the machine's own addresses, cellular when the interface is a modem.
quint32 flagsForAddress(const IpAddress &target, const NetworkSnapshot &network);

// Reads routes from /proc/net and interfaces from getifaddrs; none when neither can be read.
std::optional<NetworkSnapshot> readNetworkSnapshot();

} // namespace murmelo
