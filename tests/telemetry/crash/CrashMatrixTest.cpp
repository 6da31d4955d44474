// The crash matrix: a child process installs the crash handlers and dies in one of the ways a
// program dies; each must end by its own signal and leave exactly one complete report that a
// peer MessagePack implementation unpacks, naming the function that crashed.
#include "CrashTestSupport.h"
#include "support/TestSupport.h"
#include "telemetry/VGSdkFolder.h"
#include "telemetry/log/VGLogManager.h"
#include "telemetry/log/VGLogReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryFile>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace murmelo::test;

namespace {
const QByteArray kSessionId = "6F9619FF-8B86-D011-B42D-00C04FC964FF";
constexpr double kStartTime = 1780000000.5;
constexpr double kFragmentTime = 1780000100.25;

QByteArray logRecord(const QByteArray &message)
{
    return QByteArray("\x82", 1) + packRaw("Time") + packInt32(1780000001) + packRaw("Message") +
           packRaw(message);
}

// What the session manager, the event queue and the remote log leave on disk for a session
// that is open: the session's files, sequence number 7, and a log of two records.
QString sdkWithOpenSession()
{
    static int counter = 0;
    const QString sdk = scratchRoot() + QStringLiteral("/sdk-%1").arg(++counter);
    const QString info = sdk + QStringLiteral("/session_info/");
    writeFile(info + QStringLiteral("last_session_id.mpack"), packRaw(kSessionId));
    writeFile(info + QStringLiteral("last_session_start_time.mpack"), packDouble(kStartTime));
    writeFile(info + QStringLiteral("last_session_fragment_start_time.mpack"),
              packDouble(kFragmentTime));
    writeFile(info + QString::fromLatin1(kSessionId) + QStringLiteral(".seq.mpack"), packInt32(7));
    writeFile(info + QString::fromLatin1(kSessionId) + QStringLiteral(".session.mpack"),
              QByteArray("\x81", 1) + packRaw("session_id") + packRaw(kSessionId));
    const QByteArray header = QByteArray("\xdf\x00\x00\x00\x04", 5) + packRaw("bundle_info") +
                              QByteArray("\x81", 1) + packRaw("app_version") + packRaw("1.0") +
                              packRaw("device_info") + QByteArray("\x80", 1) +
                              packRaw("sdk_version") + packRaw("test-sdk");
    writeFile(sdk + QStringLiteral("/VGEventManager/start network data.msgpack"), header);
    writeFile(
        sdk + QStringLiteral("/logs/") + QString::fromLatin1(kSessionId) + QStringLiteral(".ulog"),
        QByteArray("\xdd\x00\x00\x00\x02", 5) + logRecord("first line") + logRecord("second line"));
    return sdk;
}

QString sequenceFile(const QString &sdk)
{
    return sdk + QStringLiteral("/session_info/") + QString::fromLatin1(kSessionId) +
           QStringLiteral(".seq.mpack");
}

bool backtraceNames(const QJsonValue &backtrace, const QString &function)
{
    for (const QJsonValue &line : backtrace.toArray()) {
        if (line.toString().contains(function))
            return true;
    }
    return false;
}

struct CrashCase {
    const char *mode;
    int signal;
    const char *function;
    const char *signalName; // null for an uncaught exception
};

void PrintTo(const CrashCase &c, std::ostream *os)
{
    *os << c.mode;
}

class CrashMatrix : public ::testing::TestWithParam<CrashCase> {};

TEST_P(CrashMatrix, DiesByItsSignalAndDeliversOneCompleteReportNamingTheCrashingFunction)
{
    const CrashCase crash = GetParam();
    Intake intake;
    ASSERT_TRUE(intake.started());
    const QString sdk = sdkWithOpenSession();

    const ChildEnd end = runCrashChild(sdk, QString::fromLatin1(crash.mode), intake.url());
    ASSERT_TRUE(end.signalled) << "exit code " << end.exitCode;
    EXPECT_EQ(end.signal, crash.signal);

    const QStringList bodies = intake.sessionBodies();
    ASSERT_EQ(bodies.size(), 1);
    // The report on disk is what was sent, marked as delivered.
    const QByteArray sent = readFile(bodies.first());
    const QByteArray kept = readFile(sdk + QStringLiteral("/backtrace.mpack"));
    ASSERT_EQ(kept.size(), sent.size());
    EXPECT_EQ(kept.left(5), QByteArray("sent\0", 5));
    EXPECT_EQ(kept.mid(5), sent.mid(5));

    const QJsonObject report = decodeReport(bodies.first());
    ASSERT_FALSE(report.isEmpty()) << "the report does not unpack";
    EXPECT_EQ(report.value("bundle_info").toObject().value("app_version").toString(), "1.0");
    EXPECT_TRUE(report.contains("device_info"));
    EXPECT_EQ(report.value("sdk_version").toString(), "test-sdk");
    const QJsonArray events = report.value("events").toArray();
    ASSERT_EQ(events.size(), 2);

    const QJsonObject event = events[0].toObject();
    EXPECT_EQ(event.size(), 13);
    EXPECT_EQ(event.value("type").toString(), "crash");
    EXPECT_EQ(event.value("session_id").toString(), QString::fromLatin1(kSessionId));
    EXPECT_EQ(event.value("sequence_number").toInt(), 7);
    EXPECT_DOUBLE_EQ(event.value("start_time").toDouble(), kStartTime);
    EXPECT_DOUBLE_EQ(event.value("fragment_start_time").toDouble(), kFragmentTime);
    EXPECT_GT(event.value("duration").toDouble(), 0);
    if (crash.signalName) {
        EXPECT_EQ(event.value("crashtype").toString(), "signal");
        EXPECT_EQ(event.value("signal").toString(), crash.signalName);
    } else {
        EXPECT_EQ(event.value("crashtype").toString(), "exception");
        EXPECT_EQ(event.value("exception").toString(), "the matrix threw this on purpose");
    }

    const QJsonObject threads = event.value("stacktrace").toObject();
    const QString primary = threads.value("primary_thread").toString();
    ASSERT_FALSE(primary.isEmpty());
    EXPECT_TRUE(backtraceNames(threads.value(primary), crash.function))
        << "the crashing thread's backtrace does not name " << crash.function << ":\n"
        << QJsonDocument(threads.value(primary).toArray()).toJson().toStdString();
    // A thread that was only waiting is reported with its own stack.
    EXPECT_TRUE(backtraceNames(threads.value("idle-worker"), "idleWorkerWaits"));

    const QJsonObject registers = event.value("register_state").toObject();
    EXPECT_EQ(registers.size(), 20);
    EXPECT_NE(registers.value("pc").toDouble(), 0);
    EXPECT_NE(registers.value("sp").toDouble(), 0);
    bool childImage = false;
    for (const QJsonValue &image : event.value("image_list").toArray())
        childImage = childImage || image.toString().endsWith("/crash_child");
    EXPECT_TRUE(childImage);

    const QJsonObject sessionEnd = events[1].toObject();
    EXPECT_EQ(sessionEnd.size(), 9);
    EXPECT_EQ(sessionEnd.value("type").toString(), "session_end");
    EXPECT_EQ(sessionEnd.value("sequence_number").toInt(), 8);
    const QJsonArray records = sessionEnd.value("log").toObject().value("records").toArray();
    ASSERT_EQ(records.size(), 2);
    EXPECT_EQ(records[1].toObject().value("Message").toString(), "second line");

    // The crash used number 7; the session's next event gets 8.
    EXPECT_EQ(readFile(sequenceFile(sdk)), packInt32(8));
    // The log and the end record went out with the report.
    const QString ulog =
        sdk + QStringLiteral("/logs/") + QString::fromLatin1(kSessionId) + QStringLiteral(".ulog");
    EXPECT_EQ(readFile(ulog).left(5), QByteArray("sent\0", 5));
}

INSTANTIATE_TEST_SUITE_P(
    Crashes, CrashMatrix,
    ::testing::Values(CrashCase{"segv", SIGSEGV, "crashBySegv", "SIGSEGV"},
                      CrashCase{"abort", SIGABRT, "crashByAbort", "SIGABRT"},
                      CrashCase{"fpe", SIGFPE, "crashByFpe", "SIGFPE"},
                      CrashCase{"ill", SIGILL, "crashByIll", "SIGILL"},
                      CrashCase{"bus", SIGBUS, "crashByBus", "SIGBUS"},
                      CrashCase{"trap", SIGTRAP, "crashByTrap", "SIGTRAP"},
                      CrashCase{"exception", SIGABRT, "crashByException", nullptr},
                      CrashCase{"thread", SIGSEGV, "crashOnWorkerThread", "SIGSEGV"},
                      CrashCase{"overflow", SIGSEGV, "crashByStackOverflow", "SIGSEGV"},
                      CrashCase{"eight", SIGSEGV, "crashTogether", "SIGSEGV"},
                      // The capture itself faults; the report still completes and the process
                      // still ends by the abort, not by the fault.
                      CrashCase{"inhandler", SIGABRT, "crashWithFaultingHandler", "SIGABRT"},
                      CrashCase{"reinstall", SIGSEGV, "crashBySegv", "SIGSEGV"}),
    [](const auto &info) { return std::string(info.param.mode); });

TEST(CrashCapture, WithoutAnEarlierSessionTheReportStillUnpacks)
{
    Intake intake;
    ASSERT_TRUE(intake.started());
    const QString sdk = scratchRoot() + QStringLiteral("/sdk-empty");
    const ChildEnd end = runCrashChild(sdk, QStringLiteral("segv"), intake.url());
    EXPECT_EQ(end.signal, SIGSEGV);
    ASSERT_EQ(intake.sessionBodies().size(), 1);
    const QJsonObject report = decodeReport(intake.sessionBodies().first());
    ASSERT_FALSE(report.isEmpty());
    // No body header from the event queue: a built-in one keeps the upload well formed.
    EXPECT_TRUE(report.contains("bundle_info"));
    const QJsonObject crash = report.value("events").toArray()[0].toObject();
    EXPECT_EQ(crash.value("session_id").toString(), "");
    EXPECT_EQ(crash.value("sequence_number").toInt(), -1);
    EXPECT_EQ(crash.value("start_time").toDouble(), 0);
    EXPECT_EQ(crash.value("fragment_duration").toDouble(), 0);
    const QJsonObject sessionEnd = report.value("events").toArray()[1].toObject();
    EXPECT_EQ(sessionEnd.value("sequence_number").toInt(), -1);
    EXPECT_EQ(sessionEnd.value("log").toArray().size(), 0);
    // The eight threads that inherited the process's name are told apart by index.
}

TEST(CrashCapture, ALogWithACompressedPartStaysForTheNextLaunch)
{
    Intake intake;
    ASSERT_TRUE(intake.started());
    const QString sdk = sdkWithOpenSession();
    const QString base = sdk + QStringLiteral("/logs/") + QString::fromLatin1(kSessionId);
    writeFile(base + QStringLiteral(".zlog"), QByteArray("x\x9c", 2));
    const ChildEnd end = runCrashChild(sdk, QStringLiteral("segv"), intake.url());
    EXPECT_EQ(end.signal, SIGSEGV);
    ASSERT_EQ(intake.sessionBodies().size(), 1);
    const QJsonObject report = decodeReport(intake.sessionBodies().first());
    const QJsonObject sessionEnd = report.value("events").toArray()[1].toObject();
    EXPECT_TRUE(sessionEnd.value("log").isArray());
    EXPECT_EQ(sessionEnd.value("log").toArray().size(), 0);
    EXPECT_EQ(readFile(base + QStringLiteral(".ulog")).left(1), QByteArray("\xdd", 1));
}

TEST(CrashCapture, UnnamedThreadsAreListedByIndex)
{
    Intake intake;
    ASSERT_TRUE(intake.started());
    const QString sdk = sdkWithOpenSession();
    ASSERT_TRUE(runCrashChild(sdk, QStringLiteral("eight"), intake.url()).signalled);
    ASSERT_EQ(intake.sessionBodies().size(), 1);
    const QJsonObject threads = decodeReport(intake.sessionBodies().first())
                                    .value("events")
                                    .toArray()[0]
                                    .toObject()
                                    .value("stacktrace")
                                    .toObject();
    int byIndex = 0;
    for (const QString &name : threads.keys())
        byIndex += name.startsWith("Thread ") ? 1 : 0;
    // Eight crashing threads plus the process's main thread, plus primary_thread's pair.
    EXPECT_GE(byIndex, 8);
    EXPECT_EQ(threads.size(), 1 + 1 + 1 + 8);
}

// The intake does not take the report at crash time: it stays unmarked, and the next launch
// sends it through the ordinary upload and removes it once accepted.
class UndeliveredReport : public ::testing::TestWithParam<const char *> {};

TEST_P(UndeliveredReport, IsUploadedAtTheNextLaunch)
{
    const QString sdk = sdkWithOpenSession();
    {
        Intake refusing(QString::fromLatin1(GetParam()));
        ASSERT_TRUE(refusing.started());
        const ChildEnd end = runCrashChild(sdk, QStringLiteral("segv"), refusing.url());
        EXPECT_TRUE(end.signalled);
        EXPECT_EQ(end.signal, SIGSEGV) << "the refused delivery must not end the process";
    }
    const QByteArray kept = readFile(sdk + QStringLiteral("/backtrace.mpack"));
    ASSERT_GT(kept.size(), 100);
    EXPECT_NE(kept.left(5), QByteArray("sent\0", 5));

    Intake intake;
    ASSERT_TRUE(intake.started());
    const ChildEnd launch = runCrashChild(sdk, QStringLiteral("launch"), intake.url());
    EXPECT_EQ(launch.exitCode, 0);
    EXPECT_TRUE(launch.out.contains("delivered 1 of 1")) << launch.out.toStdString();
    ASSERT_EQ(intake.sessionBodies().size(), 1);
    EXPECT_EQ(readFile(intake.sessionBodies().first()), kept);
    EXPECT_FALSE(QFile::exists(sdk + QStringLiteral("/backtrace.mpack")));
    EXPECT_TRUE(QDir(sdk + QStringLiteral("/old_crashes")).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Intakes, UndeliveredReport, ::testing::Values("close", "404", "hang"),
                         [](const auto &info) {
                             return std::string(info.param[0] == '4' ? "answer404" : info.param);
                         });

TEST(CrashCapture, ADeliveredReportIsDeletedAtTheNextLaunch)
{
    Intake intake;
    ASSERT_TRUE(intake.started());
    const QString sdk = sdkWithOpenSession();
    ASSERT_TRUE(runCrashChild(sdk, QStringLiteral("abort"), intake.url()).signalled);
    const ChildEnd launch = runCrashChild(sdk, QStringLiteral("launch"), intake.url());
    EXPECT_TRUE(launch.out.contains("delivered 0 of 0")) << launch.out.toStdString();
    EXPECT_EQ(intake.sessionBodies().size(), 1);
    EXPECT_TRUE(QDir(sdk + QStringLiteral("/old_crashes")).isEmpty());
}

// A log the crashed process had open, with records that only ever reached its mapped file.
TEST(CrashCapture, TheOpenLogsRecordsGoOutWithTheReport)
{
    Intake intake;
    ASSERT_TRUE(intake.started());
    const QString sdk = sdkWithOpenSession();
    const QString mode = QStringLiteral("log-segv:%1:3").arg(QString::fromLatin1(kSessionId));
    EXPECT_EQ(runCrashChild(sdk, mode, intake.url()).signal, SIGSEGV);
    ASSERT_EQ(intake.sessionBodies().size(), 1);
    const QJsonObject report = decodeReport(intake.sessionBodies().first());
    ASSERT_FALSE(report.isEmpty()) << "the report does not unpack (stale log bytes?)";
    const QJsonArray records = report.value("events")
                                   .toArray()[1]
                                   .toObject()
                                   .value("log")
                                   .toObject()
                                   .value("records")
                                   .toArray();
    ASSERT_EQ(records.size(), 3);
    EXPECT_TRUE(records[2].toObject().value("Message").toString().startsWith("line 2 ---"));
}

// The process dies with a log too large for the report (or without any handler at all): the
// next start finds every record it logged.
class DeadProcessLog : public ::testing::TestWithParam<const char *> {};

TEST_P(DeadProcessLog, IsFoundWholeByTheNextStart)
{
    const QString sdk = sdkWithOpenSession();
    const QString id = QString::fromLatin1(kSessionId);
    const QString mode = QStringLiteral("%1:%2:500").arg(QString::fromLatin1(GetParam()), id);
    const ChildEnd end = runCrashChild(sdk, mode, QString());
    ASSERT_TRUE(end.signalled);
    EXPECT_EQ(end.signal, QByteArray(GetParam()) == "log-kill" ? SIGKILL : SIGSEGV);

    murmelo::VGSdkFolder::setPathForTesting(sdk);
    auto &logs = murmelo::VGLogManager::sharedManager();
    logs.setLogToConsole(false);
    EXPECT_TRUE(logs.sessionIDsWithOldLogs().contains(id));
    QTemporaryFile upload;
    ASSERT_TRUE(upload.open());
    qint64 written = 0;
    EXPECT_TRUE(logs.writeLogFor(id, upload.handle(), false, &written));
    murmelo::VGSdkFolder::setPathForTesting(QString());
    const QByteArray raw = readFile(upload.fileName());
    ASSERT_EQ(raw.size(), written);
    // Exactly the records (500 of 222 bytes; one 64 KiB block compressed), nothing stale after.
    const qint64 zlogSize = QFileInfo(sdk + "/logs/" + id + ".zlog").size();
    EXPECT_EQ(written, 5 + 5 + zlogSize + (500 * 222 - 65536));
    const auto records = murmelo::VGLogReader::readUpload(raw.mid(5));
    ASSERT_TRUE(records);
    ASSERT_EQ(records->count(), 500u);
    EXPECT_EQ(records->at(499).value("Message").text().substr(0, 10), "line 499 -");
}

INSTANTIATE_TEST_SUITE_P(Deaths, DeadProcessLog, ::testing::Values("log-kill", "log-segv"),
                         [](const auto &info) {
                             return std::string(info.param[4] == 'k' ? "SIGKILL" : "SIGSEGV");
                         });

} // namespace

namespace {

// A report leaves the machine without the user's name: the home folder (usually named after the
// user) shows as "~" in the image list and in the error's text.
TEST(CrashCapture, AReportFromAHomeFolderShowsTheFolderAsTilde)
{
    const QString home = scratchRoot() + QStringLiteral("/home-alice");
    QDir(home).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(home + QStringLiteral("/bin")));
    const QString program = home + QStringLiteral("/bin/crash_child");
    ASSERT_TRUE(QFile::copy(QStringLiteral(CRASH_CHILD), program));
    const QString sdk = sdkWithOpenSession();
    const ChildEnd end =
        runCrashChild(sdk, QStringLiteral("exception-home"), QString(), program, home);
    EXPECT_TRUE(end.signalled);
    const QByteArray report = readFile(sdk + QStringLiteral("/backtrace.mpack"));
    ASSERT_GT(report.size(), 100);
    EXPECT_FALSE(report.contains(home.toUtf8())) << "the home folder's path left the machine";
    const QByteArray json =
        QJsonDocument(decodeReport(sdk + QStringLiteral("/backtrace.mpack"))).toJson();
    EXPECT_TRUE(json.contains("~/bin/crash_child")) << json.left(4000).toStdString();
    EXPECT_TRUE(json.contains("cannot open ~/secret.wav"));
}

// The next start that sends a report left behind dies right after the body went out, before the
// answer; the starts after it must not send the report again.
TEST(CrashCapture, APendingReportIsDeliveredOnceOverRepeatedCrashingStarts)
{
    const QString sdk = sdkWithOpenSession();
    ASSERT_TRUE(runCrashChild(sdk, QStringLiteral("segv"), QString()).signalled);
    const QByteArray pending = readFile(sdk + QStringLiteral("/backtrace.mpack"));
    ASSERT_GT(pending.size(), 100);
    QStringList bodies;
    {
        Intake hanging(QStringLiteral("hang"));
        ASSERT_TRUE(hanging.started());
        EXPECT_EQ(runCrashChild(sdk, QStringLiteral("launch-crash"), hanging.url()).signal,
                  SIGSEGV);
        for (const QString &body : hanging.sessionBodies())
            bodies << QString::fromLatin1(readFile(body).toHex());
    }
    Intake intake;
    ASSERT_TRUE(intake.started());
    for (int start = 0; start < 2; ++start)
        EXPECT_EQ(runCrashChild(sdk, QStringLiteral("launch"), intake.url()).exitCode, 0);
    for (const QString &body : intake.sessionBodies())
        bodies << QString::fromLatin1(readFile(body).toHex());
    EXPECT_EQ(bodies.count(QString::fromLatin1(pending.toHex())), 1);
    EXPECT_TRUE(QDir(sdk + QStringLiteral("/old_crashes")).isEmpty());
}

} // namespace
