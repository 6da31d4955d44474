#include "library/RecordingFiles.h"

#include "library/DurableFile.h"
#include "platform/StandardPaths.h"
#include "platform/SystemLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <unistd.h>

namespace murmelo::RecordingFiles {

namespace {

QString canonicalFolder(const QString &folder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(folder) : canonical;
}

QString lockPath()
{
    // Beside the recordings folder, not in it: that folder holds nothing but recordings.
    return StandardPaths::libraryDirectory() + QStringLiteral("/recordings.lock");
}

int openLock()
{
    return ::open(QFile::encodeName(lockPath()).constData(),
                  O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

} // namespace

class SaveInProgress {
public:
    SaveInProgress() : fd_(openLock())
    {
        // A lock that cannot be taken only makes other processes' sweeps less careful; the
        // save itself goes on.
        if (fd_ < 0 || ::flock(fd_, LOCK_SH) != 0)
            systemLog(
                QStringLiteral("Library: cannot mark a save in progress in %1").arg(lockPath()));
    }
    ~SaveInProgress()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    SaveInProgress(const SaveInProgress &) = delete;
    SaveInProgress &operator=(const SaveInProgress &) = delete;

private:
    int fd_;
};

bool isLibraryFile(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    if (!info.isAbsolute() || info.fileName().isEmpty() || info.fileName() == QLatin1String("..") ||
        info.fileName() == QLatin1String("."))
        return false;
    const QString folder = canonicalFolder(info.absolutePath());
    return folder == canonicalFolder(StandardPaths::applicationSupportDirectory()) ||
           folder == canonicalFolder(StandardPaths::temporaryDirectory());
}

void removeLibraryFile(const QString &path)
{
    if (path.isEmpty())
        return;
    if (!isLibraryFile(path)) {
        systemLog(QStringLiteral("Library: left %1 in place: it is outside the library's folders")
                      .arg(path));
        return;
    }
    removeFileIfPresent(path);
}

std::shared_ptr<SaveInProgress> beginSave()
{
    // One lock per process is enough; every record with an uncommitted file shares it.
    static std::mutex mutex;
    static std::weak_ptr<SaveInProgress> current;
    std::lock_guard lock(mutex);
    auto held = current.lock();
    if (!held) {
        held = std::make_shared<SaveInProgress>();
        current = held;
    }
    return held;
}

int removeOrphans(const QSet<QString> &named)
{
    const int fd = openLock();
    if (fd < 0)
        return 0;
    int removed = 0;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        const QDir folder(StandardPaths::applicationSupportDirectory());
        QSet<QString> canonicalNamed;
        for (const QString &path : named)
            canonicalNamed.insert(QFileInfo(path).canonicalFilePath());
        for (const QFileInfo &file :
             folder.entryInfoList({QStringLiteral("*.wav")}, QDir::Files | QDir::NoSymLinks)) {
            if (named.contains(file.absoluteFilePath()) ||
                canonicalNamed.contains(file.canonicalFilePath()))
                continue;
            systemLog(QStringLiteral("Library: removing %1, which no recording names")
                          .arg(file.absoluteFilePath()));
            if (QFile::remove(file.absoluteFilePath()))
                ++removed;
        }
    }
    ::close(fd);
    return removed;
}

} // namespace murmelo::RecordingFiles
