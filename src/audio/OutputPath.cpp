#include "audio/OutputPath.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace murmelo {

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

std::mutex unfinishedMutex;
QSet<QByteArray> &unfinished()
{
    static QSet<QByteArray> files;
    return files;
}

} // namespace

bool wouldOverwrite(const QString &input, const QString &output)
{
    struct stat in {};
    struct stat out {};
    return ::stat(QFile::encodeName(input).constData(), &in) == 0 &&
           ::stat(QFile::encodeName(output).constData(), &out) == 0 && in.st_dev == out.st_dev &&
           in.st_ino == out.st_ino;
}

QString inputProblem(const QString &path)
{
    struct stat info {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0)
        return QStringLiteral("“%1” does not exist").arg(path);
    if (S_ISDIR(info.st_mode))
        return QStringLiteral("“%1” is a folder, not an audio file").arg(path);
    if (!S_ISREG(info.st_mode))
        return QStringLiteral("“%1” is not a regular file").arg(path);
    return {};
}

bool openRegularFile(QFile &file, const QString &path, QString &error)
{
    // O_NONBLOCK: a FIFO swapped in after a check must not hang the open either.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = QStringLiteral("“%1” cannot be opened: %2").arg(path, systemError());
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        error = inputProblem(path);
        if (error.isEmpty())
            error = QStringLiteral("“%1” is not a regular file").arg(path);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        error = file.errorString();
        return false;
    }
    return true;
}

OutputFile::OutputFile(const QString &destination) : destination_(destination) {}

OutputFile::~OutputFile()
{
    discard();
}

bool OutputFile::create(QString &error)
{
    discard();
    const QFileInfo info(destination_);
    if (destination_.isEmpty() || info.fileName().isEmpty()) {
        error = QStringLiteral("“%1” is not a file name").arg(destination_);
        return false;
    }
    if (info.isDir()) {
        error = QStringLiteral("“%1” is a folder").arg(destination_);
        return false;
    }
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString candidate =
            info.absolutePath() + QStringLiteral("/.") + info.fileName() +
            QStringLiteral(".%1.part")
                .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        const QByteArray local = QFile::encodeName(candidate);
        const int fd =
            ::open(local.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            std::lock_guard lock(unfinishedMutex);
            unfinished().insert(local);
            temporary_ = candidate;
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    error = QStringLiteral("“%1” cannot be written: %2").arg(destination_, systemError());
    return false;
}

bool OutputFile::commit(QString &error)
{
    const QByteArray from = QFile::encodeName(temporary_);
    if (temporary_.isEmpty() ||
        ::rename(from.constData(), QFile::encodeName(destination_).constData()) != 0) {
        error = QStringLiteral("“%1” cannot be written: %2").arg(destination_, systemError());
        discard();
        return false;
    }
    std::lock_guard lock(unfinishedMutex);
    unfinished().remove(from);
    temporary_.clear();
    return true;
}

void OutputFile::discard()
{
    if (temporary_.isEmpty())
        return;
    const QByteArray local = QFile::encodeName(temporary_);
    ::unlink(local.constData());
    std::lock_guard lock(unfinishedMutex);
    unfinished().remove(local);
    temporary_.clear();
}

void OutputFile::removeUnfinished()
{
    std::lock_guard lock(unfinishedMutex);
    for (const QByteArray &file : std::as_const(unfinished()))
        ::unlink(file.constData());
    unfinished().clear();
}

bool createExclusively(const QString &path, QString &error)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = errno == EEXIST
                    ? QStringLiteral("“%1” is already there; nothing was replaced").arg(path)
                    : QStringLiteral("“%1” cannot be written: %2").arg(path, systemError());
        return false;
    }
    ::close(fd);
    return true;
}

} // namespace murmelo
