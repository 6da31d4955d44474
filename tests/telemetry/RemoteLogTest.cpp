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
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
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
        // The compressed part is the .zlog as it is now; the records' tail follows it.
        const qsizetype compressed = QFileInfo(base(id) + ".zlog").size();
        const auto [inflated, streams] = inflateAll(inner.mid(5, compressed));
        EXPECT_GE(streams, 0);
        return records(inflated + inner.mid(5 + compressed), count);
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
    const auto got = uploaded(QStringLiteral("S2"));
    ASSERT_EQ(got.size(), 70u);
    EXPECT_EQ(got[69].value("Message").toQString(), message);
    EXPECT_EQ(got[65].value("Message").toQString(), message); // the record split by the block
    // The debugging reader sees the same records in the two files.
    const auto read = VGLogReader::readLogAtPath(base("S2") + ".ulog");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->count(), 70u);
    EXPECT_EQ(read->at(65).value("Message").toQString(), message);
    // Closing the log leaves a .ulog of exactly the header and the tail.
    logs().setCurrentSessionID(QStringLiteral("next"));
    const QByteArray ulog = readAll(base("S2") + ".ulog");
    EXPECT_EQ(ulog.size() - 5, 70000 - 65536);
    EXPECT_EQ(headerCount(ulog), 70u);
    EXPECT_EQ(VGLogReader::readFiles(ulog, zlog)->count(), 70u);
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
    logs().setCurrentSessionID(QStringLiteral("next"));
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

int inChild(const std::function<int()> &work)
{
    const pid_t child = fork();
    if (child == 0)
        _exit(work());
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

// A record of exactly `size` bytes (at least 54) whose message starts with its number.
QByteArray recordOfSize(int n, int size)
{
    QByteArray message = QByteArray::number(n) + ':';
    message = message.leftJustified(size - 22, '.');
    QByteArray record(size, Qt::Uninitialized);
    EXPECT_EQ(vg_remote_log_record(1765200000 + n, message.constData(), uint32_t(message.size()),
                                   record.data(), size_t(size)),
              size_t(size));
    return record;
}

QByteArray deflate(const QByteArray &bytes)
{
    uLongf size = compressBound(uLong(bytes.size()));
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    compress2(reinterpret_cast<Bytef *>(out.data()), &size,
              reinterpret_cast<const Bytef *>(bytes.constData()), uLong(bytes.size()), 6);
    out.truncate(qsizetype(size));
    return out;
}

QByteArray ulogHeader(uint32_t count)
{
    return QByteArray("\xdd", 1) + char(count >> 24) + char(count >> 16) + char(count >> 8) +
           char(count);
}

// The repaired files of a log, read back.
std::optional<VGValue> readRepaired(const QByteArray &ulog, const QByteArray &zlog)
{
    const auto repair = VGLogReader::repair(ulog, zlog);
    if (!repair)
        return std::nullopt;
    return VGLogReader::readFiles(ulogHeader(repair->count) + ulog.mid(5, repair->tailSize),
                                  zlog.left(repair->zlogKeep) + repair->zlogAppend);
}

TEST_F(RemoteLogTest, ALogItsProcessLeftOpenIsFoundWholeAtTheNextStart)
{
    QDir().mkpath(VGLogManager::logsFolderPath());
    const QByteArray path = QFile::encodeName(base(QStringLiteral("killed")));
    // The child appends past a block and dies by SIGKILL: no handler, no chance to close.
    const int status = inChild([&] {
        vg_remote_log log;
        vg_remote_log_init(&log);
        if (vg_remote_log_open(&log, path.constData()) != 0)
            return 1;
        for (int i = 0; i < 700; ++i) {
            const QByteArray record = recordOfSize(i, 100 + i % 50);
            if (vg_remote_log_append(&log, record.constData(), uint32_t(record.size())) != 0)
                return 2;
        }
        raise(SIGKILL);
        return 3;
    });
    ASSERT_TRUE(WIFSIGNALED(status)) << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGKILL);

    EXPECT_TRUE(logs().sessionIDsWithOldLogs().contains(QStringLiteral("killed")));
    const auto got = uploaded(QStringLiteral("killed"));
    ASSERT_EQ(got.size(), 700u);
    EXPECT_TRUE(got[699].value("Message").text().starts_with("699:"));
    // Reading it cut the file back to its records.
    const QByteArray ulog = readAll(base("killed") + ".ulog");
    EXPECT_EQ(VGLogReader::readFiles(ulog, readAll(base("killed") + ".zlog"))->count(), 700u);
    EXPECT_EQ(uploaded(QStringLiteral("killed")).size(), 700u);
}

