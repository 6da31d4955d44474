#include "telemetry/events/VGEventManager.h"

#include "telemetry/VGFileCaps.h"
#include "telemetry/VGFileWrites.h"
#include "telemetry/VGSdkFolder.h"
#include "telemetry/codec/VGMessagePack.h"
#include "telemetry/device/VGApplicationInformation.h"
#include "telemetry/device/VGDeviceInfo.h"
#include "telemetry/device/VGInformationChanged.h"
#include "telemetry/log/VGLog.h"
#include "telemetry/network/VGNetworkManager.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace murmelo {

namespace {

// Lock order: liveMutex, then a manager's own mutex, then mutex.
struct ClassState {
    std::mutex mutex;
    std::mutex liveMutex; // held while the live set is walked, so no manager goes meanwhile
    std::set<VGEventManager *> live;
    bool headerUpToDate = false;
    VGEventManager::Sender sender;
    std::function<void()> afterAppend;
};

ClassState &classState()
{
    static ClassState *state = [] {
        auto *s = new ClassState;
        // Changed information makes every queue start its next file with a new header.
        vgSetInformationChangedHandler([] { VGEventManager::bustCachedNetworkStartData(); });
        return s;
    }();
    return *state;
}

int writeAll(int fd, const QByteArray &bytes)
{
    if (bytes.isNull())
        return ENOMEM; // the packer ran out of memory
    return vgWriteAll(fd, bytes.constData(), size_t(bytes.size()));
}

int patchAt(int fd, uint64_t offset, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.constData() + done, size_t(bytes.size() - done),
                                   off_t(offset + uint64_t(done)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        done += n;
    }
    return 0;
}

QString newQueueFileName()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() +
           QStringLiteral(".msgpack");
}

QDateTime startedAt(const QFileInfo &info)
{
    // A queue file is created when it is started, so its birth time is its start; file systems
    // that keep no birth time give the last change instead.
    const QDateTime birth = info.birthTime();
    return birth.isValid() ? birth : info.lastModified();
}

} // namespace

QString VGEventManager::eventFolderPath()
{
    return VGSdkFolder::path() + QStringLiteral("/VGEventManager");
}

QString VGEventManager::networkStartDataPath()
{
    return eventFolderPath() + QStringLiteral("/start network data.msgpack");
}

void VGEventManager::setSenderForTesting(Sender sender)
{
    ClassState &s = classState();
    std::lock_guard lock(s.mutex);
    s.sender = std::move(sender);
}

void VGEventManager::setAfterAppendHookForTesting(std::function<void()> hook)
{
    ClassState &s = classState();
    std::lock_guard lock(s.mutex);
    s.afterAppend = std::move(hook);
}

std::shared_ptr<VGEventManager> VGEventManager::eventManagerWithQueueKey(const QString &queueKey,
                                                                         const QUrl &url)
{
    return std::make_shared<VGEventManager>(queueKey, url);
}

VGEventManager::VGEventManager() : VGEventManager(QString(), QUrl()) {}

VGEventManager::VGEventManager(const QString &queueKey, const QUrl &url)
    : queueKey_(queueKey), queueFolderPath_(eventFolderPath() + QLatin1Char('/') + queueKey),
      url_(url)
{
    ClassState &s = classState();
    _ensureNetworkStartDataIsSetup();
    vgMakePrivateFolder(queueFolderPath_);
    collectOldQueueFiles();
    std::lock_guard lock(s.liveMutex);
    s.live.insert(this);
}

VGEventManager::~VGEventManager()
{
    {
        ClassState &s = classState();
        std::lock_guard lock(s.liveMutex);
        s.live.erase(this);
    }
    _endCurrentEventQueue();
}

void VGEventManager::collectOldQueueFiles()
{
    QFileInfoList files =
        QDir(queueFolderPath_).entryInfoList({QStringLiteral("*.msgpack")}, QDir::Files);
    std::sort(files.begin(), files.end(), [](const QFileInfo &a, const QFileInfo &b) {
        const QDateTime ta = startedAt(a), tb = startedAt(b);
        return ta != tb ? ta > tb : a.fileName() > b.fileName();
    });
    for (const QFileInfo &file : files)
        oldQueuePaths_.append(file.absoluteFilePath());
}

