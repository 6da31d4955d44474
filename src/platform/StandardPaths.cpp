#include "platform/StandardPaths.h"

#include <QDir>
#include <QStandardPaths>
#include <unistd.h>

namespace murmelo::StandardPaths {

namespace {
QString ensured(const QString &path)
{
    QDir().mkpath(path);
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
    // A per-user folder: /tmp is shared, and other users must not read a recording in progress.
    const QString path = QDir::tempPath() + QStringLiteral("/murmelo-%1").arg(getuid());
    if (!QDir(path).exists()) {
        QDir().mkpath(path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    return path + QLatin1Char('/');
}

QString cachesDirectory()
{
    return ensured(appFolder(QStandardPaths::GenericCacheLocation));
}

QString musicDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
}

} // namespace murmelo::StandardPaths
