#include "IntakeServer.h"
#include "support/TestSupport.h"
#include "telemetry/VGSdkFolder.h"
#include "telemetry/VGSdkQueue.h"
#include "telemetry/codec/VGMessagePack.h"
#include "telemetry/device/VGApplicationInformation.h"
#include "telemetry/device/VGDeviceInfo.h"
#include "telemetry/events/VGEventManager.h"
#include "telemetry/events/VGTimer.h"
#include "telemetry/network/VGNetworkManager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <atomic>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace murmelo;
using namespace std::chrono_literals;

namespace {

struct Sent {
    QString path;
    QUrl url;
    int priority;
};

class EventQueueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sdk.isValid());
        VGSdkFolder::setPathForTesting(sdk.path());
        VGEventManager::bustCachedNetworkStartData();
        VGEventManager::setSenderForTesting(
            [this](const QString &path, const QUrl &url, int priority) {
                sent.push_back({path, url, priority});
            });
    }
    void TearDown() override
    {
        VGEventManager::setSenderForTesting({});
        VGEventManager::setAfterAppendHookForTesting({});
        VGSdkFolder::setPathForTesting(QString());
        VGEventManager::bustCachedNetworkStartData();
    }
    static VGValue event(int n, size_t padding = 0)
    {
        return VGValue::map({{"type", "checkpoint"},
                             {"sequence_number", VGValue::int32(n)},
                             {"checkpoint_id", std::string(padding, 'p')}});
    }
    static std::optional<VGValue> readFile(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return std::nullopt;
        return VGMessagePack::unpackDictionary(file.readAll());
    }
    static std::vector<int> sequence(const VGValue &body)
    {
        std::vector<int> numbers;
        for (const VGValue &e : body.value("events").items())
            numbers.push_back(int(e.value("sequence_number").toInt64()));
        return numbers;
    }
    QStringList filesOnDisk(const VGEventManager &manager) const
    {
        return QDir(manager.queueFolderPath()).entryList(QDir::Files, QDir::Name);
    }

    QTemporaryDir sdk;
    std::vector<Sent> sent;
    const QUrl url{QStringLiteral("https://example.invalid/intake/1.0/sessions.mpack")};
};

TEST_F(EventQueueTest, QueueFileIsACompleteUploadBodyAfterEveryEvent)
{
    VGEventManager manager(QStringLiteral("events"), url);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(manager.enqueueObject(event(i)));
        const auto body = readFile(manager.queuePath());
        ASSERT_TRUE(body);
        EXPECT_EQ(sequence(*body).size(), size_t(i + 1));
    }
    QFile file(manager.queuePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.startsWith(QByteArray::fromHex("df00000004ab62756e646c655f696e666f")));
    const auto body = VGMessagePack::unpackDictionary(bytes);
    ASSERT_TRUE(body);
    EXPECT_EQ(body->count(), 4u);
    EXPECT_TRUE(body->value("bundle_info").isMap());
    EXPECT_TRUE(body->value("device_info").isMap());
    EXPECT_EQ(body->value("sdk_version").text(), VGEventManager::kSdkVersion);
    EXPECT_EQ(sequence(*body), (std::vector<int>{0, 1, 2}));
    // The count is the 5-byte form, so appending never moves what was written.
    EXPECT_NE(bytes.indexOf(QByteArray::fromHex("a66576656e7473dd00000003")), -1);
}

TEST_F(EventQueueTest, FileClosesPastHalfAMegabyteAndTheNextEventStartsANewOne)
{
    VGEventManager manager(QStringLiteral("events"), url);
    int n = 0;
    QString first;
    while (manager.queuePath().isEmpty() == false || n == 0) {
        ASSERT_TRUE(manager.enqueueObject(event(n++, 40000)));
        if (first.isEmpty())
            first = manager.queuePath();
        ASSERT_LT(n, 30);
    }
    // The event that crossed the limit is in the first file.
    EXPECT_GT(QFileInfo(first).size(), VGEventManager::kMaximumQueueFileSize);
    EXPECT_EQ(sequence(*readFile(first)).size(), size_t(n));
    ASSERT_TRUE(manager.enqueueObject(event(n)));
    EXPECT_NE(manager.queuePath(), first);
    EXPECT_EQ(sequence(*readFile(manager.queuePath())), std::vector<int>{n});
    EXPECT_EQ(manager.queuePaths().size(), 2);
}

TEST_F(EventQueueTest, HighPriorityEventFlushesItsFileOnceAtHighPriority)
{
    VGEventManager manager(QStringLiteral("events"), url);
    ASSERT_TRUE(manager.enqueueObject(event(0)));
    ASSERT_TRUE(manager.enqueueObject(event(1), true));
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].priority, VGURLConnectionOperation::High);
    EXPECT_EQ(sent[0].url, url);
    EXPECT_EQ(sequence(*readFile(sent[0].path)), (std::vector<int>{0, 1}));
    VGEventManager::flush();
    EXPECT_EQ(sent.size(), 1u);
    EXPECT_TRUE(manager.queuePaths().isEmpty());
}