bool VGEventManager::_ensureNetworkStartDataIsSetup()
{
    ClassState &s = classState();
    std::lock_guard lock(s.mutex);
    if (s.headerUpToDate)
        return true;
    vgMakePrivateFolder(eventFolderPath());
    QByteArray header = VGMessagePack::packMapHeaderOnly(4);
    header += VGMessagePack::pack("bundle_info");
    header += VGMessagePack::pack(VGApplicationInformation::bundleInformation());
    header += VGMessagePack::pack("device_info");
    header += VGMessagePack::pack(VGDeviceInfo::deviceInformation());
    header += VGMessagePack::pack("sdk_version");
    header += VGMessagePack::pack(kSdkVersion);
    if (!vgWriteFileAtomically(networkStartDataPath(), header))
        return false;
    s.headerUpToDate = true;
    return true;
}

void VGEventManager::flush()
{
    ClassState &s = classState();
    std::lock_guard lock(s.liveMutex);
    for (VGEventManager *manager : s.live)
        manager->_flush();
}

void VGEventManager::bustCachedNetworkStartData()
{
    ClassState &s = classState();
    {
        std::lock_guard lock(s.mutex);
        s.headerUpToDate = false;
    }
    std::lock_guard lock(s.liveMutex);
    for (VGEventManager *manager : s.live)
        manager->_endCurrentEventQueue();
}

QUrl VGEventManager::url() const
{
    std::lock_guard lock(mutex_);
    return url_;
}

void VGEventManager::setUrl(const QUrl &url)
{
    std::lock_guard lock(mutex_);
    url_ = url;
}

QStringList VGEventManager::queuePaths() const
{
    std::lock_guard lock(mutex_);
    return queuePaths_;
}

QStringList VGEventManager::queuePathsHighPriority() const
{
    std::lock_guard lock(mutex_);
    return queuePathsHighPriority_;
}

QStringList VGEventManager::oldQueuePaths() const
{
    std::lock_guard lock(mutex_);
    return oldQueuePaths_;
}

QString VGEventManager::queuePath() const
{
    std::lock_guard lock(mutex_);
    return queue_ >= 0 ? queuePath_ : QString();
}

void VGEventManager::reportFailure(const char *what, int error)
{
    if (reportedFailure_)
        return;
    reportedFailure_ = true;
    vg_log(QStringLiteral("Vigil: Unable to %1 the event queue file %2: %3 (errno %4)")
               .arg(QLatin1String(what), queuePath_, QString::fromLocal8Bit(strerror(error)))
               .arg(error));
}

void VGEventManager::_endCurrentEventQueue()
{
    std::lock_guard lock(mutex_);
    if (queue_ >= 0) {
        ::close(queue_);
        queue_ = -1;
    }
}

bool VGEventManager::_createNewQueueAtPath(const QString &path, uint32_t itemCount)
{
    _endCurrentEventQueue();
    if (!_ensureNetworkStartDataIsSetup()) {
        reportFailure("write the header of", errno ? errno : EIO);
        return false;
    }
    QFile::remove(path);
    if (!QFile::copy(networkStartDataPath(), path)) {
        reportFailure("start", errno ? errno : EIO);
        QFile::remove(path);
        return false;
    }
    queuePath_ = path;
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        reportFailure("open", errno);
        return false;
    }
    const off_t end = ::lseek(fd, 0, SEEK_END);
    int error = end < 0 ? errno : writeAll(fd, VGMessagePack::pack(queueKey_));
    const off_t countOffset = ::lseek(fd, 0, SEEK_CUR);
    if (!error && countOffset < 0)
        error = errno;
    if (!error)
        error = writeAll(fd, VGMessagePack::packArrayHeaderOnly(itemCount));
    if (!error && ::fdatasync(fd) != 0)
        error = errno;
    if (error) {
        ::close(fd);
        QFile::remove(path);
        reportFailure("start", error);
        return false;
    }
    queueCount_ = itemCount;
    queueCountOffset_ = uint64_t(countOffset);
    queue_ = fd;
    return true;
}

bool VGEventManager::_ensureEventQueueIsSetup()
{
    if (queue_ >= 0)
        return true;
    const QString path = queueFolderPath_ + QLatin1Char('/') + newQueueFileName();
    if (!_createNewQueueAtPath(path, 0))
        return false;
    queuePaths_.append(path);
    return true;
}

