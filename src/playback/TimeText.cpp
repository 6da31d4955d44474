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

} // namespace murmelo
