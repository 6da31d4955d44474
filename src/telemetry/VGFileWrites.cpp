#include "telemetry/VGFileWrites.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace murmelo {

int vgWriteAll(int fd, const void *bytes, size_t size)
{
    const char *at = static_cast<const char *>(bytes);
    while (size > 0) {
        const ssize_t n = ::write(fd, at, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EIO;
        at += n;
        size -= size_t(n);
    }
    return 0;
}

namespace {
void tighten(const QString &path, unsigned mode)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (::lstat(name.constData(), &info) != 0 || S_ISLNK(info.st_mode))
        return;
    if ((info.st_mode & 07777) != mode)
        ::chmod(name.constData(), mode);
}
} // namespace

bool vgMakePrivateFolder(const QString &path)
{
    if (!QDir().mkpath(path))
        return false;
    tighten(path, kVGPrivateFolderMode);
    return true;
}

bool vgWriteFileAtomically(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return false;
    // On the new file before it takes the name, so that it is never readable by others.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return file.commit();
}

void vgTightenTree(const QString &root)
{
    tighten(root, kVGPrivateFolderMode);
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isSymLink())
            continue;
        tighten(path, info.isDir() ? kVGPrivateFolderMode : kVGPrivateFileMode);
    }
}

} // namespace murmelo