TEST_F(EventQueueTest, FlushWithoutAddressKeepsEverythingForLater)
{
    VGEventManager manager(QStringLiteral("events"), QUrl());
    ASSERT_TRUE(manager.enqueueObject(event(0)));
    VGEventManager::flush();
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(manager.queuePaths().size(), 1);
    EXPECT_TRUE(manager.queuePath().isEmpty()); // closed all the same
    ASSERT_TRUE(manager.enqueueObject(event(1)));
    manager.setUrl(url);
    VGEventManager::flush();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].priority, VGURLConnectionOperation::Normal);
    EXPECT_EQ(sent[1].priority, VGURLConnectionOperation::Normal);
}

// Whether a file made at `probe` now is born after the one at `path`.
static bool bornLater(const QString &path, const QString &probe)
{
    const auto born = [](const QFileInfo &info) {
        return info.birthTime().isValid() ? info.birthTime() : info.lastModified();
    };
    QFile file(probe);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.close();
    const bool later = born(QFileInfo(probe)) > born(QFileInfo(path));
    file.remove();
    return later;
}

TEST_F(EventQueueTest, FilesFromAnEarlierRunGoOutAtLowPriorityNewestFirst)
{
    QStringList earlier;
    {
        VGEventManager previous(QStringLiteral("events"), QUrl());
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(previous.enqueueObject(event(i)));
            earlier.append(previous.queuePath());
            VGEventManager::flush(); // closes the file; nothing sent without an address
            // Files are ordered by birth time, which the file system's coarse clock may give
            // two files made in a row alike: the next one is made once a new file is born later.
            ASSERT_TRUE(test::waitUntil([&] {
                return bornLater(earlier.last(), test::scratchRoot() + QStringLiteral("/probe"));
            }));
        }
    }
    VGEventManager manager(QStringLiteral("events"), url);
    EXPECT_EQ(manager.oldQueuePaths(), (QStringList{earlier[2], earlier[1], earlier[0]}));
    ASSERT_TRUE(manager.enqueueObject(event(9)));
    VGEventManager::flush();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[0].priority, VGURLConnectionOperation::Normal);
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(sent[size_t(i)].priority, VGURLConnectionOperation::Low);
        EXPECT_EQ(sent[size_t(i)].path, earlier[3 - i]);
    }
    EXPECT_TRUE(manager.oldQueuePaths().isEmpty());
}

TEST_F(EventQueueTest, NewTokenRebuildsTheHeaderOfTheNextFile)
{
    VGBundleProperties properties = VGBundleProperties::fromBuild();
    VGApplicationInformation::setPropertiesForTesting(properties);
    VGEventManager manager(QStringLiteral("events"), url);
    ASSERT_TRUE(manager.enqueueObject(event(0)));
    const QString before = manager.queuePath();
    EXPECT_FALSE(readFile(before)->value("bundle_info").contains("application_token"));
    VGApplicationInformation::setApplicationToken(QStringLiteral("token-1"));
    EXPECT_TRUE(manager.queuePath().isEmpty());
    ASSERT_TRUE(manager.enqueueObject(event(1)));
    EXPECT_NE(manager.queuePath(), before);
    EXPECT_EQ(readFile(manager.queuePath())->value("bundle_info").value("application_token").text(),
              "token-1");
    VGApplicationInformation::setPropertiesForTesting(std::nullopt);
}

TEST_F(EventQueueTest, DirectlyWrittenValueAndAFailingWriterLeavesNoTrace)
{
    VGEventManager manager(QStringLiteral("events"), url);
    ASSERT_TRUE(manager.enqueueObject(event(0)));
    const QString open = manager.queuePath();
    const VGValue end = VGValue::map({{"type", "session_end"}, {"session_id", "S"}});
    EXPECT_FALSE(manager.enqueueDictionary(end, "log", [](int) { return false; }));
    EXPECT_FALSE(QFile::exists(manager.queueFolderPath() + "/temp"));
    ASSERT_TRUE(manager.enqueueDictionary(end, "log", [](int fd) {
        const QByteArray log = VGMessagePack::pack(VGValue::array({"line one", "line two"}));
        return ::write(fd, log.constData(), size_t(log.size())) == log.size();
    }));
    EXPECT_FALSE(QFile::exists(manager.queueFolderPath() + "/temp"));
    // The file that was open stays listed; the new one holds exactly the one event.
    ASSERT_EQ(manager.queuePaths().size(), 2);
    EXPECT_EQ(manager.queuePaths()[0], open);
    const auto body = readFile(manager.queuePaths()[1]);
    ASSERT_TRUE(body);
    const VGValue &events = body->value("events");
    ASSERT_EQ(events.count(), 1u);
    EXPECT_EQ(events.at(0).value("session_id").text(), "S");
    EXPECT_EQ(events.at(0).value("log").at(1).text(), "line two");
}

