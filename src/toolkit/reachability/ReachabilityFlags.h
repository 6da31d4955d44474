#pragma once

#include <QString>
#include <QtGlobal>

namespace murmelo {

// The reachability flag word. Linux has no such word of its own: Reachability synthesises it
// from routes, interfaces and name resolution, and only the bits below are ever used.
namespace ReachabilityFlag {
enum : quint32 {
    TransientConnection = 0x1,
    Reachable = 0x2,
    ConnectionRequired = 0x4,
    ConnectionOnTraffic = 0x8,
    InterventionRequired = 0x10,
    ConnectionOnDemand = 0x20,
    IsLocalAddress = 0x10000,
    IsDirect = 0x20000,
    IsWWAN = 0x40000,
};
} // namespace ReachabilityFlag

enum NetworkStatus : int {
    NotReachable = 0,
    ReachableViaWiFi = 1, // or any other link that is not cellular
    ReachableViaWWAN = 2,
};

// The general rule. A cellular link wins before the connection-required rules are looked at,
// so a modem that must dial first still reports cellular.
NetworkStatus statusForFlags(quint32 flags);
// The rule for the link-local target: reachable without going through a gateway.
NetworkStatus localStatusForFlags(quint32 flags);
// "Reachability Flag Status: WR tcCiDld <comment>\n" with a dash for every clear bit.
QString reachabilityTraceLine(quint32 flags, const char *comment);

} // namespace murmelo
