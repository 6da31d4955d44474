#include "library/DurableFile.h"

#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace murmelo {

namespace {
QString describe(const char *step, const QString &path)
{
    return QStringLiteral("%1 %2: %3")
        .arg(QLatin1String(step), path, QString::fromLocal8Bit(std::strerror(errno)));
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    bool closeChecked()
    {
        const int fd = std::exchange(fd_, -1);
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool writeAll(int fd, const char *data, ssize_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

bool copyAndSync(const QByteArray &from, const QByteArray &to, QString *error)
{
    Fd in(::open(from.constData(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) {
        *error = describe("cannot read", QString::fromLocal8Bit(from));
        return false;
    }
    Fd out(::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (out.get() < 0) {
        *error = describe("cannot create", QString::fromLocal8Bit(to));
        return false;
    }
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *error = describe("cannot read", QString::fromLocal8Bit(from));
            return false;
        }
        if (n == 0)
            break;
        if (!writeAll(out.get(), buffer, n)) {
            *error = describe("cannot write", QString::fromLocal8Bit(to));
            return false;
        }
    }
    if (::fsync(out.get()) != 0 || !out.closeChecked()) {
        *error = describe("cannot sync", QString::fromLocal8Bit(to));
        return false;
    }
    return true;
}
} // namespace

bool moveFileDurably(const QString &from, const QString &to, QString *error)
{
    const QFileInfo target(to);
    const QByteArray folder = QFile::encodeName(target.absolutePath());
    const QByteArray staging = folder + '/' + '.' + QFile::encodeName(target.fileName()) + ".part";
    const QByteArray destination = QFile::encodeName(to);
    if (!copyAndSync(QFile::encodeName(from), staging, error)) {
        ::unlink(staging.constData());
        return false;
    }
    if (::rename(staging.constData(), destination.constData()) != 0) {
        *error = describe("cannot rename into", to);
        ::unlink(staging.constData());
        return false;
    }
    // The rename is durable only once the folder's entry is on disk.
    Fd dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
    ::unlink(QFile::encodeName(from).constData());
    return true;
}

void removeFileIfPresent(const QString &path)
{
    if (!path.isEmpty())
        ::unlink(QFile::encodeName(path).constData());
}

} // namespace murmelo
