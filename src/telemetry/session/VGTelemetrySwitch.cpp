#include "telemetry/session/VGTelemetrySwitch.h"

#include "platform/Defaults.h"
#include "telemetry/session/Vigil.h"

#include <QtGlobal>

namespace murmelo::VGTelemetrySwitch {

bool enabled()
{
    const Defaults &defaults = Defaults::standard();
    const QString key = QLatin1String(kDefaultsKey);
    return !defaults.hasKey(key) || defaults.boolForKey(key);
}

void setEnabled(bool on)
{
    Defaults::standard().setBool(QLatin1String(kDefaultsKey), on);
    Defaults::standard().synchronize();
    if (!on)
        Vigil::stopForGood();
    else if (Vigil::isActivated())
        Vigil::resume();
    else
        Vigil::activate(applicationToken());
}

QString applicationToken()
{
    const QString token = qEnvironmentVariable(kTokenVariable).trimmed();
    return token.isEmpty() ? QString::fromLatin1(kDefaultApplicationToken) : token;
}

void activateIfEnabled()
{
    if (enabled())
        Vigil::activate(applicationToken());
}

} // namespace murmelo::VGTelemetrySwitch
