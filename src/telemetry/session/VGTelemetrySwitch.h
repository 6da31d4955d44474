#pragma once

#include <QString>

namespace murmelo {

// Whether telemetry runs at all. Nothing is recorded, written or sent before the user has
// accepted the agreement (`EULA` in the user defaults), which says what is sent; after that the
// user's switch decides (on by default, kept under "telemetryEnabled"). Switched off, nothing is
// recorded or sent from that moment: the session ends unreported, uploads stop and the crash
// handlers are removed; switched on again, the component starts (or resumes) at once.
namespace VGTelemetrySwitch {

inline constexpr char kDefaultsKey[] = "telemetryEnabled";
// The agreement's acceptance, stored by the agreement screen.
inline constexpr char kConsentKey[] = "EULA";
// MURMELO_TELEMETRY_TOKEN overrides the compiled-in application token.
inline constexpr char kTokenVariable[] = "MURMELO_TELEMETRY_TOKEN";
inline constexpr char kDefaultApplicationToken[] = "murmelo-desktop-beta-1";

// The user's switch (true when never touched).
bool enabled();
bool consented();
void setEnabled(bool enabled);
QString applicationToken();
// Activates the component when the agreement is accepted, the switch is on and the service's
// address is usable; says why on standard error and in the system log when the address is not.
// Start-up calls it, and so does accepting the agreement.
void activateIfEnabled();

} // namespace VGTelemetrySwitch

} // namespace murmelo
