#include "library/Recording.h"

#include "platform/StandardPaths.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace murmelo {

namespace {
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

QString Recording::audioPath()
{
    return StandardPaths::applicationSupportDirectory() + QLatin1Char('/') + stringWithUUID() +
           QStringLiteral(".wav");
}

QString Recording::tempAudioPath()
{
    return StandardPaths::temporaryDirectory() +
           QStringLiteral("%1|%2").arg(processName(), stringWithUUID()) + QStringLiteral(".wav");
}

} // namespace murmelo
