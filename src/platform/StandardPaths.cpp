#include "platform/StandardPaths.h"

#include "platform/PrivateFiles.h"
#include "platform/TemporaryFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>
#include <mutex>
#include <unistd.h>

namespace murmelo::StandardPaths {

namespace {
QString ensured(const QString &path)
{
    PrivateFiles::makeFolder(path);
    return path;
}

QString appFolder(QStandardPaths::StandardLocation base)
{
    return QStandardPaths::writableLocation(base) + QStringLiteral("/murmelo");
}
} // namespace

QString libraryDirectory()
{
    return ensured(appFolder(QStandardPaths::GenericDataLocation));
}

QString applicationSupportDirectory()
{
    return ensured(appFolder(QStandardPaths::GenericDataLocation) + QStringLiteral("/recordings"));
}

QString temporaryDirectory()
{
    // A per-user folder: /tmp is shared, and other users must neither read a recording in
    // progress nor place anything where it will be written. The choice is kept for each base
    // folder (tests move TMPDIR), and made again only if the folder went away.
    static std::mutex mutex;
    static QHash<QString, QString> chosen;
    const QString base = QDir::tempPath();
    const uid_t uid = getuid();
    std::lock_guard lock(mutex);
    QString &folder = chosen[base];
    if (folder.isEmpty() || !TemporaryFiles::isPrivateFolder(folder, uid))
        folder = TemporaryFiles::privateWorkFolder(base, uid);
    // Nothing can be created below /dev/null, so without a private folder every write fails
    // with an error instead of landing somewhere others can reach.
    return (folder.isEmpty() ? QStringLiteral("/dev/null/murmelo") : folder) + QLatin1Char('/');
}

QString cachesDirectory()
{
    return ensured(appFolder(QStandardPaths::GenericCacheLocation));
}

QString musicDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
}

QString documentsDirectory()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

} // namespace murmelo::StandardPaths
