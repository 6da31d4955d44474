#include "platform/PrivateFiles.h"

#include <QDir>
#include <QFileInfo>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace murmelo::PrivateFiles {

namespace {
void tighten(const QString &path, mode_t mode, bool folder)
{
    const QByteArray local = QFile::encodeName(path);
    struct stat info {};
    if (::lstat(local.constData(), &info) != 0 || info.st_uid != ::getuid() ||
        (folder ? !S_ISDIR(info.st_mode) : !S_ISREG(info.st_mode)) ||
        (info.st_mode & 07777) == mode)
        return;
    ::chmod(local.constData(), mode);
}
} // namespace

void makeFolder(const QString &path)
{
    QDir().mkpath(path);
    tighten(path, 0700, true);
}

void makeFile(const QString &path)
{
    makeFolder(QFileInfo(path).absolutePath());
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
    // Also after creating: the umask may have taken bits of 0600 away.
    tighten(path, 0600, false);
}

void tightenFile(const QString &path)
{
    tighten(path, 0600, false);
}

} // namespace murmelo::PrivateFiles
