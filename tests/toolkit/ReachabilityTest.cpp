#include "toolkit/reachability/Reachability.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

using namespace murmelo;
using namespace murmelo::ReachabilityFlag;

namespace {

struct RuleCase {
    quint32 flags;
    NetworkStatus network;
    NetworkStatus local;
};

TEST(ReachabilityRules, StatusFromFlags)
{
    const RuleCase cases[] = {
        {0, NotReachable, NotReachable},
        {Reachable, ReachableViaWiFi, NotReachable},
        {Reachable | ConnectionRequired | ConnectionOnTraffic, ReachableViaWiFi, NotReachable},
        {Reachable | ConnectionRequired | ConnectionOnTraffic | InterventionRequired, NotReachable,
         NotReachable},
        {Reachable | ConnectionRequired | ConnectionOnDemand, ReachableViaWiFi, NotReachable},
        {Reachable | ConnectionRequired, NotReachable, NotReachable},
        {Reachable | ConnectionRequired | IsWWAN, ReachableViaWWAN, NotReachable},
        {Reachable | IsDirect, ReachableViaWiFi, ReachableViaWiFi},
        {IsDirect, NotReachable, NotReachable},
    };
    for (const RuleCase &c : cases) {
        SCOPED_TRACE(c.flags);
        EXPECT_EQ(Reachability::networkStatusForFlags(c.flags), c.network);
        EXPECT_EQ(Reachability::localWiFiStatusForFlags(c.flags), c.local);
    }
}

TEST(ReachabilityRules, TraceLineLettersAndDashes)
{
    EXPECT_EQ(reachabilityTraceLine(Reachable, "networkStatusForFlags"),
              "Reachability Flag Status: -R ------- networkStatusForFlags\n");
    const quint32 all = 0x1 | 0x2 | 0x4 | 0x8 | 0x10 | 0x20 | 0x10000 | 0x20000 | 0x40000;
    EXPECT_EQ(reachabilityTraceLine(all, "localWiFiStatusForFlags"),
              "Reachability Flag Status: WR tcCiDld localWiFiStatusForFlags\n");
    EXPECT_EQ(reachabilityTraceLine(IsWWAN | IsDirect, "x"),
              "Reachability Flag Status: W- ------d x\n");
}

TEST(ReachabilityFactories, TargetsThatMakeNoHandleGiveNull)
{
    EXPECT_EQ(Reachability::reachabilityWithHostName(QString()), nullptr);
    EXPECT_EQ(Reachability::reachabilityWithHostName(QStringLiteral("two words")), nullptr);
    EXPECT_EQ(Reachability::reachabilityWithHostName(QStringLiteral("a..b")), nullptr);
    EXPECT_EQ(Reachability::reachabilityWithHostName(QString(300, QLatin1Char('a'))), nullptr);
    EXPECT_EQ(Reachability::reachabilityWithAddress(nullptr), nullptr);
    EXPECT_EQ(Reachability::statusOf(nullptr), NotReachable);

    EXPECT_NE(Reachability::reachabilityWithHostName(QStringLiteral("localhost")), nullptr);
    EXPECT_NE(Reachability::reachabilityWithHostName(QStringLiteral("mail.example.org.")), nullptr);
    EXPECT_NE(Reachability::reachabilityWithHostName(QStringLiteral("::1")), nullptr);
    EXPECT_TRUE(Reachability::reachabilityForLocalWiFi()->isLocalWiFi());
    EXPECT_FALSE(Reachability::reachabilityForInternetConnection()->isLocalWiFi());
}

IpAddress ip(const char *text)
{
    return *IpAddress::fromText(QString::fromLatin1(text));
}

// A laptop on a home network: a default route through the router, the local subnet and the
// link-local network directly on the Ethernet link, and IPv6 from the same router.
NetworkSnapshot homeNetwork()
{
    const QByteArray v4 =
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
        "eth0\t00000000\t0100A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
        "eth0\t0000A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n"
        "eth0\t0000FEA9\t00000000\t0001\t0\t0\t1000\t0000FFFF\t0\t0\t0\n"
        "wwan0\t00000A0A\t00000000\t0001\t0\t0\t0\t0000FFFF\t0\t0\t0\n"
        "eth0\t0000000A\t00000000\t0201\t0\t0\t0\t000000FF\t0\t0\t0\n"
        "garbage line\n";
    const QByteArray v6 =
        "fe800000000000000000000000000000 40 00000000000000000000000000000000 00 "
        "00000000000000000000000000000000 00000100 00000002 00000000 00000001     eth0\n"
        "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
        "fd000000000000000000000000000001 00000400 00000002 00000000 00000003     eth0\n"
        "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
        "00000000000000000000000000000000 ffffffff 00000001 00000000 00200200       lo\n";
    NetworkSnapshot network;
    network.routes = parseIPv4Routes(v4) + parseIPv6Routes(v6);
    network.interfaces = {
        {QStringLiteral("lo"), true, false, {ip("127.0.0.1"), ip("::1")}},
        {QStringLiteral("eth0"), true, false, {ip("192.168.0.23")}},
        {QStringLiteral("wwan0"), true, true, {}},
    };
    return network;
}

TEST(ReachabilityRoutes, ParsesProcTables)
{
    const NetworkSnapshot network = homeNetwork();
    // The kernel's catch-all on lo is not marked up and is left out.
    ASSERT_EQ(network.routes.size(), 5 + 2);
    const RouteEntry &defaultRoute = network.routes[0];
    EXPECT_EQ(defaultRoute.interfaceName, "eth0");
    EXPECT_EQ(defaultRoute.prefixLength, 0);
    EXPECT_TRUE(defaultRoute.viaGateway);
    EXPECT_EQ(network.routes[1].destination, ip("192.168.0.0"));
    EXPECT_EQ(network.routes[1].prefixLength, 24);
    EXPECT_FALSE(network.routes[1].viaGateway);
    EXPECT_TRUE(network.routes[4].rejects);
    EXPECT_EQ(network.routes[5].prefixLength, 64);
    EXPECT_EQ(network.routes[6].metric, 0x400u);
    EXPECT_TRUE(network.routes[6].viaGateway);
}

TEST(ReachabilityRoutes, FlagsFollowTheMostSpecificRoute)
{
    NetworkSnapshot network = homeNetwork();
    EXPECT_EQ(flagsForAddress(ip("93.184.216.34"), network), Reachable);
    EXPECT_EQ(flagsForAddress(ip("0.0.0.0"), network), Reachable);
    EXPECT_EQ(flagsForAddress(ip("192.168.0.40"), network), Reachable | IsDirect);
    EXPECT_EQ(flagsForAddress(ip("169.254.0.0"), network), Reachable | IsDirect);
    EXPECT_EQ(flagsForAddress(ip("10.10.3.4"), network), Reachable | IsDirect | IsWWAN);
    EXPECT_EQ(flagsForAddress(ip("10.1.2.3"), network), 0u) << "an unreachable route";
    EXPECT_EQ(flagsForAddress(ip("2001:db8::1"), network), Reachable);
    EXPECT_EQ(flagsForAddress(ip("fe80::1"), network), Reachable | IsDirect);
    EXPECT_EQ(flagsForAddress(ip("192.168.0.23"), network), Reachable | IsLocalAddress | IsDirect);
    EXPECT_EQ(flagsForAddress(ip("127.0.0.53"), network), Reachable | IsLocalAddress | IsDirect);

    network.interfaces[1].up = false; // cable pulled: the routes stay, the link does not carry
    EXPECT_EQ(flagsForAddress(ip("93.184.216.34"), network), 0u);
    EXPECT_EQ(flagsForAddress(ip("169.254.0.0"), network), 0u);
}

TEST(ReachabilityRoutes, NoDefaultRouteMeansNoInternetButLinkLocalStillWorks)
{
    NetworkSnapshot network = homeNetwork();
    network.routes.removeIf([](const RouteEntry &r) { return r.prefixLength == 0; });
    EXPECT_EQ(flagsForAddress(ip("0.0.0.0"), network), 0u);
    EXPECT_EQ(flagsForAddress(ip("2001:db8::1"), network), 0u);
    EXPECT_EQ(Reachability::localWiFiStatusForFlags(flagsForAddress(ip("169.254.0.0"), network)),
              ReachableViaWiFi);
}

TEST(ReachabilityLive, LoopbackHostIsReachableAndLocal)
{
    auto localhost = Reachability::reachabilityWithHostName(QStringLiteral("localhost"));
    quint32 flags = 0;
    ASSERT_TRUE(localhost->flags(&flags));
    EXPECT_EQ(flags & (Reachable | IsLocalAddress), Reachable | IsLocalAddress);
    EXPECT_EQ(localhost->currentReachabilityStatus(), ReachableViaWiFi);
    EXPECT_FALSE(localhost->connectionRequired());
    EXPECT_EQ(Reachability::statusOf(localhost.get()), ReachableViaWiFi);

    sockaddr_in loopback{};
    loopback.sin_family = AF_INET;
    loopback.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    auto byAddress = Reachability::reachabilityWithAddress(reinterpret_cast<sockaddr *>(&loopback));
    EXPECT_EQ(byAddress->currentReachabilityStatus(), ReachableViaWiFi);
}

TEST(ReachabilityLive, UnresolvableHostIsNotReachableWithinTheTimeout)
{
    auto missing = Reachability::reachabilityWithHostName(QStringLiteral("no-such-host.invalid"));
    ASSERT_NE(missing, nullptr);
    missing->setResolveTimeout(std::chrono::milliseconds(1500));
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(missing->currentReachabilityStatus(), NotReachable);
    EXPECT_LT(timer.elapsed(), 2500);
}

TEST(ReachabilityLive, NotifierPostsWhileRunning)
{
    auto reachability = Reachability::reachabilityWithHostName(QStringLiteral("localhost"));
    ASSERT_TRUE(reachability->startNotifier());
    QList<std::pair<QString, Reachability *>> posts;
    const auto connection = QObject::connect(&ReachabilityNotificationCenter::defaultCenter(),
                                             &ReachabilityNotificationCenter::posted,
                                             [&posts](const QString &name, Reachability *object) {
                                                 posts.append({name, object});
                                             });
    // An extra loopback address is a real kernel change that touches no outside network.
    if (test::runShell(QStringLiteral("ip addr add 127.0.0.77/32 dev lo")) != 0) {
        QObject::disconnect(connection);
        GTEST_SKIP() << "no permission to change an address on lo";
    }
    const bool posted = test::waitUntil([&] { return !posts.isEmpty(); });
    reachability->stopNotifier();
    test::runShell(QStringLiteral("ip addr del 127.0.0.77/32 dev lo"));
    ASSERT_TRUE(posted);
    EXPECT_EQ(posts.first().first, kNetworkReachabilityChangedNotification);
    EXPECT_EQ(posts.first().second, reachability.get());

    test::drainEvents();
    posts.clear();
    test::runShell(QStringLiteral("ip addr add 127.0.0.78/32 dev lo"));
    test::waitUntil([] { return false; }, std::chrono::milliseconds(200));
    test::runShell(QStringLiteral("ip addr del 127.0.0.78/32 dev lo"));
    QObject::disconnect(connection);
    EXPECT_TRUE(posts.isEmpty()) << "no notifications after stopNotifier";
}

} // namespace
