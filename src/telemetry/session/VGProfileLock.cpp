#include "telemetry/session/VGProfileLock.h"

#include "telemetry/VGFileWrites.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <unistd.h>

namespace murmelo::VGProfileLock {

namespace {
std::mutex g_mutex;
int g_fd = -1;
} // namespace

bool acquire(const QString &sdkFolder)
{
    std::lock_guard lock(g_mutex);
    if (g_fd >= 0)
        return true;
    const QByteArray path =
        QFile::encodeName(sdkFolder + QLatin1Char('/') + QLatin1String(kFileName));
    const int fd =
        ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, kVGPrivateFileMode);
    if (fd < 0)
        return false;
    int result;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        ::close(fd);
        return false;
    }
    g_fd = fd;
    return true;
}

void releaseForTesting()
{
    std::lock_guard lock(g_mutex);
    if (g_fd >= 0)
        ::close(g_fd);
    g_fd = -1;
}

} // namespace murmelo::VGProfileLock
