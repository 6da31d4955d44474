#include "support/TestSupport.h"
#include "telemetry/VGSdkFolder.h"
#include "telemetry/codec/VGMessagePack.h"
#include "telemetry/events/VGEventManager.h"
#include "telemetry/log/VGLogManager.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace murmelo;

namespace {

class TelemetryDump : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sdk.isValid());
        VGSdkFolder::setPathForTesting(sdk.path());
        VGEventManager::bustCachedNetworkStartData();
        VGLogManager::sharedManager().resetForTesting();
        VGLogManager::sharedManager().setLogToConsole(false);
    }
    void TearDown() override
    {
        VGLogManager::sharedManager().resetForTesting();
        VGSdkFolder::setPathForTesting(QString());
        VGEventManager::bustCachedNetworkStartData();
    }
    static QJsonDocument json(const test::ProcessOutcome &outcome)
    {
        return QJsonDocument::fromJson(outcome.out.toUtf8());
    }
    QTemporaryDir sdk;
};

TEST_F(TelemetryDump, QueueFileWithASessionLogReadsAsJson)
{
    VGLogManager &logs = VGLogManager::sharedManager();
    logs.setCurrentSessionID(QStringLiteral("S"));
    logs.log(QStringLiteral("first line"));
    logs.log(QStringLiteral("second \"quoted\" line"));
    VGEventManager manager(QStringLiteral("events"), QUrl());
    ASSERT_TRUE(manager.enqueueObject(VGValue::map({{"type", "checkpoint"}})));
    ASSERT_TRUE(
        manager.enqueueDictionary(VGValue::map({{"type", "session_end"}}), "log", [&](int fd) {
            qint64 written = 0;
            return logs.writeLogFor(QStringLiteral("S"), fd, false, &written);
        }));
    const QStringList files = manager.queuePaths();
    ASSERT_EQ(files.size(), 2);

    const auto first = test::runMurmelo({"telemetry", "dump", files[0]});
    ASSERT_EQ(first.exitCode, 0) << first.err.toStdString();
    const QJsonObject body = json(first).object();
    EXPECT_EQ(body.value("sdk_version").toString(), VGEventManager::kSdkVersion);
    EXPECT_EQ(body.value("events").toArray().at(0).toObject().value("type").toString(),
              "checkpoint");
    EXPECT_TRUE(body.value("device_info").toObject().contains("shared_udid"));

    const auto second = test::runMurmelo({"telemetry", "dump", files[1]});
    ASSERT_EQ(second.exitCode, 0) << second.err.toStdString();
    const QJsonArray log =
        json(second).object().value("events").toArray().at(0).toObject().value("log").toArray();
    ASSERT_EQ(log.size(), 2);
    EXPECT_EQ(log.at(1).toObject().value("Message").toString(), "second \"quoted\" line");

    const auto direct = test::runMurmelo(
        {"telemetry", "dump", VGLogManager::sharedManager()._pathForSessionID("S") + ".ulog"});
    ASSERT_EQ(direct.exitCode, 0) << direct.err.toStdString();
    EXPECT_EQ(json(direct).array().size(), 2);
}

TEST_F(TelemetryDump, DamagedAndMissingFilesAreReportedAndBadUsageIsRefused)
{
    const QString damaged = sdk.filePath("damaged.msgpack");
    QFile file(damaged);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::fromHex("df00000004a3616263"));
    file.close();
    const auto bad = test::runMurmelo({"telemetry", "dump", damaged});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_TRUE(bad.err.contains("not a MessagePack record")) << bad.err.toStdString();
    const auto missing = test::runMurmelo({"telemetry", "dump", sdk.filePath("none.msgpack")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("cannot read")) << missing.err.toStdString();
    // An endless device is refused before anything is read from it.
    const auto endless = test::runMurmelo({"telemetry", "dump", "/dev/zero"});
    EXPECT_EQ(endless.exitCode, 1);
    EXPECT_TRUE(endless.err.contains("/dev/zero is not a regular file"))
        << endless.err.toStdString();
    EXPECT_EQ(test::runMurmelo({"telemetry", "show", damaged}).exitCode, 2);
    EXPECT_EQ(test::runMurmelo({"telemetry", "dump"}).exitCode, 2);
}

} // namespace
