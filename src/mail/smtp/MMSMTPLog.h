#pragma once

#include <QString>
#include <functional>

namespace murmelo {

// Where the SMTP client's debug trace goes: the system log until the application plugs in
// another diagnostic log.
using MMSMTPLogFunction = std::function<void(const QString &line)>;
void setMMSMTPLogFunction(MMSMTPLogFunction function);
void mmsmtpLog(const QString &line);

} // namespace murmelo
