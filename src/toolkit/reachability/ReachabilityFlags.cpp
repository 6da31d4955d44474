#include "toolkit/reachability/ReachabilityFlags.h"

namespace murmelo {

using namespace ReachabilityFlag;

NetworkStatus statusForFlags(quint32 flags)
{
    if (!(flags & Reachable))
        return NotReachable;
    if (flags & IsWWAN)
        return ReachableViaWWAN;
    if (!(flags & ConnectionRequired))
        return ReachableViaWiFi;
    const bool onDemandOrTraffic = flags & (ConnectionOnDemand | ConnectionOnTraffic);
    if (onDemandOrTraffic && !(flags & InterventionRequired))
        return ReachableViaWiFi;
    return NotReachable;
}

NetworkStatus localStatusForFlags(quint32 flags)
{
    const quint32 both = Reachable | IsDirect;
    return (flags & both) == both ? ReachableViaWiFi : NotReachable;
}

QString reachabilityTraceLine(quint32 flags, const char *comment)
{
    const auto letter = [flags](quint32 bit, char c) { return QChar(flags & bit ? c : '-'); };
    QString line = QStringLiteral("Reachability Flag Status: ");
    line += letter(IsWWAN, 'W');
    line += letter(Reachable, 'R');
    line += QLatin1Char(' ');
    line += letter(TransientConnection, 't');
    line += letter(ConnectionRequired, 'c');
    line += letter(ConnectionOnTraffic, 'C');
    line += letter(InterventionRequired, 'i');
    line += letter(ConnectionOnDemand, 'D');
    line += letter(IsLocalAddress, 'l');
    line += letter(IsDirect, 'd');
    line += QLatin1Char(' ');
    line += QLatin1String(comment);
    line += QLatin1Char('\n');
    return line;
}

} // namespace murmelo
