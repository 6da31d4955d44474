#include "telemetry/log/VGLogManager.h"

#include "platform/SerialQueue.h"
#include "platform/SystemLog.h"
#include "telemetry/VGFileWrites.h"
#include "telemetry/VGHomePath.h"
#include "telemetry/VGSdkFolder.h"
#include "telemetry/codec/VGMessagePack.h"
#include "telemetry/log/VGLogReader.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

namespace murmelo {

namespace {

thread_local bool t_onLogQueue = false;

struct OnLogQueue {
    OnLogQueue() { t_onLogQueue = true; }
    ~OnLogQueue() { t_onLogQueue = false; }
};

// Copies a whole file to the descriptor; returns bytes copied or -1.
qint64 copyFile(const QString &path, int to)
{
    const int from = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (from < 0)
        return errno == ENOENT ? 0 : -1;
    char buffer[65536];
    qint64 total = 0;
    for (;;) {
        const ssize_t n = ::read(from, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || (n > 0 && vgWriteAll(to, buffer, size_t(n)) != 0)) {
            ::close(from);
            return -1;
        }
        if (n == 0)
            break;
        total += n;
    }
    ::close(from);
    return total;
}

qint64 fileSize(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? qint64(info.st_size) : 0;
}

// Cuts a log left by an earlier process back to its whole records (see VGLogReader::repair).
// Logs that go out as the 16MB notice, or not at all in a hurry, are left as they are.
void repairLog(const QString &base, bool inAHurry)
{
    const QString zlogPath = base + QStringLiteral(".zlog");
    const qint64 zlogSize = fileSize(zlogPath);
    const qint64 ulogSize = fileSize(base + QStringLiteral(".ulog"));
    // Measured before anything is read: an oversized (or sparse) log is never loaded.
    if (zlogSize > VGLogManager::kMaximumLogSize || ulogSize > VGLogManager::kMaximumLogSize ||
        (inAHurry && zlogSize > VGLogManager::kHurryLimit))
        return;
    QFile ulog(base + QStringLiteral(".ulog"));
    if (!ulog.open(QIODevice::ReadWrite))
        return;
    const QByteArray ulogBytes = ulog.readAll();
    QByteArray zlogBytes;
    QFile zlog(zlogPath);
    if (zlog.open(QIODevice::ReadOnly))
        zlogBytes = zlog.readAll();
    zlog.close();
    const auto repair = VGLogReader::repair(ulogBytes, zlogBytes);
    if (!repair || repair->changesNothing(ulogBytes, zlogBytes))
        return;
    if (repair->zlogKeep < zlogBytes.size() || !repair->zlogAppend.isEmpty()) {
        if (!zlog.open(QIODevice::ReadWrite) || !zlog.resize(repair->zlogKeep) ||
            !zlog.seek(repair->zlogKeep) ||
            zlog.write(repair->zlogAppend) != repair->zlogAppend.size())
            return;
    }
    char header[5];
    VGMessagePack::writeHeader(0xdd, repair->count, header);
    if (ulog.seek(0) && ulog.write(header, 5) == 5)
        ulog.resize(5 + repair->tailSize);
}

} // namespace

struct VGLogManager::Message {
    QByteArray text;
    QDateTime date;
    long thread;
};

VGLogManager &VGLogManager::sharedManager()
{
    static VGLogManager *manager = new VGLogManager; // lives for the process
    return *manager;
}

VGLogManager::VGLogManager()
    : queue_(std::make_unique<SerialQueue>("org.murmelo.Vigil.VGLogManager"))
{
    vg_remote_log_init(&remote_log);
}

void VGLogManager::sync(const std::function<void()> &work)
{
    if (t_onLogQueue) {
        work();
        return;
    }
    std::promise<void> done;
    queue_->async([&] {
        {
            OnLogQueue on;
            work();
        }
        done.set_value();
    });
    done.get_future().wait();
}

void VGLogManager::async(std::function<void()> work)
{
    queue_->async([work = std::move(work)] {
        OnLogQueue on;
        work();
    });
}

void VGLogManager::waitUntilIdle()
{
    sync([] {});
}

QString VGLogManager::logsFolderPath()
{
    return VGSdkFolder::path() + QStringLiteral("/logs");
}

QString VGLogManager::_pathForSessionID(const QString &sessionID) const
{
    return logsFolderPath() + QLatin1Char('/') + sessionID;
}

// The log is sent: the user's home folder appears in it as "~".
void VGLogManager::log(const QString &message)
{
    Message m{vgTildeHome(message).toUtf8(), QDateTime::currentDateTime(),
              long(::syscall(SYS_gettid))};
    sync([this, &m] { record(m); });
}

void VGLogManager::logAsync(const QString &message)
{
    Message m{vgTildeHome(message).toUtf8(), QDateTime::currentDateTime(),
              long(::syscall(SYS_gettid))};
    async([this, m] { record(m); });
}

int VGLogManager::appendRecord(vg_remote_log *log, const QByteArray &text, qint64 time)
{
    char onStack[1024];
    QByteArray onHeap;
    const size_t capacity = size_t(text.size()) + kVGRemoteLogRecordOverhead;
    char *buffer = onStack;
    if (capacity > sizeof onStack) {
        onHeap.resize(qsizetype(capacity));
        buffer = onHeap.data();
    }
    const size_t n = vg_remote_log_record(int32_t(time), text.constData(), uint32_t(text.size()),
                                          buffer, capacity);
    return vg_remote_log_append(log, buffer, uint32_t(n));
}

void VGLogManager::record(const Message &message)
{
    if (remote_log.uncompressed_file >= 0) {
        const int result = appendRecord(&remote_log, message.text, message.date.toSecsSinceEpoch());
        if (result != 0 && !remoteFailureReported_) {
            remoteFailureReported_ = true;
            logAsync(QStringLiteral("**** Vigil: Remote Logging Failed with errno %1").arg(result));
        }
    } else if (logsRecordedPostPreparePreSetSessionID_) {
        logsRecordedPostPreparePreSetSessionID_->append(QString::fromUtf8(message.text));
    }
    // syslog reports no failures, so there is none to tell of.
    if (logToConsole_)
        systemLog(QString::fromUtf8(message.text));
    if (logToSTDERR_ && beingDebugged())
        echoToStandardError(message);
}

bool VGLogManager::beingDebugged() const
{
    if (debuggerProbe_)
        return *debuggerProbe_;
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    while (!status.atEnd()) {
        const QByteArray line = status.readLine();
        if (line.startsWith("TracerPid:"))
            return line.mid(10).trimmed().toLongLong() != 0;
    }
    return false;
}

void VGLogManager::echoToStandardError(const Message &message)
{
    const QByteArray date =
        message.date.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss:zzz")).toUtf8();
    const QByteArray name =
        QFileInfo(QFile::decodeName(QFile::encodeName(QCoreApplication::applicationFilePath())))
            .fileName()
            .toUtf8();
    const QByteArray ids = QByteArray("[") + QByteArray::number(qint64(getpid())) + ':' +
                           QByteArray::number(qint64(message.thread)) + "] ";
    iovec parts[] = {{const_cast<char *>(date.constData()), size_t(date.size())},
                     {const_cast<char *>(" "), 1},
                     {const_cast<char *>(name.constData()), size_t(name.size())},
                     {const_cast<char *>(ids.constData()), size_t(ids.size())},
                     {const_cast<char *>(message.text.constData()), size_t(message.text.size())},
                     {const_cast<char *>("\n"), 1}};
    if (::writev(STDERR_FILENO, parts, 6) < 0 && !stderrFailureReported_) {
        stderrFailureReported_ = true;
        logAsync(QStringLiteral("**** Vigil: STDERR Logging Failed with errno %1").arg(errno));
    }
}

void VGLogManager::prepareToStartSession()
{
    sync([this] { logsRecordedPostPreparePreSetSessionID_ = QStringList(); });
}

void VGLogManager::setCurrentSessionID(const QString &sessionID)
{
    sync([this, sessionID] {
        if (sessionID == sessionID_ && remote_log.uncompressed_file >= 0)
            return;
        openLog(sessionID);
    });
}

void VGLogManager::openLog(const QString &sessionID)
{
    vg_remote_log_close(&remote_log);
    sessionID_ = sessionID;
    if (sessionID.isEmpty())
        return;
    if (!newSessionIDs_.contains(sessionID))
        newSessionIDs_.append(sessionID);
    ::mkdir(QFile::encodeName(VGSdkFolder::path()).constData(), kVGPrivateFolderMode);
    ::mkdir(QFile::encodeName(logsFolderPath()).constData(), kVGPrivateFolderMode);
    const int error = vg_remote_log_open(
        &remote_log, QFile::encodeName(_pathForSessionID(sessionID)).constData());
    if (error != 0 && !remoteFailureReported_) {
        remoteFailureReported_ = true;
        logAsync(QStringLiteral("**** Vigil: Remote Logging Failed with errno %1").arg(error));
    }
    // Held messages are stamped with the time the log opened.
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    if (logsRecordedPostPreparePreSetSessionID_ && remote_log.uncompressed_file >= 0) {
        for (const QString &held : *logsRecordedPostPreparePreSetSessionID_)
            appendRecord(&remote_log, held.toUtf8(), now);
    }
    logsRecordedPostPreparePreSetSessionID_.reset();
}

void VGLogManager::setLogToConsole(bool enabled)
{
    sync([this, enabled] { logToConsole_ = enabled; });
}

void VGLogManager::setLogToSTDERR(bool enabled)
{
    sync([this, enabled] { logToSTDERR_ = enabled; });
}

void VGLogManager::setDebuggerProbeForTesting(std::optional<bool> attached)
{
    sync([this, attached] { debuggerProbe_ = attached; });
}

bool VGLogManager::writeLogFor(const QString &sessionID, int fd, bool inAHurry,
                               qint64 *bytesWritten)
{
    bool ok = false;
    qint64 written = -1;
    sync([&] {
        const QString base = _pathForSessionID(sessionID);
        const QString ulog = base + QStringLiteral(".ulog");
        const QString zlog = base + QStringLiteral(".zlog");
        const bool current = sessionID == sessionID_ && remote_log.uncompressed_file >= 0;
        if (!current)
            repairLog(base, inAHurry);
        // The open log's records end before its file does.
        auto ulogSize = [&] { return current ? qint64(remote_log.end_offset) : fileSize(ulog); };
        qint64 total = ulogSize() + fileSize(zlog);
        if (total > kMaximumLogSize) {
            QFile::remove(ulog);
            QFile::remove(zlog);
            const QByteArray notice =
                "Vigil: Your log file was larger than 16MB. Vigil does not support sending log "
                "files of this size.";
            vg_remote_log fresh;
            vg_remote_log_init(&fresh);
            vg_remote_log *target = current ? &remote_log : &fresh;
            if (vg_remote_log_open(target, QFile::encodeName(base).constData()) == 0)
                appendRecord(target, notice, QDateTime::currentSecsSinceEpoch());
            vg_remote_log_close(&fresh);
            total = ulogSize();
        } else if (inAHurry && total > kHurryLimit) {
            return;
        }
        QByteArray closedLog;
        if (!current) {
            QFile file(ulog);
            if (!file.open(QIODevice::ReadOnly))
                return;
            closedLog = file.readAll();
        }
        const char *head =
            current ? reinterpret_cast<const char *>(remote_log.mapping) : closedLog.constData();
        const qint64 tailBytes = current ? qint64(remote_log.end_offset) - 5 : closedLog.size() - 5;
        if (tailBytes < 0 || std::memcmp(head, "sent\0", 5) == 0)
            return;
        const off_t start = ::lseek(fd, 0, SEEK_CUR);
        char rawHeader[5];
        VGMessagePack::writeHeader(0xdb, 0, rawHeader);
        bool good = start >= 0 && vgWriteAll(fd, rawHeader, 5) == 0 && vgWriteAll(fd, head, 5) == 0;
        const qint64 zlogBytes = good ? copyFile(zlog, fd) : -1;
        good = good && zlogBytes >= 0 && vgWriteAll(fd, head + 5, size_t(tailBytes)) == 0;
        const qint64 length = 5 + zlogBytes + tailBytes;
        if (good && length <= qint64(UINT32_MAX)) {
            VGMessagePack::writeHeader(0xdb, uint32_t(length), rawHeader);
            good = ::pwrite(fd, rawHeader, 5, start) == 5 && ::lseek(fd, 0, SEEK_END) >= 0;
        } else {
            good = false;
        }
        ok = good;
        written = good ? length + 5 : -1;
    });
    if (bytesWritten)
        *bytesWritten = written;
    return ok;
}

QStringList VGLogManager::sessionIDsWithOldLogs()
{
    QStringList ids;
    sync([&] {
        const QDir logs(logsFolderPath());
        for (const QFileInfo &file :
             logs.entryInfoList({QStringLiteral("*.ulog")}, QDir::Files, QDir::Name)) {
            QFile ulog(file.absoluteFilePath());
            const bool sent =
                ulog.open(QIODevice::ReadOnly) && ulog.read(5) == QByteArray("sent\0", 5);
            const QString id = file.completeBaseName();
            if (sent)
                internalDeleteLogFor(id);
            else
                ids.append(id);
        }
        for (const QString &id : newSessionIDs_)
            ids.removeAll(id);
    });
    return ids;
}

void VGLogManager::deleteLogFor(const QString &sessionID)
{
    async([this, sessionID] { internalDeleteLogFor(sessionID); });
}

void VGLogManager::internalDeleteLogFor(const QString &sessionID)
{
    if (sessionID.isEmpty())
        return;
    const QString base = _pathForSessionID(sessionID);
    QFile::remove(base + QStringLiteral(".ulog"));
    QFile::remove(base + QStringLiteral(".zlog"));
}

void VGLogManager::resetForTesting()
{
    sync([this] {
        vg_remote_log_close(&remote_log);
        sessionID_.clear();
        newSessionIDs_.clear();
        logsRecordedPostPreparePreSetSessionID_.reset();
        remoteFailureReported_ = false;
        stderrFailureReported_ = false;
        logToConsole_ = true;
        logToSTDERR_ = true;
    });
}

} // namespace murmelo
