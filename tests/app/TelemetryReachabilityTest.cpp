// The telemetry's uploads follow the application's view of the network.
#include "app/TelemetryReachability.h"
#include "IntakeServer.h"
#include "support/TestSupport.h"
#include "telemetry/network/VGNetworkManager.h"
#include "toolkit/reachability/Reachability.h"

#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <gtest/gtest.h>

using namespace murmelo;
using namespace std::chrono_literals;

namespace {

void announceNetworkChange()
{
    emit ReachabilityNotificationCenter::defaultCenter().posted(
        QString::fromLatin1(kNetworkReachabilityChangedNotification), nullptr);
}

TEST(TelemetryReachability, UploadsWaitWhileTheNetworkIsDownAndGoWhenItReturns)
{
    test::IntakeServer intake(QStringLiteral("200"));
    ASSERT_TRUE(intake.isRunning());
    std::atomic<quint32> flags = VGReachability::Reachable;
    std::atomic<int> looks = 0;
    TelemetryReachability feed([&](const VGReachability::Target &target) {
        if (target.hostName == QLatin1String("telemetry.example.org"))
            ++looks;
        return std::optional<quint32>(flags.load());
    });
    VGNetworkManager &manager = VGNetworkManager::sharedManager();
    // An hour between polls: only the application's change notices make it look again.
    manager.watchReachability(QStringLiteral("telemetry.example.org"), 1h);
    EXPECT_TRUE(test::waitUntil([&] { return looks >= 2; })); // its own look and the watcher's
    EXPECT_FALSE(manager.isPaused());

    flags = 0;
    announceNetworkChange();
    ASSERT_TRUE(test::waitUntil([&] { return manager.isPaused(); }));

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("queued.msgpack"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(5000, '\x90'));
    }
    manager.sendFile(path, intake.url());
    // A notice that changes nothing keeps it waiting.
    const int before = looks;
    announceNetworkChange();
    EXPECT_TRUE(test::waitUntil([&] { return looks > before; }));
    EXPECT_EQ(manager.operationCount(), 1);
    EXPECT_TRUE(intake.requests().empty());
    EXPECT_TRUE(QFile::exists(path));

    flags = VGReachability::Reachable | VGReachability::IsDirect;
    announceNetworkChange();
    ASSERT_TRUE(intake.waitForRequests(1));
    EXPECT_TRUE(test::waitUntil([&] { return !QFile::exists(path); }));
    EXPECT_FALSE(manager.isPaused());
    EXPECT_EQ(manager.pauseCounter(), 0);
    manager.watchReachability(QString());
}

TEST(TelemetryReachability, ApplicationFlagsReadTheMachinesRoutes)
{
    // The loopback service is always reachable, directly; a name that makes no handle is not
    // read at all.
    const auto loopback =
        TelemetryReachability::applicationFlags({QStringLiteral("127.0.0.1"), {}});
    ASSERT_TRUE(loopback);
    EXPECT_EQ(VGReachability::statusForFlags(*loopback, false), VGReachability::ReachableViaWiFi);
    const auto address =
        TelemetryReachability::applicationFlags({{}, QHostAddress(QStringLiteral("::1"))});
    ASSERT_TRUE(address);
    EXPECT_TRUE(*address & VGReachability::Reachable);
    EXPECT_FALSE(TelemetryReachability::applicationFlags({QStringLiteral("bad host!"), {}}));

    // Installed, it is what the telemetry asks; removed, the telemetry asks its own again.
    {
        TelemetryReachability feed(
            [](const VGReachability::Target &) { return std::optional<quint32>(0); });
        EXPECT_EQ(VGReachability::reachabilityWithHostName(QStringLiteral("127.0.0.1"))->status(),
                  VGReachability::NotReachable);
    }
    EXPECT_EQ(VGReachability::reachabilityWithHostName(QStringLiteral("127.0.0.1"))->status(),
              VGReachability::ReachableViaWiFi);
}

} // namespace
