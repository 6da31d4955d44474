#include "telemetry/session/VGTelemetrySwitch.h"

#include "platform/Defaults.h"
#include "platform/ServiceEndpoints.h"
#include "platform/SystemLog.h"
#include "telemetry/session/Vigil.h"

#include <QtGlobal>
#include <cstdio>

namespace murmelo::VGTelemetrySwitch {

bool enabled()
{
    const Defaults &defaults = Defaults::standard();
    const QString key = QLatin1String(kDefaultsKey);
    return !defaults.hasKey(key) || defaults.boolForKey(key);
}

bool consented()
{
    return Defaults::standard().boolForKey(QLatin1String(kConsentKey));
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
        activateIfEnabled();
}

QString applicationToken()
{
    const QString token = qEnvironmentVariable(kTokenVariable).trimmed();
    return token.isEmpty() ? QString::fromLatin1(kDefaultApplicationToken) : token;
}

void activateIfEnabled()
{
    if (!consented() || !enabled() || Vigil::isActivated())
        return;
    const QString problem = ServiceEndpoints::telemetryUrlProblem();
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "murmelo: %s\n", qPrintable(problem));
        systemLog(problem);
        return;
    }
    Vigil::activate(applicationToken());
}

} // namespace murmelo::VGTelemetrySwitch
