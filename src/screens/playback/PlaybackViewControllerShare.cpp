// The share panel of the playback screen, and the information text about sending.
#include "screens/playback/PlaybackViewController.h"

#include "mail/jobs/ContactBook.h"
#include "platform/AlertPresenter.h"
#include "screens/mail/ContactPicker.h"
#include "screens/playback/SharePanel.h"
#include "screens/playback/SlidePanel.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QTextEdit>
#include <QToolButton>
#include <algorithm>

namespace murmelo {

// Tells of every mouse press in the application, wherever it lands, while it lives.
class PressWatcher : public QObject {
public:
    PressWatcher(QObject *parent, std::function<void(const QPoint &)> pressed)
        : QObject(parent), pressed_(std::move(pressed))
    {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Seen once, by the window it arrives at, before any widget takes it.
        if (event->type() == QEvent::MouseButtonPress && watched->isWindowType())
            QMetaObject::invokeMethod(
                this,
                [this, global = static_cast<QMouseEvent *>(event)->globalPosition().toPoint()] {
                    pressed_(global);
                },
                Qt::QueuedConnection);
        return false;
    }

private:
    std::function<void(const QPoint &)> pressed_;
};

void PlaybackViewController::setUpSharing()
{
    share_ = std::make_unique<SharePanel>(view_);
    const SharePanel &panel = *share_;
    for (QToolButton *button : {panel.shareButton, panel.savedShareButton})
        connect(button, &QToolButton::clicked, this, &PlaybackViewController::share);
    for (QToolButton *button : {panel.infoButton, panel.savedInfoButton})
        connect(button, &QToolButton::clicked, this, &PlaybackViewController::showInfo);
    connect(panel.closeInfoButton, &QToolButton::clicked, this, [this] { setInfoShown(false); });
    connect(panel.addContactButton, &QToolButton::clicked, this,
            &PlaybackViewController::addContact);
    connect(panel.sendToSpeechButton, &QToolButton::clicked, this,
            &PlaybackViewController::toggleSendToSpeech);
    connect(panel.closeShareButton, &QPushButton::clicked, this,
            &PlaybackViewController::closeShare);
    connect(panel.sendReversalButton, &QPushButton::clicked, this,
            &PlaybackViewController::sendReversal);
    const auto shortcut = [this](const QKeySequence &keys, auto action) {
        auto *made = new QShortcut(keys, this);
        made->setContext(Qt::WidgetWithChildrenShortcut);
        connect(made, &QShortcut::activated, this, action);
    };
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_E), [this] {
        if (view_.waitView->isHidden())
            share();
    });
    shortcut(QKeySequence(Qt::Key_F1), [this] { showInfo(); });
    for (const QKeySequence &keys :
         {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)}) {
        shortcut(keys, [this] {
            if (!view_.shareReversalView->isHidden() && view_.waitView->isHidden())
                sendReversal();
        });
    }
}

SharePanel &PlaybackViewController::sharePanel() const
{
    return *share_;
}

bool PlaybackViewController::sendToSpeech() const
{
    return sharing_.sendToSpeech();
}

void PlaybackViewController::share()
{
    // From the list the screen is asked before it is on view; the panel slides in as it appears.
    if (!isVisible()) {
        share_->pending = true;
        return;
    }
    share_->pending = false;
    loadViewIfNeeded();
    const QString &recipients = sharing_.recipients();
    view_.shareEmailTextField->setText(recipients.isEmpty() ? SharePanel::recipientsPrompt()
                                                            : recipients);
    view_.shareMessageTextView->setPlainText(message_.isEmpty() ? messagePrompt() : message_);
    sharing_.recallSenderName();
    const QString &name = sharing_.senderName();
    view_.emailNameTextField->setText(name.isEmpty() ? SharePanel::namePrompt() : name);
    share_->sendToSpeechButton->setChecked(sharing_.sendToSpeech());
    share_->slide->slideIn();
}

void PlaybackViewController::closeShare()
{
    share_->slide->slideOut();
}

