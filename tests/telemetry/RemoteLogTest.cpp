#include "telemetry/VGSdkFolder.h"
#include "telemetry/codec/VGMessagePack.h"
#include "telemetry/log/VGLog.h"
#include "telemetry/log/VGLogManager.h"
#include "telemetry/log/VGLogReader.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

using namespace murmelo;

namespace {

// Inflates concatenated zlib streams; returns the bytes and the number of streams.
std::pair<QByteArray, int> inflateAll(const QByteArray &input)
{
    QByteArray out;
    int streams = 0;
    qsizetype at = 0;
    while (at < input.size()) {
        z_stream z{};
        if (inflateInit(&z) != Z_OK)
            return {{}, -1};
        z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(input.constData() + at));
        z.avail_in = uInt(input.size() - at);
        char buffer[65536];
        int result;
        do {
            z.next_out = reinterpret_cast<Bytef *>(buffer);
            z.avail_out = sizeof buffer;
            result = inflate(&z, Z_NO_FLUSH);
            out.append(buffer, qsizetype(sizeof buffer - z.avail_out));
        } while (result == Z_OK);
        const qsizetype used = qsizetype(z.total_in);
        inflateEnd(&z);
        if (result != Z_STREAM_END)
            return {{}, -1};
        at += used;
        ++streams;
    }
    return {out, streams};
}

// Reads `count` records one after another.
std::vector<VGValue> records(const QByteArray &bytes, uint32_t count)
{
    std::vector<VGValue> out;
    size_t at = 0;
    for (uint32_t i = 0; i < count; ++i) {
        size_t used = 0;
        auto record =
            VGMessagePack::unpack(bytes.constData() + at, size_t(bytes.size()) - at, &used);
        if (!record)
            break;
        out.push_back(*record);
        at += used;
    }
    if (at != size_t(bytes.size()))
        out.push_back(VGValue("trailing bytes"));
    return out;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

uint32_t headerCount(const QByteArray &bytes)
{
    return uint32_t(uchar(bytes[1])) << 24 | uint32_t(uchar(bytes[2])) << 16 |
           uint32_t(uchar(bytes[3])) << 8 | uint32_t(uchar(bytes[4]));
}

class RemoteLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sdk.isValid());
        VGSdkFolder::setPathForTesting(sdk.path());
        logs().resetForTesting();
        logs().setLogToConsole(false);
    }
    void TearDown() override
    {
        logs().resetForTesting();
        logs().setDebuggerProbeForTesting(std::nullopt);
        VGSdkFolder::setPathForTesting(QString());
    }
    static VGLogManager &logs() { return VGLogManager::sharedManager(); }
    QString base(const QString &id) const { return logs()._pathForSessionID(id); }

    // The session's log as an upload would carry it: the records, decoded.
    std::vector<VGValue> uploaded(const QString &id, bool hurry = false, bool *ok = nullptr)
    {
        QTemporaryFile out;
        EXPECT_TRUE(out.open());
        const int fd = ::open(QFile::encodeName(out.fileName()).constData(), O_WRONLY);
        ::write(fd, "xyz", 3); // the value goes where the descriptor stands
        qint64 written = 0;
        const bool result = logs().writeLogFor(id, fd, hurry, &written);
        ::close(fd);
        if (ok)
            *ok = result;
        if (!result)
            return {};
        const QByteArray bytes = readAll(out.fileName());
        EXPECT_EQ(bytes.left(3), "xyz");
        const QByteArray raw = bytes.mid(3);
        EXPECT_EQ(raw.size(), written);
        EXPECT_EQ(uchar(raw[0]), 0xdb);
        EXPECT_EQ(headerCount(raw), uint32_t(written - 5));
        const QByteArray inner = raw.mid(5);
        const uint32_t count = headerCount(inner);
        // The compressed part is everything up to the tail the .ulog holds now.
        const qsizetype tail = QFileInfo(base(id) + ".ulog").size() - 5;
        const auto [inflated, streams] = inflateAll(inner.mid(5, inner.size() - 5 - tail));
        EXPECT_GE(streams, 0);
        return records(inflated + inner.right(tail), count);
    }

    QTemporaryDir sdk;
};

