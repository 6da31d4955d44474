#include "platform/TemporaryFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <csignal>
#include <limits>
#include <sys/types.h>

namespace murmelo::TemporaryFiles {

namespace {
const QChar kSeparator = QLatin1Char('|');
}

QString fileName(const QString &owner, const QString &unique, const QString &suffix)
{
    return owner + kSeparator + QString::number(QCoreApplication::applicationPid()) + kSeparator +
           unique + suffix;
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

} // namespace murmelo::TemporaryFiles
