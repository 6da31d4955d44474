#pragma once

#include <QObject>
#include <memory>

namespace murmelo {

class Reachability;
class SidebarViewController;
class StoreContext;

// Owns what lives for the whole run: the main window, the mail host's reachability and the
// store, and brings them up in a fixed order once launching has finished.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    static constexpr float kRevealWidth = 47.0f;

    AppDelegate();
    ~AppDelegate() override;

    // Shows the window and runs start-up.
    void run();
    void applicationDidFinishLaunching();

    SidebarViewController *window() const { return window_.get(); }
    Reachability *mailReachability() const { return reachability_.get(); }
    StoreContext *storeContext() const { return store_.get(); }

private:
    void startReachability();
    void openStore();
    // Temporary files of Murmelo processes that ended without cleaning up.
    void removeFilesOfEndedRuns();

    std::unique_ptr<Reachability> reachability_;
    std::unique_ptr<StoreContext> store_;
    // Last, so that the screens go before the store they may use.
    std::unique_ptr<SidebarViewController> window_;
};

} // namespace murmelo
