#pragma once

#include <QObject>
#include <memory>

namespace murmelo {

class MailJobs;
class MailProgress;
class Reachability;
class SidebarViewController;
class StoreContext;
class TelemetryReachability;

// Owns what lives for the whole run: the main window, the mail host's reachability, the
// telemetry's view of the network and the store, and brings them up in a fixed order once launching
// has finished.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    static constexpr float kRevealWidth = 47.0f;

    AppDelegate();
    ~AppDelegate() override;

    // Shows the window and runs start-up.
    void run();
    void applicationDidFinishLaunching();

    // The mail jobs: a reversal from the share panel, a report from the report screen; progress
    // and outcome in the sidebar's mail strip.
    void sendReversal(const QString &path, const QString &message, const QString &name,
                      const QString &to);
    void sendBugReport(const QString &problem, const QString &userEmail);
    void cancelMessage();
    void updateMessage(const QString &text);
    MailJobs *mailJobs() const { return mailJobs_.get(); }

    // Brings the window forward (a later start of Murmelo, the desktop's Activate).
    void raiseWindow();
    // Imports and reverses `path` in the window, as a drop would, on the next turn of the loop
    // (so after the start-up that run() began).
    void openFile(const QString &path);

    SidebarViewController *window() const { return window_.get(); }
    Reachability *mailReachability() const { return reachability_.get(); }
    StoreContext *storeContext() const { return store_.get(); }

private:
    void startReachability();
    void openStore();
    // Temporary files of Murmelo processes that ended without cleaning up.
    void removeFilesOfEndedRuns();
    void startMailJobs();
    void openMailSettings();

    std::unique_ptr<Reachability> reachability_;
    std::unique_ptr<TelemetryReachability> telemetryReachability_;
    std::unique_ptr<StoreContext> store_;
    std::unique_ptr<MailProgress> mailProgress_;
    std::unique_ptr<MailJobs> mailJobs_;
    // Last, so that the screens go before the store they may use.
    std::unique_ptr<SidebarViewController> window_;
};

} // namespace murmelo
