// Sessions with a clock the tests step by hand: resuming, numbering, the first session, events
// held out of session, permissions, the flush timer and sessions left by earlier runs.
#include "platform/Defaults.h"
#include "support/TestSupport.h"
#include "telemetry/VGSdkFolder.h"
#include "telemetry/VGSdkQueue.h"
#include "telemetry/codec/VGMessagePack.h"
#include "telemetry/device/VGApplicationInformation.h"
#include "telemetry/events/VGEventManager.h"
#include "telemetry/log/VGLogManager.h"
#include "telemetry/session/VGSessionManager.h"
#include "telemetry/session/Vigil.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <mutex>

using namespace murmelo;

namespace {

struct Sent {
    VGValue event;
    int priority;
};

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Handshakes go to a loopback port nobody listens on; nothing leaves the machine.
        qputenv("MURMELO_TELEMETRY_URL", "http://127.0.0.1:9/");
        VGEventManager::setSenderForTesting(
            [this](const QString &path, const QUrl &, int priority) {
                std::lock_guard lock(mutex);
                files.push_back({path, priority});
            });
        Defaults::standard().remove(QLatin1String(VGSessionManager::kHadFirstSessionKey));
        Defaults::standard().synchronize();
        QFile::remove(sdkFile("permissions.mpack"));
        Vigil::resetForTesting();
        QDir(sdkFile("session_info")).removeRecursively(); // sessions earlier tests left open
        QDir().mkpath(sdkFile("session_info"));
        sdk([this] {
            manager().resetForTesting();
            manager().setClockForTesting([this] { return now; });
            manager().setApplicationToken(QStringLiteral("session-test-token"));
        });
        drain(); // whatever earlier tests left queued
    }
    void TearDown() override
    {
        sdk([] { VGSessionManager::sharedSessionManager().setClockForTesting(nullptr); });
        VGEventManager::setSenderForTesting(nullptr);
        // Activation gave the process a token; other suites start without one.
        Vigil::resetForTesting();
        VGApplicationInformation::setApplicationToken(QString());
    }

    static VGSessionManager &manager() { return VGSessionManager::sharedSessionManager(); }
    static void sdk(const std::function<void()> &work) { vgSdkSync(work); }
    static QString sdkFile(const QString &name);

    // Flushes and returns the events handed to the uploader since the last call, in order.
    std::vector<Sent> drain()
    {
        sdk([] { VGEventManager::flush(); });
        std::vector<std::pair<QString, int>> taken;
        {
            std::lock_guard lock(mutex);
            taken.swap(files);
        }
        std::vector<Sent> events;
        for (const auto &[path, priority] : taken) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const std::optional<VGValue> body = VGMessagePack::unpackDictionary(file.readAll());
            file.close();
            QFile::remove(path); // as an accepted upload would be
            if (!body)
                continue;
            for (const VGValue &event : body->value(VGValue("events")).items())
                events.push_back({event, priority});
        }
        return events;
    }

    static QString type(const Sent &sent) { return sent.event.value(VGValue("type")).toQString(); }
    static int sequence(const Sent &sent)
    {
        return int(sent.event.value(VGValue("sequence_number")).toInt64());
    }
    static QString id(const Sent &sent)
    {
        return sent.event.value(VGValue("session_id")).toQString();
    }

    double now = 1780000000;
    std::mutex mutex;
    std::vector<std::pair<QString, int>> files;
};

QString SessionTest::sdkFile(const QString &name)
{
    return VGSdkFolder::path() + QLatin1Char('/') + name;
}

TEST_F(SessionTest, ComingBackWithinTheKeepAliveContinuesTheSessionAndLaterStartsANewOne)
{
    sdk([] { manager().startSession(false); });
    const QString first = manager().sessionID();
    now += 5;
    sdk([] { manager().endSession(false); });
    now += 20; // back after 20 s: the default keep-alive is 30 s
    sdk([] { manager().startSession(false); });
    EXPECT_EQ(manager().sessionID(), first);
    EXPECT_EQ(manager().fragmentStartTime(), now);
    now += 5;
    sdk([] { manager().endSession(false); });
    now += 31; // too late: a new session, numbered from 0
    sdk([] { manager().startSession(false); });
    EXPECT_NE(manager().sessionID(), first);

    const std::vector<Sent> events = drain();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(type(events[0]), "session_start");
    EXPECT_EQ(sequence(events[0]), 0);
    EXPECT_EQ(type(events[1]), "session_end");
    EXPECT_EQ(sequence(events[1]), 1);
    EXPECT_EQ(type(events[2]), "session_end");
    EXPECT_EQ(sequence(events[2]), 2);
    EXPECT_EQ(id(events[2]), first);
    // The resumed stretch is told apart from the session's start.
    EXPECT_DOUBLE_EQ(events[2].event.value(VGValue("fragment_duration")).toDouble(), 5);
    EXPECT_DOUBLE_EQ(events[2].event.value(VGValue("duration")).toDouble(), 30);
    EXPECT_EQ(type(events[3]), "session_start");
    EXPECT_EQ(sequence(events[3]), 0);
    EXPECT_NE(id(events[3]), first);
}

