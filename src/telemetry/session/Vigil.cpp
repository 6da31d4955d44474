#include "telemetry/session/Vigil.h"

#include "platform/Defaults.h"
#include "platform/MainQueue.h"
#include "platform/SystemLog.h"
#include "telemetry/VGFileWrites.h"
#include "telemetry/VGSdkFolder.h"
#include "telemetry/VGSdkQueue.h"
#include "telemetry/crash/VGCrashReporter.h"
#include "telemetry/device/VGApplicationInformation.h"
#include "telemetry/device/VGDeviceInfo.h"
#include "telemetry/device/VGSharedUDID.h"
#include "telemetry/events/VGEventManager.h"
#include "telemetry/events/VGTimer.h"
#include "telemetry/log/VGLog.h"
#include "telemetry/log/VGLogManager.h"
#include "telemetry/network/VGNetworkManager.h"
#include "telemetry/session/VGProfileLock.h"
#include "telemetry/session/VGSessionManager.h"
#include "telemetry/update/VGAppUpdater.h"
#include "telemetry/update/VGSDKUpgradeManager.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPointer>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace murmelo {

namespace {
// Facade state; touched on the SDK queue only, except the two atomics.
struct Facade {
    std::atomic<bool> activated{false};
    std::atomic<bool> stopped{false};
    bool reportCrashes = true;
    bool manualSessions = false;
    bool sessionStarted = false;
    uint64_t flushInterval = 60;
    std::unique_ptr<VGTimer> flushTimer;
};

Facade &facade()
{
    static Facade *state = new Facade; // lives for the process
    return *state;
}

constexpr int kQuitUploadMillis = 2000;

const char kTeamTokenWarning[] =
    "**VIGIL WARNING**:\nIt looks like you have used a Team Token. Vigil 1.2 and higher require "
    "an Application Token.\nYou can get your application token from "
    "https://telemetry.murmelo.org/dashboard/applications.\nSelect this application and then "
    "select SDK.";

// The component's first use: its storage is migrated before anything else touches it.
void firstUse()
{
    VGSDKUpgradeManager::upgradeOnce();
}

VGTimer::Queue sdkQueue()
{
    return [](std::function<void()> work) { vgSdkAsync(std::move(work)); };
}

void startFlushTimer()
{
    Facade &f = facade();
    if (f.flushInterval == 0 || f.flushTimer)
        return;
    f.flushTimer = VGTimer::initWithInterval(double(f.flushInterval), sdkQueue(),
                                             [] { VGEventManager::flush(); });
}

void startSessionByFacade(bool manual)
{
    if (facade().stopped)
        return;
    VGLogManager::sharedManager().prepareToStartSession();
    vgSdkAsync([manual] {
        Facade &f = facade();
        if (f.stopped)
            return;
        if (!f.activated) {
            vg_log(QStringLiteral("**VIGIL WARNING**: You cannot start a session without properly "
                                  "activating"));
            return;
        }
        if (manual && !f.manualSessions) {
            vg_log(
                QStringLiteral("**VIGIL WARNING**: You cannot manually start a session without "
                               "turning on manual sessions. Use option `VGOptionManualSessions`"));
            return;
        }
        if (f.sessionStarted)
            return;
        f.sessionStarted = true;
        VGSessionManager &manager = VGSessionManager::sharedSessionManager();
        const QString previous = manager.sessionID();
        manager.startSession(manual);
        startFlushTimer();
        VGLogManager::sharedManager().setCurrentSessionID(manager.sessionID());
        vg_log(previous == manager.sessionID() ? QStringLiteral("Vigil: Continuing Session")
                                               : QStringLiteral("Vigil: Started Session"));
    });
}

void endSessionByFacade(bool manual)
{
    vgSdkSync([manual] {
        Facade &f = facade();
        if (manual && !f.manualSessions) {
            vg_log(
                QStringLiteral("**VIGIL WARNING**: You cannot manually end a session without "
                               "turning on manual sessions. Use option `VGOptionManualSessions`"));
            return;
        }
        if (!f.sessionStarted)
            return;
        f.sessionStarted = false;
        vg_log(QStringLiteral("Vigil: Ending Session"));
        VGSessionManager::sharedSessionManager().endSession(manual);
        f.flushTimer.reset();
    });
    Vigil::flush();
}

// Follows Qt's application state on the main thread: active starts a session, anything else
// (another application's window has the focus, hidden, suspended) and quitting end it.
void watchApplicationState()
{
    auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    if (!app)
        return;
    QObject::connect(app, &QGuiApplication::applicationStateChanged, app,
                     [](Qt::ApplicationState state) {
                         if (state == Qt::ApplicationActive)
                             Vigil::applicationDidBecomeActive();
                         else
                             Vigil::applicationWillResignActive();
                     });
    QObject::connect(app, &QCoreApplication::aboutToQuit, app,
                     [] { Vigil::applicationWillTerminate(); });
    if (QGuiApplication::applicationState() == Qt::ApplicationActive)
        Vigil::applicationDidBecomeActive();
}

void logOptionAfterActivation(const QString &key)
{
    vg_log(QStringLiteral("**VIGIL WARNING**: You must set %1 before calling activate:").arg(key));
}

// Reports from earlier runs, then the sessions they did not end; off the SDK queue.
void processLeftOvers()
{
    std::thread([] {
        vgSdkSync([] {}); // after activation's set-up on the SDK queue
        if (vgSdkShuttingDown())
            return;
        const QStringList reports = VGCrashReporter::processOldCrashReports(VGSdkFolder::path());
        vgSdkSync([reports] {
            for (const QString &report : reports)
                VGSessionManager::sharedSessionManager().sendOldCrashReport(report);
        });
        if (!vgSdkShuttingDown())
            VGSessionManager::sharedSessionManager().endOldSessions();
    }).detach();
}
} // namespace

