#pragma once

#include "telemetry/codec/VGValue.h"

#include <QString>

namespace murmelo {

// The telemetry component's whole public surface. Start it once with the application token;
// from then on sessions follow the application's active and inactive states (unless manual
// sessions are chosen), checkpoints and feedback become events of the session, and everything
// goes to the service in the background. Misuse is only logged, never thrown.
class Vigil {
public:
    // Starts the component; waits for the SDK queue.
    static void activate(const QString &applicationToken);
    // Applies a map of option key to value; waits for the SDK queue.
    static void setOptions(const VGValue &options);
    static void passCheckpoint(const QString &name);
    static void submitFeedback(const QString &text);
    static void addCustomEnvironmentInformation(const QString &value, const QString &key);
    static void setDeviceIdentifier(const QString &identifier);
    static void manuallyStartSession();
    static void manuallyEndSession();
    // Sends queued events now.
    static void flush();

    // The application's states, as the platform reports them (activation connects these to
    // Qt's application state unless sessions are manual).
    static void applicationDidBecomeActive();
    static void applicationWillResignActive();
    static void applicationWillTerminate();

    // Stops recording and sending for the rest of the process (the user switched telemetry off):
    // the open session ends without being reported and the crash handlers are removed.
    static void stopForGood();
    // Undoes stopForGood(): handlers back, uploads on, a session when the application is active.
    static void resume();

    // Forgets the identifiers uploads carry (the vendor identifier's random value and the shared
    // identifier): uploads from now on carry new ones. Works whether or not the component runs.
    static void resetIdentifiers();

    static bool isActivated();
    static bool sessionStarted();
    // The flush timer's interval in seconds, 0 without a timer.
    static double flushTimerInterval();
    // Forgets activation, options and the session. For tests.
    static void resetForTesting();

    static constexpr char kOptionReportCrashes[] = "VGOptionReportCrashes";
    static constexpr char kOptionManualSessions[] = "VGOptionManualSessions";
    static constexpr char kOptionLogOnCheckpoint[] = "VGOptionLogOnCheckpoint";
    static constexpr char kOptionSessionKeepAliveTimeout[] = "VGOptionSessionKeepAliveTimeout";
    static constexpr char kOptionFlushSecondsInterval[] = "VGOptionFlushSecondsInterval";
};

} // namespace murmelo