TEST_F(RemoteLogTest, ADeathWhileCompressingLosesNoAcknowledgedRecord)
{
    // 1,000-byte records: the 66th crosses the first block boundary 536 bytes in.
    QByteArray all;
    for (int i = 0; i < 70; ++i)
        all += recordOfSize(i, 1000);
    const QByteArray stale(3000, 'x');

    // Died writing the stream: a broken stream at the end of the .zlog, the .ulog untouched.
    const QByteArray before = ulogHeader(65) + all.left(65000) + stale;
    auto read = readRepaired(before, deflate(all.left(65536)).left(100));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->count(), 65u);

    // Died after the stream, before the record's rest and its count: the stream is made again
    // without the unfinished record, whose head it held.
    const QByteArray block = deflate(all.left(65536));
    auto repair = VGLogReader::repair(before, block);
    ASSERT_TRUE(repair);
    EXPECT_EQ(repair->count, 65u);
    EXPECT_EQ(repair->tailSize, 0);
    EXPECT_EQ(repair->zlogKeep, 0);
    read = readRepaired(before, block);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->count(), 65u);
    EXPECT_EQ(read->at(64).value("Message").text().substr(0, 3), "64:");

    // Died after the rest was copied, before the count: the same.
    const QByteArray copied = ulogHeader(65) + all.mid(65536, 464) + all.mid(464, 64536) + stale;
    read = readRepaired(copied, block);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->count(), 65u);

    // Once the count is stored, the record is whole across the stream and the .ulog.
    const QByteArray after = ulogHeader(66) + all.mid(65536, 464) + stale;
    repair = VGLogReader::repair(after, block);
    ASSERT_TRUE(repair);
    EXPECT_EQ(repair->count, 66u);
    EXPECT_EQ(repair->tailSize, 464);
    EXPECT_TRUE(repair->zlogAppend.isEmpty());

    // A record that ended exactly at the boundary is all in the stream: it is kept even though
    // its count was not stored.
    QByteArray exact;
    for (int i = 0; i < 64; ++i)
        exact += recordOfSize(i, 1024);
    read = readRepaired(ulogHeader(63) + exact.left(63 * 1024) + stale, deflate(exact));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->count(), 64u);

    // Not a log at all.
    EXPECT_FALSE(VGLogReader::repair(QByteArray("sent\0", 5), block));
    EXPECT_FALSE(VGLogReader::repair(QByteArray("\xdd", 1), {}));
}

TEST_F(RemoteLogTest, ATailThatStartsLikeAStreamIsStillReadAsRecords)
{
    QDir().mkpath(VGLogManager::logsFolderPath());
    vg_remote_log log;
    vg_remote_log_init(&log);
    ASSERT_EQ(vg_remote_log_open(&log, QFile::encodeName(base(QStringLiteral("x"))).constData()),
              0);
    // The block ends just before "x^", which is also a valid zlib stream header.
    const QByteArray first = recordOfSize(0, 65000);
    QByteArray message = QByteArray(536 - 22, '.') + "x^ and more";
    QByteArray second(message.size() + 24, Qt::Uninitialized);
    second.truncate(qsizetype(vg_remote_log_record(1, message.constData(), uint32_t(message.size()),
                                                   second.data(), size_t(second.size()))));
    ASSERT_EQ(vg_remote_log_append(&log, first.constData(), uint32_t(first.size())), 0);
    ASSERT_EQ(vg_remote_log_append(&log, second.constData(), uint32_t(second.size())), 0);
    vg_remote_log_close(&log);
    const QByteArray ulog = readAll(base("x") + ".ulog");
    ASSERT_TRUE(ulog.mid(5).startsWith("x^"));
    const auto read = VGLogReader::readLogAtPath(base("x") + ".ulog");
    ASSERT_TRUE(read);
    ASSERT_EQ(read->count(), 2u);
    EXPECT_EQ(read->at(1).value("Message").text(), message.toStdString());
}