void Vigil::activate(const QString &applicationToken)
{
    const QString defaultsPath = Defaults::standard().path();
    bool activatedNow = false;
    vgSdkSync([&] {
        Facade &f = facade();
        if (f.stopped)
            return;
        if (f.activated) {
            vg_log(QStringLiteral("**VIGIL WARNING**: You may not call activate: more than once"));
            return;
        }
        if (applicationToken.isEmpty() || applicationToken.contains(QLatin1Char('_'))) {
            vg_log(QString::fromLatin1(kTeamTokenWarning));
            return;
        }
        if (!VGProfileLock::acquire(VGSdkFolder::path())) {
            systemLog(QStringLiteral("Vigil: another Murmelo on this profile runs the telemetry; "
                                     "this one records and sends nothing"));
            return;
        }
        f.activated = true;
        activatedNow = true;
        // The heavy part (storage migration, device information for the upload header, the
        // loader's image list) runs next on this queue, ahead of any later telemetry work, but
        // without holding up the application's start-up.
        vgSdkAsync([applicationToken, defaultsPath, crashes = f.reportCrashes] {
            // Files left by earlier versions were made with the umask's modes.
            vgTightenTree(VGSdkFolder::path());
            if (QFileInfo::exists(VG_SharedUDID::defaultSharedFolder()))
                vgTightenTree(VG_SharedUDID::defaultSharedFolder());
            firstUse();
            VGApplicationInformation::setApplicationToken(applicationToken);
            VGSessionManager &manager = VGSessionManager::sharedSessionManager();
            manager.setDefaultsPath(defaultsPath);
            manager.setApplicationToken(applicationToken);
            if (!crashes)
                return;
            VGCrashReporter::setLogSink([](const QString &line) { vg_log(line); });
            VGCrashReporter::installCrashHandlers(VGSdkFolder::path());
            // Name resolution may take a while: the crash-time socket is prepared aside.
            std::thread([applicationToken] {
                VGCrashReporter::prepareCrashUpload(applicationToken);
            }).detach();
        });
    });
    if (!activatedNow)
        return;
    // The application object goes away before the process's statics; telemetry work still
    // running after that would use a half torn-down Qt.
    if (QCoreApplication::instance())
        qAddPostRoutine([] { vgSdkShutDown(kQuitUploadMillis); });
    if (!facade().manualSessions) {
        if (isMainThread())
            watchApplicationState();
        else
            postToMainQueue(watchApplicationState);
    }
    processLeftOvers();
}

