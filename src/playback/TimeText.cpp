#include "playback/TimeText.h"

#include <cmath>

namespace murmelo {

QString timeText(double seconds)
{
    if (!(seconds > 0) || !std::isfinite(seconds))
        return QStringLiteral("0:00");
    const auto whole = qint64(std::trunc(seconds));
    return QString::asprintf("%lld:%02lld", whole / 60, whole % 60);
}

QString preciseTimeText(double seconds)
{
    if (!(seconds > 0) || !std::isfinite(seconds))
        seconds = 0;
    const auto tenths = qint64(std::floor(seconds * 10 + 1e-6));
    return QStringLiteral("%1:%2.%3")
        .arg(tenths / 600)
        .arg((tenths / 10) % 60, 2, 10, QLatin1Char('0'))
        .arg(tenths % 10);
}

} // namespace murmelo
