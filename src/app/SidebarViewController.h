#pragma once

#include "toolkit/ViewController.h"

#include <QPointer>
#include <functional>
#include <memory>

class QLabel;
class QProgressBar;
class QPropertyAnimation;
class QPushButton;
class QToolButton;

namespace murmelo {

class ElidedLabel;
class SpeechSidebarMenuController;

// Deletes a screen on a later turn of the event loop, so that a screen may be replaced from
// inside one of its own handlers.
struct DeleteLater {
    void operator()(ViewController *screen) const;
};
using ScreenHandle = std::unique_ptr<ViewController, DeleteLater>;

// The window's root screen: the current content screen over a side menu. Opening the menu
// slides the content right until only `revealWidth` points of it stay visible.
class SidebarViewController : public ViewController, public SidebarSeam {
    Q_OBJECT
public:
    static constexpr int kSlideMilliseconds = 250;
    // On a wide window the menu is no wider than this; the content slides only as far.
    static constexpr int kWideMenuWidth = 300;

    explicit SidebarViewController(QWidget *parent = nullptr);
    ~SidebarViewController() override;

    void showSidebar();
    void hideSidebar();
    void toggleSidebar();
    bool sidebarVisible() const;

    void setRevealWidth(float width) { revealWidth_ = width; }
    float revealWidth() const { return revealWidth_; }

    // The menu is made once by whoever lays the window out; the container owns it.
    void setMenuViewController(SpeechSidebarMenuController *menu);
    SpeechSidebarMenuController *menuViewController() const { return menu_; }

    ViewController *contentViewController() const { return content_; }
    // Shows `screen` as the content; the old screen is deleted.
    void setContentViewController(ViewController *screen);
    // Shows `screen` as the content and hands the old screen to the caller (empty when `screen`
    // already was the content).
    ScreenHandle replaceContentViewController(ViewController *screen);

    // Covers the whole window with `screen` until it closes itself.
    void presentViewController(ViewController *screen);
    // A segue whose destination is presented over the window instead of replacing the content.
    void registerModalSegue(const QString &identifier, Storyboard::Factory factory);
    Storyboard &mainStoryboard() { return storyboard_; }

    void setSidebarButtonEnabled(bool enabled) override;
    void selectIndex(int index) override;

    // The mail progress strip. Each mail has its own strip, shown one at a time: a mail that has
    // ended (its outcome waiting for Done) before the oldest one still sending. The button acts
    // on the mail it shows: Done puts that strip away, Cancel stops that mail only.
    void startMailProgress(const QString &text, int mail = 0);
    void updateMailMessage(const QString &text);
    void mailDone(const QString &text, int mail = 0);
    void cancelMail();
    // Told which mail the user cancelled (never for a Done).
    void setCancelMailHandler(std::function<void(int mail)> handler)
    {
        cancelMail_ = std::move(handler);
    }
    // Mails with a strip, whether still sending or ended.
    int mailStrips() const { return int(mails_.size()); }

    QWidget *contentContainerView() const { return contentContainerView_; }
    QWidget *sidebarContainerView() const { return sidebarContainerView_; }
    QToolButton *sidebarButton() const { return sidebarButton_; }
    QWidget *progressView() const { return progressView_; }
    QLabel *progressLabel() const { return progressLabel_; }
    QProgressBar *progressIndicator() const { return progressIndicator_; }
    QPushButton *mailCancelButton() const { return mailCancelButton_; }
    bool isSliding() const;

Q_SIGNALS:
    // A new content screen is in place.
    void contentViewControllerChanged();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildContentContainer();
    void buildProgressStrip(QWidget *parent);
    void slideContentTo(int x, std::function<void()> finished);
    int openX() const;
    int menuWidth() const;
    void giveKeyboardToMenu();
    void giveKeyboardToContent();
    void showMailStrip();
    struct MailStrip {
        int mail;
        QString text;
        bool done;
    };
    std::vector<MailStrip>::iterator shownMail();

    float revealWidth_ = 47.0f;
    QWidget *sidebarContainerView_;
    QWidget *contentContainerView_;
    QWidget *contentHost_ = nullptr;
    QToolButton *sidebarButton_ = nullptr;
    ElidedLabel *titleLabel_ = nullptr;
    QWidget *progressView_ = nullptr;
    QLabel *progressLabel_ = nullptr;
    QProgressBar *progressIndicator_ = nullptr;
    QPushButton *mailCancelButton_ = nullptr;
    QPointer<QPropertyAnimation> slide_;
    bool closing_ = false;
    SpeechSidebarMenuController *menu_ = nullptr;
    ViewController *content_ = nullptr;
    Storyboard storyboard_;
    QPointer<ViewController> pendingModal_;
    QPointer<QWidget> focusBeforeMenu_;
    std::function<void(int)> cancelMail_;
    std::vector<MailStrip> mails_;
};

// The container that holds `screen`, or null outside any container.
SidebarViewController *sidebarOf(const ViewController *screen);

} // namespace murmelo