TEST_F(SessionTest, OnlyTheFirstSessionEverIsMarkedAndSentAtOnce)
{
    sdk([] { manager().startSession(false); });
    // Sent at high priority, without waiting for a flush.
    std::vector<std::pair<QString, int>> immediate;
    {
        std::lock_guard lock(mutex);
        immediate = files;
    }
    ASSERT_EQ(immediate.size(), 1u);
    EXPECT_EQ(immediate[0].second, 4);
    std::vector<Sent> events = drain();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(events[0].event.value(VGValue("first_session")).toBool());
    Defaults::standard().synchronize();
    EXPECT_TRUE(Defaults::standard().boolForKey(VGSessionManager::kHadFirstSessionKey));

    sdk([] { manager().endSession(false); });
    now += 60;
    sdk([] { manager().startSession(true); });
    events = drain();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(type(events[1]), "session_start");
    EXPECT_FALSE(events[1].event.contains(VGValue("first_session")));
    EXPECT_TRUE(events[1].event.value(VGValue("manual")).toBool());
    EXPECT_EQ(events[1].priority, 0);
}

TEST_F(SessionTest, ACheckpointOutOfSessionWaitsForTheResumeAndDiesWithANewSession)
{
    sdk([] { manager().startSession(false); });
    sdk([] { manager().endSession(false); });
    drain();
    sdk([] { manager().checkpointHit(QStringLiteral("held")); });
    EXPECT_TRUE(drain().empty());
    EXPECT_EQ(manager().eventsRecordedOutOfSessionCount(), 1u);
    now += 20;
    sdk([] { manager().startSession(false); });
    std::vector<Sent> events = drain();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(type(events[0]), "checkpoint");
    EXPECT_EQ(events[0].event.value(VGValue("checkpoint_id")).toQString(), "held");

    sdk([] { manager().endSession(false); });
    sdk([] { manager().checkpointHit(QStringLiteral("dropped")); });
    now += 31;
    sdk([] { manager().startSession(false); });
    for (const Sent &sent : drain())
        EXPECT_NE(type(sent), "checkpoint");
    EXPECT_EQ(manager().eventsRecordedOutOfSessionCount(), 0u);
}

TEST_F(SessionTest, ARejectedTokenStopsCheckpointsAndFeedbackButNotTheFirstSessionStart)
{
    sdk([] {
        manager().finishedHandshakeWithData(
            VGMessagePack::pack(VGValue::map({{VGValue("valid"), VGValue::boolean(false)}})));
    });
    const VGServerPermissions denied = manager().serverPermissions();
    EXPECT_FALSE(denied.applicationTokenValid);
    EXPECT_FALSE(denied.sendsCheckpoints);
    EXPECT_FALSE(denied.sendsLogs);
    EXPECT_FALSE(denied.sendsCrashes);
    EXPECT_TRUE(QFile::exists(sdkFile("permissions.mpack")));

    sdk([] {
        manager().startSession(false);
        manager().checkpointHit(QStringLiteral("denied"));
        manager().respondToFeedbackCustom(QStringLiteral("dropped"));
    });
    const std::vector<Sent> events = drain();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(type(events[0]), "session_start");
    EXPECT_TRUE(events[0].event.value(VGValue("first_session")).toBool());

    // The next launch starts from the permissions the service gave.
    sdk([] { manager().resetForTesting(); });
    EXPECT_FALSE(manager().serverPermissions().applicationTokenValid);
}

