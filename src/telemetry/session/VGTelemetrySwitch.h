#pragma once

#include <QString>

namespace murmelo {

// The user's choice whether telemetry runs at all (on by default, kept in the user defaults
// under "telemetryEnabled"), and the application's token. Switched off, nothing is recorded or
// sent from that moment: the session ends unreported, uploads stop and the crash handlers are
// removed; switched on again, the component starts (or resumes) at once.
namespace VGTelemetrySwitch {

inline constexpr char kDefaultsKey[] = "telemetryEnabled";
// MURMELO_TELEMETRY_TOKEN overrides the compiled-in application token.
inline constexpr char kTokenVariable[] = "MURMELO_TELEMETRY_TOKEN";
inline constexpr char kDefaultApplicationToken[] = "murmelo-desktop-beta-1";

bool enabled();
void setEnabled(bool enabled);
QString applicationToken();
// Start-up's first step: activates the component with the application token when the user
// has not switched it off.
void activateIfEnabled();

} // namespace VGTelemetrySwitch

} // namespace murmelo
