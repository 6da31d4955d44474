#include "app/AppDelegate.h"

#include "app/FileDrops.h"
#include "app/MainLayout.h"
#include "app/MprisPlayer.h"
#include "app/SidebarViewController.h"
#include "app/SpeechSidebarMenuController.h"
#include "app/TelemetryReachability.h"
#include "app/UnsavedWork.h"
#include "library/Recording.h"
#include "library/StoreContext.h"
#include "mail/jobs/MailJobs.h"
#include "mail/jobs/RelaySettings.h"
#include "platform/AlertPresenter.h"
#include "platform/Defaults.h"
#include "platform/MainQueue.h"
#include "platform/StandardPaths.h"
#include "platform/SystemLog.h"
#include "platform/TemporaryFiles.h"
#include "screens/shell/EulaViewController.h"
#include "screens/shell/SettingsViewController.h"
#include "screens/shell/SliderAppearance.h"
#include "telemetry/session/VGTelemetrySwitch.h"
#include "toolkit/KeyboardAvoidance.h"
#include "toolkit/Theme.h"
#include "toolkit/reachability/Reachability.h"

#include <QPointer>

namespace murmelo {

namespace {
// The sidebar's mail strip, as the mail jobs see it.
class SidebarMailProgress : public MailProgress {
public:
    explicit SidebarMailProgress(SidebarViewController &sidebar) : sidebar_(sidebar) {}
    void startMailProgress(const QString &text, int mail) override
    {
        sidebar_.startMailProgress(text, mail);
    }
    void updateMailMessage(const QString &text) override { sidebar_.updateMailMessage(text); }
    void mailDone(const QString &text, int mail) override { sidebar_.mailDone(text, mail); }

private:
    SidebarViewController &sidebar_;
};
} // namespace

AppDelegate::AppDelegate() : window_(buildMainWindow({.store = [this] { return store_.get(); }}))
{
    startMailJobs();
}

AppDelegate::~AppDelegate()
{
    setApplicationMailJobs(nullptr);
}

void AppDelegate::startMailJobs()
{
    mailProgress_ = std::make_unique<SidebarMailProgress>(*window_);
    mailJobs_ = std::make_unique<MailJobs>(*mailProgress_, RelaySettings::standard(),
                                           smtpMailDeliveryFactory());
    mailJobs_->setAlertParent(window_.get());
    window_->setCancelMailHandler([this](int mail) { mailJobs_->cancelMessage(mail); });
    mailJobs_->setMailSettingsOpener([this] { openMailSettings(); });
    setApplicationMailJobs(mailJobs_.get());
}

void AppDelegate::sendReversal(const QString &path, const QString &message, const QString &name,
                               const QString &to)
{
    mailJobs_->sendReversal(path, message, name, to);
}

void AppDelegate::sendBugReport(const QString &problem, const QString &userEmail)
{
    mailJobs_->sendBugReport(problem, userEmail);
}

void AppDelegate::cancelMessage()
{
    mailJobs_->cancelAll();
}

void AppDelegate::openMailSettings()
{
    // The way the menu goes there: an unsaved reversal is asked about first.
    if (SpeechSidebarMenuController *menu = window_->menuViewController())
        menu->choose(SettingsViewController::kMenuPosition);
    if (auto *settings = qobject_cast<SettingsViewController *>(window_->contentViewController()))
        settings->showMailSettings();
}

void AppDelegate::updateMessage(const QString &text)
{
    mailJobs_->updateMessage(text);
}

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

void AppDelegate::raiseWindow()
{
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void AppDelegate::openFile(const QString &path)
{
    postToMainQueue([window = QPointer<SidebarViewController>(window_.get()), path] {
        if (auto *files = window ? window->findChild<FileDrops *>() : nullptr)
            files->open(path);
    });
}

void AppDelegate::applicationDidFinishLaunching()
{
    // Before activation, so that the telemetry's first look at the network is the application's.
    // Until the agreement is accepted the telemetry is not started at all.
    telemetryReachability_ = std::make_unique<TelemetryReachability>();
    VGTelemetrySwitch::activateIfEnabled();
    startReachability();
    mailJobs_->setMailHostReachability(reachability_.get());
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
    reachability_ = Reachability::reachabilityWithHostName(RelaySettings::standard().relayHost());
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
