#include "platform/TemporaryFiles.h"

#include "platform/StandardPaths.h"
#include "platform/SystemLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <sys/stat.h>
#include <sys/types.h>

namespace murmelo::TemporaryFiles {

namespace {
const QChar kSeparator = QLatin1Char('|');

QString processName()
{
    const QString name = QCoreApplication::applicationName();
    if (!name.isEmpty())
        return name;
    return QFileInfo(QStringLiteral("/proc/self/exe"))
        .symLinkTarget()
        .section(QLatin1Char('/'), -1);
}
} // namespace

QString fileName(const QString &owner, const QString &unique, const QString &suffix)
{
    return owner + kSeparator + QString::number(QCoreApplication::applicationPid()) + kSeparator +
           unique + suffix;
}

QString newPath(const QString &suffix)
{
    // The name carries the process id, so that a later run can tell what a process that ended
    // without cleaning up left behind.
    return StandardPaths::temporaryDirectory() +
           fileName(processName(), QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(),
                    suffix);
}

std::optional<qint64> ownerProcess(const QString &fileName)
{
    if (fileName.startsWith(QLatin1Char('.')))
        return std::nullopt; // set aside by the library's own recovery
    const QStringList parts = fileName.split(kSeparator);
    if (parts.size() != 3 || parts[0].isEmpty() || parts[2].isEmpty())
        return std::nullopt;
    bool ok = false;
    const qint64 pid = parts[1].toLongLong(&ok);
    if (!ok || pid <= 0 || parts[1] != QString::number(pid))
        return std::nullopt;
    return pid;
}

bool processIsRunning(qint64 pid)
{
    if (pid <= 0 || pid > std::numeric_limits<pid_t>::max())
        return false;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

int removeFilesOfEndedProcesses(const QString &folder, const QSet<QString> &keep,
                                const std::function<bool(qint64)> &isRunning)
{
    const qint64 self = QCoreApplication::applicationPid();
    QDir dir(folder);
    int removed = 0;
    for (const QFileInfo &file : dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System)) {
        const std::optional<qint64> owner = ownerProcess(file.fileName());
        if (!owner || *owner == self || keep.contains(file.absoluteFilePath()) || isRunning(*owner))
            continue;
        if (QFile::remove(file.absoluteFilePath()))
            ++removed;
    }
    return removed;
}

bool isPrivateFolder(const QString &path, uid_t uid)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == uid && (info.st_mode & 07777) == 0700;
}

QString privateWorkFolder(const QString &base, uid_t uid)
{
    const QString name = QStringLiteral("murmelo-%1").arg(uid);
    const QString preferred = base + QLatin1Char('/') + name;
    const QByteArray local = QFile::encodeName(preferred);
    // mkdir's mode passes through the umask; chmod on what mkdir just made sets it exactly.
    if (::mkdir(local.constData(), 0700) == 0)
        ::chmod(local.constData(), 0700);
    if (isPrivateFolder(preferred, uid))
        return preferred;

    systemLog(
        QStringLiteral("%1 is not a private folder of this user; it is not used").arg(preferred));
    const QDir folder(base);
    for (const QString &earlier :
         folder.entryList({name + QStringLiteral(".??????")},
                          QDir::Dirs | QDir::Hidden | QDir::System, QDir::Name)) {
        if (isPrivateFolder(folder.filePath(earlier), uid))
            return folder.filePath(earlier);
    }
    QByteArray pattern = local + ".XXXXXX";
    if (::mkdtemp(pattern.data()))
        return QFile::decodeName(pattern);
    systemLog(QStringLiteral("No private work folder can be made in %1: %2")
                  .arg(base, QString::fromLocal8Bit(std::strerror(errno))));
    return {};
}

} // namespace murmelo::TemporaryFiles
