#include "app/AppDelegate.h"

#include "app/EulaViewController.h"
#include "app/MainLayout.h"
#include "app/MprisPlayer.h"
#include "app/SidebarViewController.h"
#include "app/SliderAppearance.h"
#include "app/UnsavedWork.h"
#include "library/Recording.h"
#include "library/StoreContext.h"
#include "platform/AlertPresenter.h"
#include "platform/Defaults.h"
#include "platform/MainQueue.h"
#include "platform/ServiceEndpoints.h"
#include "platform/StandardPaths.h"
#include "platform/SystemLog.h"
#include "platform/TemporaryFiles.h"
#include "platform/Theme.h"
#include "telemetry/session/VGTelemetrySwitch.h"
#include "toolkit/KeyboardAvoidance.h"
#include "toolkit/Reachability.h"

#include <QPointer>

namespace murmelo {

AppDelegate::AppDelegate() : window_(buildMainWindow({.store = [this] { return store_.get(); }})) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::run()
{
    if (auto *work = window_->findChild<UnsavedWork *>()) {
        work->restoreGeometry();
        work->watchSession();
    }
    // Media keys and sound applets; without a session bus the window works as before.
    new MprisPlayer(window_.get());
    window_->show();
    applicationDidFinishLaunching();
}

void AppDelegate::applicationDidFinishLaunching()
{
    VGTelemetrySwitch::activateIfEnabled();
    startReachability();
    KeyboardAvoidance::of(window_.get()).enableAutoTextFieldShowing();
    openStore();
    window_->setRevealWidth(kRevealWidth);
    applySliderAppearance();
    Theme::applyToApplication();
    if (!Defaults::standard().boolForKey(QString::fromLatin1(EulaViewController::kDefaultsKey))) {
        // After launching, once the window is on screen.
        postToMainQueue([window = QPointer<SidebarViewController>(window_.get())] {
            if (window)
                window->performSegue(QStringLiteral("EULA"));
        });
    }
}

void AppDelegate::startReachability()
{
    // A host that makes no handle leaves no monitor: the mail job then finds the relay
    // unreachable.
    reachability_ = Reachability::reachabilityWithHostName(ServiceEndpoints::mailRelayHost());
    if (reachability_)
        reachability_->startNotifier();
}

void AppDelegate::openStore()
{
    store_ = std::make_unique<StoreContext>();
    if (store_->open()) {
        Recording::recoverFiles(*store_);
        removeFilesOfEndedRuns();
        return;
    }
    // The file stays as it is (it may be a newer version's, or repairable): the user is told,
    // and nothing is saved over it this run.
    const StoreError &error = store_->openError();
    QString message = error.description;
    if (!error.recoverySuggestion.isEmpty())
        message += QStringLiteral("\n\n") + error.recoverySuggestion;
    showAlert(window_.get(), tr("Your library cannot be opened"), message);
}

void AppDelegate::removeFilesOfEndedRuns()
{
    // Runs after recovery, which moved whatever records still named in the temporary folder; a
    // file it could not move stays named by its record and is kept.
    const QString temporary = StandardPaths::temporaryDirectory();
    QSet<QString> named;
    for (const char *attribute : {"audioPath", "reverseAudioPath"}) {
        const StoreFilter filter =
            StoreFilter().where(QLatin1String(attribute), StoreFilter::BeginsWith, temporary);
        for (const auto &object : store_->fetchObjects(Recording::entityName(), filter)) {
            auto recording = std::static_pointer_cast<Recording>(object);
            named << recording->currentAudioPath() << recording->reverseAudioPath();
        }
    }
    const int removed = TemporaryFiles::removeFilesOfEndedProcesses(temporary, named);
    if (removed > 0)
        systemLog(QStringLiteral("Removed %1 temporary files left by ended runs").arg(removed));
}

} // namespace murmelo
