#include "telemetry/VGHomePath.h"

#include <QDir>

namespace murmelo {

QString vgTildeHome(const QString &text, const QString &home)
{
    QString prefix = QDir::cleanPath(home);
    if (prefix.isEmpty() || prefix == QLatin1String("/") || !prefix.startsWith(QLatin1Char('/')))
        return text;
    if (text == prefix)
        return QStringLiteral("~");
    prefix += QLatin1Char('/');
    if (!text.contains(prefix))
        return text;
    QString result = text;
    return result.replace(prefix, QStringLiteral("~/"));
}

QString vgTildeHome(const QString &text)
{
    return vgTildeHome(text, QDir::homePath());
}

} // namespace murmelo