TEST_F(RemoteLogTest, MessagesGoToTheSessionLogHeldOnesStampedAtOpening)
{
    logs().log(QStringLiteral("before any session"));
    logs().prepareToStartSession();
    logs().log(QStringLiteral("held one"));
    vg_log_format("held %s %d", "two", 2);
    const qint64 opened = QDateTime::currentSecsSinceEpoch();
    logs().setCurrentSessionID(QStringLiteral("S1"));
    logs().log(QString::fromUtf8("in session \xc3\xa9"));
    const auto got = uploaded(QStringLiteral("S1"));
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].value("Message").text(), "held one");
    EXPECT_EQ(got[1].value("Message").text(), "held two 2");
    EXPECT_EQ(got[2].value("Message").text(), "in session \xc3\xa9");
    EXPECT_GE(got[0].value("Time").toInt64(), opened);
    EXPECT_EQ(got[0].value("Time").numberType(), 'i');
    // Nothing of the message before the session anywhere.
    for (const QString &name : QDir(VGLogManager::logsFolderPath()).entryList(QDir::Files))
        EXPECT_FALSE(readAll(VGLogManager::logsFolderPath() + "/" + name).contains("before any"));

    // The same id again keeps the log.
    logs().setCurrentSessionID(QStringLiteral("S1"));
    EXPECT_EQ(uploaded(QStringLiteral("S1")).size(), 3u);
}

TEST_F(RemoteLogTest, FullBlocksAreDeflatedIntoOneStreamAndTheTailStays)
{
    logs().setCurrentSessionID(QStringLiteral("S2"));
    const QString message(1000 - 22, QLatin1Char('m')); // 1,000-byte records
    for (int i = 0; i < 70; ++i)
        logs().log(message);
    const QByteArray zlog = readAll(base("S2") + ".zlog");
    const auto [inflated, streams] = inflateAll(zlog);
    EXPECT_EQ(streams, 1);
    EXPECT_EQ(inflated.size(), 65536);
    const QByteArray ulog = readAll(base("S2") + ".ulog");
    EXPECT_EQ(ulog.size() - 5, 70000 - 65536);
    EXPECT_EQ(headerCount(ulog), 70u);
    const auto got = uploaded(QStringLiteral("S2"));
    ASSERT_EQ(got.size(), 70u);
    EXPECT_EQ(got[69].value("Message").toQString(), message);
    EXPECT_EQ(got[65].value("Message").toQString(), message); // the record split by the block
    // The debugging reader sees the same records in the two files.
    const auto read = VGLogReader::readLogAtPath(base("S2") + ".ulog");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->count(), 70u);
    EXPECT_EQ(read->at(65).value("Message").toQString(), message);
    EXPECT_FALSE(VGLogReader::readFiles(ulog, zlog.left(zlog.size() / 2)));
}

TEST_F(RemoteLogTest, FailedCompressionKeepsEveryRecordWhole)
{
    logs().setCurrentSessionID(QStringLiteral("S3"));
    ASSERT_TRUE(QDir().mkpath(base("S3") + ".zlog")); // a folder where the .zlog would go
    const QString message(1000 - 22, QLatin1Char('k'));
    for (int i = 0; i < 70; ++i)
        logs().log(message);
    logs().waitUntilIdle(); // the failure notice is logged without waiting
    const QByteArray ulog = readAll(base("S3") + ".ulog");
    const auto all = records(ulog.mid(5), headerCount(ulog));
    // Every record whole, and the failure told once, in the log itself.
    ASSERT_EQ(all.size(), 71u);
    int notices = 0;
    for (const VGValue &record : all) {
        if (record.value("Message").text() == "**** Vigil: Remote Logging Failed with errno -1")
            ++notices;
        else
            EXPECT_EQ(record.value("Message").toQString(), message);
    }
    EXPECT_EQ(notices, 1);
}