TEST_F(RemoteLogTest, ALogWrittenBeforeTheFileWasMappedStillReadsUnchanged)
{
    QDir().mkpath(VGLogManager::logsFolderPath());
    const QString data = QStringLiteral(MURMELO_TELEMETRY_TEST_DIR "/data/earlier-release");
    for (const char *extension : {".ulog", ".zlog"})
        ASSERT_TRUE(QFile::copy(data + extension, base("earlier") + extension));
    const QByteArray ulog = readAll(base("earlier") + ".ulog");
    const QByteArray zlog = readAll(base("earlier") + ".zlog");
    const auto read = VGLogReader::readLogAtPath(base("earlier") + ".ulog");
    ASSERT_TRUE(read);
    ASSERT_EQ(read->count(), 1000u);
    EXPECT_EQ(read->at(999).value("Message").text(),
              "MMSMTPMessage: line 999 250-relay.example.org pleased to meet you");
    EXPECT_EQ(read->at(999).value("Time").toInt64(), 1765200999);

    EXPECT_EQ(logs().sessionIDsWithOldLogs(), QStringList{QStringLiteral("earlier")});
    EXPECT_EQ(uploaded(QStringLiteral("earlier")).size(), 1000u);
    EXPECT_EQ(readAll(base("earlier") + ".ulog"), ulog);
    EXPECT_EQ(readAll(base("earlier") + ".zlog"), zlog);
}

TEST_F(RemoteLogTest, AFullDiskIsReportedAndKeepsEveryAcceptedRecord)
{
    QDir().mkpath(VGLogManager::logsFolderPath());
    const QByteArray tooBig = QFile::encodeName(base(QStringLiteral("limited")));
    const QByteArray full = QFile::encodeName(base(QStringLiteral("full")));
    // Compressed blocks go to a full disk.
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), base("full") + ".zlog"));
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const int status = inChild([&] {
        signal(SIGXFSZ, SIG_IGN); // a file past the limit fails instead of killing
        rlimit small{16384, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &small);
        vg_remote_log log;
        vg_remote_log_init(&log);
        // No room for the log's file at all.
        if (vg_remote_log_open(&log, tooBig.constData()) != EFBIG)
            return 1;
        rlimit room{200000, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &room);
        if (vg_remote_log_open(&log, full.constData()) != 0)
            return 2;
        int results[3] = {0, 0, 0}; // appended, compression failed, refused
        for (int i = 0; i < 300 && results[2] == 0; ++i) {
            const QByteArray record = recordOfSize(i, 1000);
            const int result = vg_remote_log_append(&log, record.constData(), 1000);
            ++results[result == 0 ? 0 : result == -1 ? 1 : 2];
            if (result != 0 && result != -1 && result != EFBIG)
                return 3;
        }
        vg_remote_log_close(&log);
        return ::write(pipeFds[1], results, sizeof results) == sizeof results ? 0 : 4;
    });
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    int results[3];
    ASSERT_EQ(::read(pipeFds[0], results, sizeof results), ssize_t(sizeof results));
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    // Each crossed block failed to compress and said so; the records stayed uncompressed until
    // the file could grow no more, which was refused, not lost silently.
    EXPECT_GE(results[1], 1);
    EXPECT_EQ(results[2], 1);
    const auto read = VGLogReader::readFiles(readAll(base("full") + ".ulog"), QByteArray());
    ASSERT_TRUE(read);
    EXPECT_EQ(read->count(), size_t(results[0] + results[1]));
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