void PlaybackViewController::toggleSendToSpeech()
{
    sharing_.toggleSendToSpeech();
    share_->sendToSpeechButton->setChecked(sharing_.sendToSpeech());
}

void PlaybackViewController::addContact()
{
    // An address typed but not yet committed is kept in front of the picked one.
    commitEditing();
    if (share_->picker)
        return;
    auto *picker = new ContactPicker(ContactBook::readFolder(ContactBook::folder()), this);
    picker->setAttribute(Qt::WA_DeleteOnClose);
    share_->picker = picker;
    connect(picker, &ContactPicker::addressChosen, this,
            &PlaybackViewController::peoplePickerDidSelectAddress);
    picker->open();
}

void PlaybackViewController::peoplePickerDidSelectAddress(const QString &address)
{
    sharing_.addRecipient(address);
    view_.shareEmailTextField->setText(sharing_.recipients());
}

void PlaybackViewController::sendReversal()
{
    commitEditing();
    QPointer<PlaybackViewController> self(this);
    const ShareFlow::Sending sending =
        sharing_.send(audioPath(), reverseAudioPath(), speedSliderValue(), message_, [self] {
            if (self)
                self->setBusy(false);
        });
    switch (sending.kind) {
    case ShareFlow::Sending::Nobody:
        closeShare();
        break;
    case ShareFlow::Sending::Refused:
        // The panel stays open to mend the addresses (or to close and crop or publish instead).
        showAlert(this, tr("This e-mail cannot be sent"), sending.refusal);
        break;
    case ShareFlow::Sending::Started:
        closeShare();
        setBusy(true, tr("Preparing the e-mail\u2026"));
        break;
    }
}

void PlaybackViewController::showInfo()
{
    setInfoShown(view_.infoText->isHidden());
}

void PlaybackViewController::setInfoShown(bool shown)
{
    QLabel *bubble = view_.infoText;
    if (shown == bubble->isVisible())
        return;
    bubble->setVisible(shown);
    delete infoCloser_;
    if (shown) {
        placeInfo();
        // A press anywhere else closes it.
        infoCloser_ = new PressWatcher(this, [this](const QPoint &global) { pressedAt(global); });
    } else if (bubble->isAncestorOf(focusWidget())) {
        setFocus();
    }
}

void PlaybackViewController::placeInfo()
{
    QLabel *bubble = view_.infoText;
    if (bubble->isHidden())
        return;
    // Beside the "?" that explains sending, above it, whole and inside the screen.
    const SharePanel &panel = *share_;
    const QToolButton *sign =
        panel.savedInfoButton->isVisibleTo(this) ? panel.savedInfoButton : panel.infoButton;
    constexpr int kMargin = 8;
    const int width = std::min(300, this->width() - 2 * kMargin);
    const int height = std::min(bubble->heightForWidth(width), this->height() - 2 * kMargin);
    const QRect anchor(sign->mapTo(this, QPoint(0, 0)), sign->size());
    const int x = std::clamp(anchor.right() - width, kMargin, this->width() - kMargin - width);
    const int y = std::clamp(anchor.top() - 6 - height, kMargin, this->height() - kMargin - height);
    bubble->setGeometry(x, y, width, height);
    panel.closeInfoButton->move(width - panel.closeInfoButton->width() - 4, 4);
    bubble->raise();
}

void PlaybackViewController::pressedAt(const QPoint &global)
{
    // A press on the bubble, or on a "?" (which toggles it itself), leaves it to them.
    const SharePanel &panel = *share_;
    for (const QWidget *keep :
         {static_cast<QWidget *>(view_.infoText), static_cast<QWidget *>(panel.infoButton),
          static_cast<QWidget *>(panel.savedInfoButton)}) {
        if (keep->isVisible() &&
            QRect(keep->mapToGlobal(QPoint(0, 0)), keep->size()).contains(global))
            return;
    }
    setInfoShown(false);
}

} // namespace murmelo
