#pragma once

#include <QString>

namespace murmelo {

// Writes one line to the system log (syslog, notice level) under the name "murmelo".
void systemLog(const QString &line);

} // namespace murmelo