void Vigil::setOptions(const VGValue &options)
{
    firstUse();
    if (!options.isMap())
        return;
    vgSdkSync([&options] {
        Facade &f = facade();
        VGSessionManager &manager = VGSessionManager::sharedSessionManager();
        for (size_t i = 0; i + 1 < options.items().size(); i += 2) {
            const QString key = options.items()[i].toQString();
            const VGValue &value = options.items()[i + 1];
            if (key == QLatin1String(kOptionReportCrashes)) {
                if (f.activated)
                    logOptionAfterActivation(key);
                else
                    f.reportCrashes = value.toBool();
            } else if (key == QLatin1String(kOptionManualSessions)) {
                if (f.activated)
                    logOptionAfterActivation(key);
                else
                    f.manualSessions = value.toBool();
            } else if (key == QLatin1String(kOptionLogOnCheckpoint)) {
                VGLogManager::sharedManager().setLogCheckpoints(value.toBool());
            } else if (key == QLatin1String("logToConsole")) {
                VGLogManager::sharedManager().setLogToConsole(value.toBool());
            } else if (key == QLatin1String("logToSTDERR")) {
                VGLogManager::sharedManager().setLogToSTDERR(value.toBool());
            } else if (key == QLatin1String("sendLogOnlyOnCrash")) {
                manager.setSendLogOnlyOnCrash(value.toBool());
            } else if (key == QLatin1String("disableInAppUpdates")) {
                VGAppUpdater::setInAppUpdatesDisabled(value.toBool());
            } else if (key == QLatin1String(kOptionSessionKeepAliveTimeout)) {
                if (value.isNumber())
                    manager.setSessionKeepAliveTimeout(value.toDouble());
            } else if (key == QLatin1String(kOptionFlushSecondsInterval)) {
                const bool unsignedNumber = value.isNumber() && !value.isFloatType() &&
                                            (!value.isSignedType() || value.toInt64() >= 0);
                uint64_t seconds = unsignedNumber ? value.toUInt64() : 0;
                if (seconds == 0) {
                    f.flushInterval = 0;
                    f.flushTimer.reset();
                    vg_log(QStringLiteral("Vigil: Flush Timer turned off"));
                    continue;
                }
                if (seconds < 30)
                    seconds = 30; // a shorter period would keep the radio awake
                f.flushInterval = seconds;
                if (f.flushTimer)
                    f.flushTimer->setInterval(double(seconds));
                else if (f.sessionStarted)
                    startFlushTimer();
                vg_log(QStringLiteral("Vigil: Flush interval changed to %1").arg(seconds));
            } else if (key == QLatin1String("reinstallCrashHandlers")) {
                if (value.toBool())
                    VGCrashReporter::installCrashHandlers(VGSdkFolder::path());
            } else {
                vg_log(QStringLiteral("Vigil: The key %1 is not a valid option").arg(key));
            }
        }
    });
}

void Vigil::passCheckpoint(const QString &name)
{
    if (VGLogManager::sharedManager().logCheckpoints())
        vg_log(QStringLiteral("Vigil: Checkpoint Passed - %1").arg(name));
    vgSdkAsync([name] {
        if (facade().activated && !facade().stopped)
            VGSessionManager::sharedSessionManager().checkpointHit(name);
    });
}

void Vigil::submitFeedback(const QString &text)
{
    vgSdkAsync([text] {
        if (!facade().activated || facade().stopped)
            return;
        if (text.isNull()) {
            vg_log(QStringLiteral("Vigil: Custom Feedback was nil"));
            return;
        }
        vg_log(QStringLiteral("Vigil: Submitting custom feedback: %1").arg(text));
        VGSessionManager::sharedSessionManager().respondToFeedbackCustom(text);
    });
}

