#include "platform/SystemLog.h"

#include <syslog.h>

namespace murmelo {

void systemLog(const QString &line)
{
    static const bool opened = [] {
        openlog("murmelo", LOG_PID, LOG_USER);
        return true;
    }();
    (void)opened;
    syslog(LOG_NOTICE, "%s", line.toUtf8().constData());
}

} // namespace murmelo
