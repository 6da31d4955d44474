#include "telemetry/VGSdkFolder.h"

#include "platform/StandardPaths.h"
#include "telemetry/VGFileWrites.h"

#include <QDir>
#include <mutex>

namespace murmelo::VGSdkFolder {

namespace {
std::mutex g_mutex;
QString g_override;
} // namespace

QString location()
{
    QString folder;
    {
        std::lock_guard lock(g_mutex);
        folder = g_override;
    }
    if (folder.isEmpty())
        folder = StandardPaths::cachesDirectory() + QStringLiteral("/org.murmelo.vigil");
    return folder;
}

QString path()
{
    const QString folder = location();
    vgMakePrivateFolder(folder);
    return folder;
}

void setPathForTesting(const QString &path)
{
    std::lock_guard lock(g_mutex);
    g_override = path;
}

} // namespace murmelo::VGSdkFolder