// Forks a child that runs `work` on the manager and reports through its exit status.
int inChild(const std::function<int()> &work)
{
    const pid_t child = fork();
    if (child == 0)
        _exit(work());
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

TEST_F(EventQueueTest, KillBetweenAppendAndCountPatchLosesNothingAcknowledged)
{
    VGEventManager manager(QStringLiteral("events"), url);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(manager.enqueueObject(event(i)));
    const QString path = manager.queuePath();
    const qint64 before = QFileInfo(path).size();
    const int status = inChild([&] {
        VGEventManager::setAfterAppendHookForTesting([] { raise(SIGKILL); });
        manager.enqueueObject(event(3, 100));
        return 0;
    });
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
    // The child's fourth event reached the file, but its count did not: the file reads as the
    // three acknowledged events.
    EXPECT_GT(QFileInfo(path).size(), before);
    const auto body = readFile(path);
    ASSERT_TRUE(body);
    EXPECT_EQ(sequence(*body), (std::vector<int>{0, 1, 2}));
}

TEST_F(EventQueueTest, FullDiskIsReportedAndTheFileStaysReadable)
{
    VGEventManager manager(QStringLiteral("events"), url);
    ASSERT_TRUE(manager.enqueueObject(event(0)));
    const QString path = manager.queuePath();
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const int status = inChild([&] {
        // Past 20,000 bytes, writes fail as on a full disk.
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{20000, 20000};
        setrlimit(RLIMIT_FSIZE, &limit);
        int accepted = 1;
        while (accepted < 100 && manager.enqueueObject(event(accepted, 3000)))
            ++accepted;
        if (::write(pipeFds[1], &accepted, sizeof accepted) != sizeof accepted)
            return 2;
        // After the failure, the manager goes on refusing, not writing past garbage.
        return accepted < 100 && !manager.enqueueObject(event(accepted, 3000)) ? 0 : 1;
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    int accepted = 0;
    ASSERT_EQ(::read(pipeFds[0], &accepted, sizeof accepted), ssize_t(sizeof accepted));
    close(pipeFds[0]);
    close(pipeFds[1]);
    EXPECT_GT(accepted, 1);
    const auto body = readFile(path);
    ASSERT_TRUE(body);
    // Exactly the acknowledged events, and no partial event bytes after them.
    EXPECT_EQ(sequence(*body).size(), size_t(accepted));
    EXPECT_LE(QFileInfo(path).size(), 20000);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    size_t used = 0;
    ASSERT_TRUE(VGMessagePack::unpack(bytes.constData(), size_t(bytes.size()), &used));
    EXPECT_EQ(qsizetype(used), bytes.size());
}

TEST(Timer, IsRefusedWithoutIntervalFiresRepeatedlyAndStops)
{
    auto queue = [](std::function<void()> work) { vgSdkAsync(std::move(work)); };
    EXPECT_FALSE(VGTimer::initWithInterval(0, queue, [] {}));
    EXPECT_FALSE(VGTimer::initWithInterval(1, queue, {}));
    EXPECT_FALSE(VGTimer::initWithInterval(1, {}, [] {}));

    std::atomic<int> fired{0};
    auto timer = VGTimer::initWithInterval(0.05, queue, [&] { ++fired; });
    ASSERT_TRUE(timer);
    EXPECT_TRUE(test::waitUntil([&] { return fired >= 3; }, 5s));
    timer->setInterval(30);
    const int atChange = fired;
    // Re-armed from now: a thirty-second timer does not fire within the next few turns.
    EXPECT_FALSE(test::waitUntil([&] { return fired > atChange + 1; }, 200ms));
    timer->fire();
    EXPECT_GE(fired, atChange + 1);
    timer->invalidate();
    EXPECT_FALSE(timer->isValid());
    EXPECT_FALSE(timer->block());
}

// The whole way: events into a queue file, a flush, the network manager, a loopback intake.
TEST(EventUpload, FlushedQueueFileReachesTheIntakeAndLeavesTheDisk)
{
    QTemporaryDir sdk;
    VGSdkFolder::setPathForTesting(sdk.path());
    VGEventManager::bustCachedNetworkStartData();
    VGNetworkManager::sharedManager().watchReachability(QString());
    test::IntakeServer intake(QStringLiteral("200"));
    ASSERT_TRUE(intake.isRunning());
    {
        VGEventManager manager(QStringLiteral("events"), intake.url());
        for (int i = 0; i < 5; ++i)
            ASSERT_TRUE(manager.enqueueObject(VGValue::map({{"n", VGValue::int32(i)}})));
        const QString path = manager.queuePath();
        const qint64 size = QFileInfo(path).size();
        vgSdkSync([] { VGEventManager::flush(); });
        ASSERT_TRUE(intake.waitForRequests(1));
        EXPECT_EQ(intake.requests()[0].value("received").toInt(), size);
        EXPECT_TRUE(test::waitUntil([&] { return !QFile::exists(path); }));
    }
    VGSdkFolder::setPathForTesting(QString());
    VGEventManager::bustCachedNetworkStartData();
}

} // namespace
