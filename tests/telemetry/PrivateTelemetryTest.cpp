// What the telemetry keeps is the user's alone and bounded: private modes, identifiers of the
// profile and not of the machine, one telemetry per profile, and files that are too long or
// damaged set aside instead of read whole or posted.
#include "platform/Defaults.h"
#include "support/TestSupport.h"
#include "telemetry/VGFileCaps.h"
#include "telemetry/VGFileWrites.h"
#include "telemetry/VGHomePath.h"
#include "telemetry/VGSdkFolder.h"
#include "telemetry/VGSdkQueue.h"
#include "telemetry/codec/VGMessagePack.h"
#include "telemetry/device/VGDeviceInfo.h"
#include "telemetry/device/VGSharedUDID.h"
#include "telemetry/events/VGEventManager.h"
#include "telemetry/log/VGLogManager.h"
#include "telemetry/session/VGProfileLock.h"
#include "telemetry/session/VGSessionManager.h"
#include "telemetry/session/Vigil.h"
#include "telemetry/update/VGSDKUpgradeManager.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace murmelo;

namespace {

unsigned modeOf(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

void writeFile(const QString &path, const QByteArray &bytes, qint64 sparseSize = 0)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    if (sparseSize > 0) {
        ASSERT_TRUE(file.resize(sparseSize)); // takes no disk: a hole after the bytes
    }
}

long peakResidentKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST(HomeFolder, PathsInsideItAreShownFromTilde)
{
    const QString home = QStringLiteral("/home/alice");
    EXPECT_EQ(vgTildeHome(QStringLiteral("/home/alice/bin/murmelo"), home), "~/bin/murmelo");
    EXPECT_EQ(vgTildeHome(QStringLiteral("/home/alice"), home), "~");
    EXPECT_EQ(vgTildeHome(QStringLiteral("cannot open /home/alice/a and /home/alice/b"), home),
              "cannot open ~/a and ~/b");
    // Another user whose name starts the same, and paths elsewhere, are left as they are.
    EXPECT_EQ(vgTildeHome(QStringLiteral("/home/alicea/x"), home), "/home/alicea/x");
    EXPECT_EQ(vgTildeHome(QStringLiteral("/usr/lib/libQt6Core.so.6"), home),
              "/usr/lib/libQt6Core.so.6");
    EXPECT_EQ(vgTildeHome(QStringLiteral("/home/alice/x"), QStringLiteral("/home/alice/")), "~/x");
    // A home of "/" or nothing would turn every path into "~".
    EXPECT_EQ(vgTildeHome(QStringLiteral("/usr/bin/x"), QStringLiteral("/")), "/usr/bin/x");
    EXPECT_EQ(vgTildeHome(QStringLiteral("/usr/bin/x"), QString()), "/usr/bin/x");
}

TEST(PrivateFiles, FoldersAndFilesAreTheUsersAloneWhateverTheUmask)
{
    QTemporaryDir scratch;
    const mode_t previous = ::umask(022);
    const QString folder = scratch.filePath(QStringLiteral("a/b"));
    EXPECT_TRUE(vgMakePrivateFolder(folder));
    EXPECT_TRUE(vgWriteFileAtomically(folder + QStringLiteral("/record.mpack"), "\x80"));
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(modeOf(folder + QStringLiteral("/record.mpack")), 0600u);

    // Left by an earlier version: tightened, but a link is neither followed nor changed.
    const QString open = scratch.filePath(QStringLiteral("open"));
    writeFile(open + QStringLiteral("/sub/old.msgpack"), "x");
    QFile::setPermissions(open + QStringLiteral("/sub/old.msgpack"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    const QString outside = scratch.filePath(QStringLiteral("outside"));
    writeFile(outside, "y");
    QFile::setPermissions(outside, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    ASSERT_TRUE(QFile::link(outside, open + QStringLiteral("/link")));
    vgTightenTree(open);
    EXPECT_EQ(modeOf(open), 0700u);
    EXPECT_EQ(modeOf(open + QStringLiteral("/sub")), 0700u);
    EXPECT_EQ(modeOf(open + QStringLiteral("/sub/old.msgpack")), 0600u);
    EXPECT_EQ(modeOf(outside), 0604u);
    ::umask(previous);
}

TEST(VendorIdentifier, NamesTheProfileNotTheMachineAndChangesOnAReset)
{
    const QString root = test::scratchRoot() + QStringLiteral("/vendor-") +
                         QUuid::createUuid().toString(QUuid::Id128);
    const QString shared = root + QStringLiteral("/SharedUDID");
    auto identifiers = [&](Defaults &profile) {
        Defaults::setStandardForTesting(&profile);
        VGDeviceInfo::resetForTesting();
        VG_SharedUDID::resetCacheForTesting();
        const VGValue info = VGDeviceInfo::deviceInformation();
        return std::pair(info.value("vendor_id").toQString(),
                         info.value("shared_udid").toQString());
    };
    Defaults first(root + QStringLiteral("/first.conf"));
    Defaults second(root + QStringLiteral("/second.conf"));
    const auto one = identifiers(first);
    ASSERT_EQ(one.first.size(), 36);
    EXPECT_EQ(identifiers(first), one) << "kept across launches";
    EXPECT_NE(identifiers(second).first, one.first) << "another profile on the same machine";

    Defaults::setStandardForTesting(&first);
    const QString sharedBefore = one.second;
    Vigil::resetIdentifiers();
    const VGValue after = VGDeviceInfo::deviceInformation();
    EXPECT_NE(after.value("vendor_id").toQString(), one.first);
    EXPECT_NE(after.value("shared_udid").toQString(), sharedBefore);
    Defaults::setStandardForTesting(nullptr);
    VGDeviceInfo::resetForTesting();
    VG_SharedUDID::resetCacheForTesting();
}

class SdkFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = test::scratchRoot() + QStringLiteral("/sdk-") +
                 QUuid::createUuid().toString(QUuid::Id128);
        VGSdkFolder::setPathForTesting(folder);
        // A profile whose telemetry storage is current: nothing in it is migrated away.
        VGSDKUpgradeManager::sharedSDKUpgradeManager()._setCurrentSDKUpgradeVersion(folder, 13);
    }
    void TearDown() override { VGSdkFolder::setPathForTesting(QString()); }
    QString file(const QString &relative) const { return folder + QLatin1Char('/') + relative; }
    QStringList setAside() const
    {
        return QDir(file(QLatin1String(VGFileCaps::kSetAsideFolder))).entryList(QDir::Files);
    }
    QString folder;
};

TEST_F(SdkFolderTest, ASecondInstanceOnTheProfileLeavesTheTelemetryToTheFirst)
{
    Vigil::resetForTesting();
    VGProfileLock::releaseForTesting();
    vgMakePrivateFolder(folder);
    // Another live process holds the profile.
    const int other = ::open(QFile::encodeName(file(QLatin1String(VGProfileLock::kFileName))),
                             O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    Vigil::activate(QStringLiteral("profile-lock-token"));
    EXPECT_FALSE(Vigil::isActivated());
    // Once it is gone (the kernel lets go of its lock), this one may run it.
    ::close(other);
    EXPECT_TRUE(VGProfileLock::acquire(folder));
    EXPECT_EQ(modeOf(file(QLatin1String(VGProfileLock::kFileName))), 0600u);
    VGProfileLock::releaseForTesting();
}

TEST_F(SdkFolderTest, OversizedAndDamagedFilesAreSetAsideOnceAndNeverPosted)
{
    // Session records and stored settings: a sparse 3 GB record is not read.
    const QString record = file(QStringLiteral("session_info/A.session.mpack"));
    writeFile(record, VGMessagePack::pack(VGValue::map()), 3LL << 30);
    const long before = peakResidentKilobytes();
    EXPECT_FALSE(VGFileCaps::readSmallRecord(record));
    EXPECT_LT(peakResidentKilobytes() - before, 20 * 1024);
    EXPECT_FALSE(QFile::exists(record));
    EXPECT_EQ(setAside().size(), 1);
    EXPECT_FALSE(VGFileCaps::readSmallRecord(record)) << "gone for good";
    EXPECT_EQ(setAside().size(), 1);

    // Queue files: one over the upload cap, one damaged, one whole.
    std::vector<QString> posted;
    std::mutex mutex;
    VGEventManager::setSenderForTesting([&](const QString &path, const QUrl &, int) {
        std::lock_guard lock(mutex);
        posted.push_back(path);
    });
    const QString queue = file(QStringLiteral("VGEventManager/caps"));
    writeFile(queue + QStringLiteral("/huge.msgpack"), VGMessagePack::packMapHeaderOnly(4),
              VGFileCaps::kUpload + 1);
    writeFile(queue + QStringLiteral("/damaged.msgpack"), QByteArray(4096, '\xdf'));
    const QByteArray whole = VGMessagePack::pack(VGValue::map({{"events", VGValue::array()}}));
    writeFile(queue + QStringLiteral("/whole.msgpack"), whole);
    {
        auto manager = VGEventManager::eventManagerWithQueueKey(
            QStringLiteral("caps"), QUrl(QStringLiteral("http://127.0.0.1:9/")));
        vgSdkSync([] { VGEventManager::flush(); });
    }
    VGEventManager::setSenderForTesting(nullptr);
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_TRUE(posted[0].endsWith(QLatin1String("whole.msgpack")));
    EXPECT_EQ(setAside().size(), 3);
    EXPECT_FALSE(QFile::exists(queue + QStringLiteral("/huge.msgpack")));
    EXPECT_FALSE(QFile::exists(queue + QStringLiteral("/damaged.msgpack")));

    // A crash report cut short (a death while it was written) is not posted raw.
    const QString report = file(QStringLiteral("old_crashes/B.crash.mpack"));
    writeFile(report, VGMessagePack::packMapHeaderOnly(2) + QByteArray(4000, '\xc1'));
    bool sent = false;
    vgSdkSync([&] {
        VGSessionManager &sessions = VGSessionManager::sharedSessionManager();
        sessions.setCrashReportSenderForTesting(
            [&](const QString &, const QUrl &) { sent = true; });
        sessions.sendOldCrashReport(report);
        sessions.setCrashReportSenderForTesting(nullptr);
    });
    EXPECT_FALSE(sent);
    EXPECT_FALSE(QFile::exists(report));
    EXPECT_EQ(setAside().size(), 4);
}

TEST_F(SdkFolderTest, AnOversizedSessionLogIsNeverLoaded)
{
    // A sparse 300 MB log left by a process that died: replaced by the size notice, unread.
    const QString id = QStringLiteral("11111111-2222-3333-4444-555555555555");
    writeFile(VGLogManager::logsFolderPath() + QLatin1Char('/') + id + QStringLiteral(".ulog"),
              VGMessagePack::packArrayHeaderOnly(0), 300LL << 20);
    QTemporaryDir scratch;
    QFile out(scratch.filePath(QStringLiteral("upload")));
    ASSERT_TRUE(out.open(QIODevice::ReadWrite));
    const long before = peakResidentKilobytes();
    qint64 written = 0;
    EXPECT_TRUE(VGLogManager::sharedManager().writeLogFor(id, out.handle(), false, &written));
    EXPECT_LT(peakResidentKilobytes() - before, 40 * 1024);
    EXPECT_LT(written, 4096);
}

} // namespace
