#pragma once

#include <QString>
#include <cstdarg>

namespace murmelo {

// The telemetry's logging entry, used by the whole component and by the application's own
// diagnostics: the message is recorded in the current session's log and echoed to the system log
// (and to standard error under a debugger). Waits until the message is recorded.
void vg_log(const QString &message);
// printf-style formats (QString::asprintf rules: %s takes UTF-8 text).
void vg_log_format(const char *format, ...) Q_ATTRIBUTE_FORMAT_PRINTF(1, 2);
void vg_log_format_va(const char *format, va_list arguments);

} // namespace murmelo