TEST_F(SessionTest, AHandshakeReplySetsPermissionsAndTheKeepAlive)
{
    sdk([] {
        manager().finishedHandshakeWithData(VGMessagePack::pack(VGValue::map({
            {VGValue("valid"), VGValue::boolean(true)},
            {VGValue("send_logs"), VGValue::int32(1)},
            {VGValue("send_checkpoints"), VGValue("yes")}, // not a number: counts as false
            {VGValue("session_keep_alive_timeout"), VGValue::int32(90)},
        })));
        manager().finishedHandshakeWithData(QByteArray()); // no data: permissions unchanged
        manager().finishedHandshakeWithData(VGMessagePack::pack(VGValue("not a map")));
    });
    const VGServerPermissions granted = manager().serverPermissions();
    EXPECT_TRUE(granted.applicationTokenValid);
    EXPECT_TRUE(granted.sendsLogs);
    EXPECT_FALSE(granted.sendsCheckpoints);
    EXPECT_FALSE(granted.sendsCrashes);
    EXPECT_EQ(manager().vgSessionKeepAliveTimeout(), 90);
}

TEST_F(SessionTest, MoreThanFiveLeftOverSessionsAreReportedFiveAtATime)
{
    QStringList ids;
    for (int i = 0; i < 7; ++i) {
        const QString id = VGSessionManager::getUUID();
        ids.append(id);
        QFile record(sdkFile("session_info/" + id + ".session.mpack"));
        ASSERT_TRUE(record.open(QIODevice::WriteOnly));
        record.write(VGMessagePack::pack(VGValue::map({
            {VGValue("session_id"), VGValue(id)},
            {VGValue("start_time"), VGValue::float64(1700000000 + i)},
            {VGValue("duration"), VGValue::float64(12)},
        })));
        record.close();
        QFile sequence(sdkFile("session_info/" + id + ".seq.mpack"));
        ASSERT_TRUE(sequence.open(QIODevice::WriteOnly));
        sequence.write(VGMessagePack::pack(VGValue::int32(40 + i)));
    }
    manager().endOldSessions();
    std::vector<Sent> events = drain();
    ASSERT_EQ(events.size(), 5u);
    for (const Sent &sent : events) {
        EXPECT_EQ(type(sent), "session_end");
        EXPECT_EQ(sent.event.value(VGValue("sesinfo source")).toQString(), "disk");
        EXPECT_GE(sequence(sent), 40);
        EXPECT_TRUE(ids.contains(id(sent)));
    }
    EXPECT_EQ(manager().sessionIDsWithOldSavedSessionInformation().size(), 2);
    manager().endOldSessions();
    EXPECT_EQ(drain().size(), 2u);
    EXPECT_TRUE(manager().sessionIDsWithOldSavedSessionInformation().isEmpty());
}

TEST_F(SessionTest, FacadeRefusesMisuseAndKeepsTheFlushIntervalSensible)
{
    Vigil::setOptions(
        VGValue::map({{VGValue(Vigil::kOptionReportCrashes), VGValue::boolean(false)},
                      {VGValue(Vigil::kOptionManualSessions), VGValue::boolean(true)}}));
    Vigil::activate(QStringLiteral("team_token"));
    EXPECT_FALSE(Vigil::isActivated());
    Vigil::activate(QStringLiteral("application-token"));
    EXPECT_TRUE(Vigil::isActivated());
    Vigil::activate(QStringLiteral("another-token"));
    QString token;
    sdk([&] { token = manager().appToken(); });
    EXPECT_EQ(token, "application-token");

    // Manual sessions cannot be switched off once started.
    Vigil::setOptions(
        VGValue::map({{VGValue(Vigil::kOptionManualSessions), VGValue::boolean(false)}}));
    Vigil::manuallyStartSession();
    EXPECT_TRUE(Vigil::sessionStarted());
    EXPECT_EQ(Vigil::flushTimerInterval(), 60);

    Vigil::setOptions(
        VGValue::map({{VGValue(Vigil::kOptionFlushSecondsInterval), VGValue::uint32(10)}}));
    EXPECT_EQ(Vigil::flushTimerInterval(), 30);
    Vigil::setOptions(
        VGValue::map({{VGValue(Vigil::kOptionFlushSecondsInterval), VGValue::uint32(0)}}));
    EXPECT_EQ(Vigil::flushTimerInterval(), 0);
    Vigil::setOptions(
        VGValue::map({{VGValue(Vigil::kOptionFlushSecondsInterval), VGValue::uint32(45)}}));
    EXPECT_EQ(Vigil::flushTimerInterval(), 45);

    Vigil::passCheckpoint(QStringLiteral("opened the library"));
    Vigil::manuallyEndSession();
    EXPECT_FALSE(Vigil::sessionStarted());
    bool checkpoint = false;
    for (const Sent &sent : drain()) {
        checkpoint = checkpoint || type(sent) == "checkpoint";
    }
    EXPECT_TRUE(checkpoint);
}

} // namespace
