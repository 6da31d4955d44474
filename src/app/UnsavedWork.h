#pragma once

#include <QObject>
#include <QPointer>

class QSessionManager;

namespace murmelo {

class SidebarViewController;
class ViewController;

// Removes the temporary files of the reversal `screen` holds when it was never saved; saved
// audio is never touched.
void discardUnsavedReversal(ViewController *screen);

// Keeps the user's work when the window closes or the session ends: an unsaved reversal is
// asked about (and can keep the window open), a running job is cancelled and its files are gone
// before the window closes, and the window's size and place are remembered for the next run.
class UnsavedWork : public QObject {
    Q_OBJECT
public:
    // The settings key of the window's geometry.
    static QString geometryKey() { return QStringLiteral("windowGeometry"); }

    explicit UnsavedWork(SidebarViewController *window);

    // Puts the window where it was when it last closed; on the first start, gives it a desktop
    // size in the middle of its screen.
    void restoreGeometry();

    // The session is ending. With `interactive` the user is asked about an unsaved reversal and
    // may cancel (false is returned); without, the reversal is saved rather than lost.
    bool settleForLogout(bool interactive);
    // Connects settleForLogout() to the session manager's request.
    void watchSession();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Answer { Cancel, Discard, Save };
    // Whether the window may close now; otherwise `closeAgain` is arranged to run later.
    bool readyToClose();
    void askAboutUnsavedReversal(std::function<void(Answer)> answered);
    bool cancelRunningJob(std::function<void()> finished);
    void settle(Answer answer);

    QPointer<SidebarViewController> window_;
    bool asking_ = false;
    bool waitingForJob_ = false;
    bool confirmed_ = false;
};

} // namespace murmelo
