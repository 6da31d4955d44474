#include "mail/smtp/MMSMTPLog.h"

#include "platform/SystemLog.h"

#include <QMutex>

namespace murmelo {

namespace {
QMutex logMutex;
MMSMTPLogFunction &logFunction()
{
    static MMSMTPLogFunction function = systemLog;
    return function;
}
} // namespace

void setMMSMTPLogFunction(MMSMTPLogFunction function)
{
    QMutexLocker lock(&logMutex);
    logFunction() = function ? std::move(function) : MMSMTPLogFunction(systemLog);
}

void mmsmtpLog(const QString &line)
{
    MMSMTPLogFunction function;
    {
        QMutexLocker lock(&logMutex);
        function = logFunction();
    }
    function(line);
}

} // namespace murmelo