TEST_F(RemoteLogTest, OversizedLogIsReplacedByTheNoticeAndHurriedUploadsStaySmall)
{
    logs().setCurrentSessionID(QStringLiteral("big"));
    logs().log(QStringLiteral("a line"));
    {
        QFile zlog(base("big") + ".zlog");
        ASSERT_TRUE(zlog.open(QIODevice::WriteOnly));
        ASSERT_TRUE(zlog.resize(17 * 1024 * 1024));
    }
    const auto got = uploaded(QStringLiteral("big"));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].value("Message").text(),
              "Vigil: Your log file was larger than 16MB. Vigil does not support sending log "
              "files of this size.");
    EXPECT_FALSE(QFile::exists(base("big") + ".zlog"));
    // The open log carries on in the fresh file.
    logs().log(QStringLiteral("after"));
    EXPECT_EQ(uploaded(QStringLiteral("big")).size(), 2u);

    logs().setCurrentSessionID(QStringLiteral("hurry"));
    // Text that does not compress, so the files are as large as the log.
    auto noise = [] {
        QByteArray bytes(500, Qt::Uninitialized);
        for (char &c : bytes)
            c = char(QRandomGenerator::global()->generate());
        return QString::fromLatin1(bytes.toHex());
    };
    for (int i = 0; i < 10; ++i)
        logs().log(noise());
    bool ok = false;
    EXPECT_EQ(uploaded(QStringLiteral("hurry"), true, &ok).size(), 10u);
    EXPECT_TRUE(ok);
    for (int i = 0; i < 90; ++i)
        logs().log(noise());
    uploaded(QStringLiteral("hurry"), true, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(uploaded(QStringLiteral("hurry"), false, &ok).size(), 100u);
    EXPECT_TRUE(ok);
    // A log marked as sent, or none at all, is not written.
    uploaded(QStringLiteral("never"), false, &ok);
    EXPECT_FALSE(ok);
}

TEST_F(RemoteLogTest, OldLogsExcludeThisProcessAndDropSentOnes)
{
    QDir().mkpath(VGLogManager::logsFolderPath());
    auto make = [&](const QString &id, const QByteArray &head) {
        QFile file(base(id) + ".ulog");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(head);
    };
    make(QStringLiteral("old-unsent"), QByteArray::fromHex("dd00000000"));
    make(QStringLiteral("old-sent"), QByteArray("sent\0", 5));
    logs().setCurrentSessionID(QStringLiteral("current"));
    EXPECT_EQ(logs().sessionIDsWithOldLogs(), QStringList{QStringLiteral("old-unsent")});
    EXPECT_FALSE(QFile::exists(base("old-sent") + ".ulog"));
    bool ok = true;
    uploaded(QStringLiteral("old-sent"), false, &ok);
    EXPECT_FALSE(ok);
    logs().deleteLogFor(QStringLiteral("old-unsent"));
    logs().waitUntilIdle();
    EXPECT_FALSE(QFile::exists(base("old-unsent") + ".ulog"));
}

// What reaches standard error while `work` runs.
QByteArray standardError(const std::function<void()> &work)
{
    QTemporaryFile capture;
    capture.open();
    fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    dup2(capture.handle(), STDERR_FILENO);
    work();
    dup2(saved, STDERR_FILENO);
    close(saved);
    capture.seek(0);
    return capture.readAll();
}

TEST_F(RemoteLogTest, StandardErrorOnlyUnderADebugger)
{
    logs().setLogToSTDERR(true);
    logs().setDebuggerProbeForTesting(false);
    EXPECT_TRUE(standardError([] { vg_log(QStringLiteral("quiet")); }).isEmpty());
    logs().setDebuggerProbeForTesting(true);
    const QByteArray line = standardError([] { vg_log(QStringLiteral("loud")); });
    EXPECT_TRUE(
        QRegularExpression(
            QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3} \S+\[\d+:\d+\] loud\n$)"))
            .match(QString::fromUtf8(line))
            .hasMatch())
        << line.constData();
    logs().setLogToSTDERR(false);
    EXPECT_TRUE(standardError([] { vg_log(QStringLiteral("off")); }).isEmpty());
}

} // namespace