void Vigil::addCustomEnvironmentInformation(const QString &value, const QString &key)
{
    vgSdkAsync([value, key] { VGDeviceInfo::addCustomEnvironmentInformation(value, key); });
}

void Vigil::setDeviceIdentifier(const QString &identifier)
{
    vgSdkAsync([identifier] {
        if (facade().activated)
            vg_log(
                QStringLiteral("**VIGIL WARNING**: UDID must be set before `activate:` is called"));
        else
            VGDeviceInfo::setDeviceIdentifier(identifier);
    });
}

void Vigil::manuallyStartSession()
{
    startSessionByFacade(true);
}

void Vigil::manuallyEndSession()
{
    endSessionByFacade(true);
}

void Vigil::applicationDidBecomeActive()
{
    startSessionByFacade(false);
}

void Vigil::applicationWillResignActive()
{
    endSessionByFacade(false);
}

void Vigil::applicationWillTerminate()
{
    endSessionByFacade(false);
    // A desktop process ends right after this: the session's end gets a moment to go out
    // (what does not is sent at the next launch).
    vgSdkSync([] {});
    auto &network = VGNetworkManager::sharedManager();
    for (int waited = 0; waited < kQuitUploadMillis && network.operationCount() > 0; waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void Vigil::flush()
{
    vgSdkAsync([] {
        if (facade().stopped)
            return;
        VGEventManager::flush();
        if (facade().flushTimer)
            facade().flushTimer->restart();
    });
}

void Vigil::stopForGood()
{
    if (facade().stopped.exchange(true))
        return;
    vgSdkSync([] {
        Facade &f = facade();
        f.flushTimer.reset();
        f.sessionStarted = false;
        VGSessionManager::sharedSessionManager().discardSession();
    });
    VGNetworkManager::sharedManager()._setPaused(true);
    VGCrashReporter::uninstallCrashHandlers();
}

void Vigil::resume()
{
    if (!facade().stopped.exchange(false))
        return;
    VGNetworkManager::sharedManager()._setPaused(false);
    bool crashes = false;
    bool manual = false;
    QString token;
    vgSdkSync([&] {
        crashes = facade().reportCrashes;
        manual = facade().manualSessions;
        token = VGSessionManager::sharedSessionManager().appToken();
    });
    if (crashes && facade().activated) {
        VGCrashReporter::installCrashHandlers(VGSdkFolder::path());
        std::thread([token] { VGCrashReporter::prepareCrashUpload(token); }).detach();
    }
    if (!manual && facade().activated) {
        postToMainQueue([] {
            if (QGuiApplication::applicationState() == Qt::ApplicationActive)
                Vigil::applicationDidBecomeActive();
        });
    }
}

void Vigil::resetIdentifiers()
{
    // On the SDK queue, so that no upload header is being built from the old ones meanwhile.
    vgSdkSync([] { VGDeviceInfo::forgetIdentifiers(); });
}

bool Vigil::isActivated()
{
    return facade().activated;
}

bool Vigil::sessionStarted()
{
    bool started = false;
    vgSdkSync([&] { started = facade().sessionStarted; });
    return started;
}

double Vigil::flushTimerInterval()
{
    double interval = 0;
    vgSdkSync([&] { interval = facade().flushTimer ? facade().flushTimer->interval() : 0; });
    return interval;
}

void Vigil::resetForTesting()
{
    vgSdkSync([] {
        Facade &f = facade();
        f.activated = false;
        f.stopped = false;
        f.reportCrashes = true;
        f.manualSessions = false;
        f.sessionStarted = false;
        f.flushInterval = 60;
        f.flushTimer.reset();
        VGSessionManager::sharedSessionManager().resetForTesting();
    });
}

} // namespace murmelo