bool VGEventManager::enqueueObject(const VGValue &event)
{
    return enqueueObject(event, false);
}

bool VGEventManager::enqueueObject(const VGValue &event, bool sendImmediately)
{
    std::unique_lock lock(mutex_);
    if (!_ensureEventQueueIsSetup())
        return false;
    const off_t before = ::lseek(queue_, 0, SEEK_END);
    int error = before < 0 ? errno : writeAll(queue_, VGMessagePack::pack(event));
    if (!error) {
        std::function<void()> hook;
        {
            ClassState &s = classState();
            std::lock_guard classLock(s.mutex);
            hook = s.afterAppend;
        }
        if (hook)
            hook();
        error =
            patchAt(queue_, queueCountOffset_, VGMessagePack::packArrayHeaderOnly(queueCount_ + 1));
    }
    if (!error && ::fdatasync(queue_) != 0)
        error = errno;
    if (error) {
        // Cut off what part of the event got written and keep the count it had, so that the
        // file still holds exactly the events counted in it and later ones follow them.
        if (before >= 0 && ::ftruncate(queue_, before) == 0)
            patchAt(queue_, queueCountOffset_, VGMessagePack::packArrayHeaderOnly(queueCount_));
        reportFailure("append to", error);
        return false;
    }
    ++queueCount_;
    struct stat info {};
    if (::fstat(queue_, &info) == 0 && info.st_size > kMaximumQueueFileSize)
        _endCurrentEventQueue(); // the next event starts a new file
    if (sendImmediately) {
        queuePaths_.removeAll(queuePath_);
        if (!queuePathsHighPriority_.contains(queuePath_))
            queuePathsHighPriority_.append(queuePath_);
        _flush();
    }
    return true;
}

bool VGEventManager::enqueueDictionary(const VGValue &dictionary, const VGValue &extraKey,
                                       const ObjectDataWriter &writer)
{
    std::lock_guard lock(mutex_);
    const QString temp = queueFolderPath_ + QStringLiteral("/temp");
    if (!_createNewQueueAtPath(temp, 1))
        return false;
    QByteArray head = VGMessagePack::packMapHeaderOnly(uint32_t(dictionary.count() + 1));
    for (size_t i = 0; i + 1 < dictionary.items().size(); i += 2) {
        head += VGMessagePack::pack(dictionary.items()[i]);
        head += VGMessagePack::pack(dictionary.items()[i + 1]);
    }
    head += VGMessagePack::pack(extraKey);
    bool ok = writeAll(queue_, head) == 0 && writer && writer(queue_) && ::fdatasync(queue_) == 0;
    _endCurrentEventQueue();
    const QString path = queueFolderPath_ + QLatin1Char('/') + newQueueFileName();
    ok = ok &&
         ::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData()) == 0;
    if (!ok) {
        QFile::remove(temp);
        return false;
    }
    queuePaths_.append(path);
    return true;
}

void VGEventManager::_flush()
{
    QStringList high, normal, old;
    QUrl url;
    {
        std::lock_guard lock(mutex_);
        _endCurrentEventQueue();
        if (url_.isEmpty())
            return; // kept for a flush that has somewhere to send them
        url = url_;
        high = std::exchange(queuePathsHighPriority_, {});
        normal = std::exchange(queuePaths_, {});
        old = std::exchange(oldQueuePaths_, {});
    }
    Sender sender;
    {
        ClassState &s = classState();
        std::lock_guard lock(s.mutex);
        sender = s.sender;
    }
    if (!sender) {
        sender = [](const QString &path, const QUrl &to, int priority) {
            VGNetworkManager::sharedManager().sendFile(path, to, priority);
        };
    }
    // A file over the upload cap or one that does not decode (damaged, or not ours) is set
    // aside instead of being posted.
    const auto send = [&](const QStringList &paths, int priority) {
        for (const QString &path : paths) {
            if (VGFileCaps::checkUpload(path))
                sender(path, url, priority);
        }
    };
    send(high, VGURLConnectionOperation::High);
    send(normal, VGURLConnectionOperation::Normal);
    send(old, VGURLConnectionOperation::Low);
}

} // namespace murmelo
