#include "telemetry/log/VGLog.h"

#include "telemetry/log/VGLogManager.h"

namespace murmelo {

void vg_log(const QString &message)
{
    VGLogManager::sharedManager().log(message);
}

void vg_log_format(const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    vg_log_format_va(format, arguments);
    va_end(arguments);
}

void vg_log_format_va(const char *format, va_list arguments)
{
    vg_log(QString::vasprintf(format, arguments));
}

} // namespace murmelo
