// The share flow of the playback screen: the share panel, the recipients, and sending.
#include "playback/PlaybackViewController.h"

#include "audio/MergeSize.h"
#include "mail/jobs/ContactBook.h"
#include "mail/jobs/MailJobs.h"
#include "mail/jobs/RelaySettings.h"
#include "mail/screens/ContactPicker.h"
#include "platform/AlertPresenter.h"
#include "platform/MainQueue.h"
#include "platform/SerialQueue.h"
#include "playback/SharePanel.h"
#include "playback/SlidePanel.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QTextEdit>
#include <QToolButton>

namespace murmelo {

void PlaybackViewController::setUpSharing()
{
    share_ = std::make_unique<SharePanel>(view_);
    const SharePanel &panel = *share_;
    for (QToolButton *button : {panel.shareButton, panel.savedShareButton})
        connect(button, &QToolButton::clicked, this, &PlaybackViewController::share);
    for (QToolButton *button : {panel.infoButton, panel.savedInfoButton})
        connect(button, &QToolButton::clicked, this, &PlaybackViewController::showInfo);
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
    return share_->sendToSpeech;
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
    view_.shareEmailTextField->setText(shareEmails_.isEmpty() ? SharePanel::recipientsPrompt()
                                                              : shareEmails_);
    view_.shareMessageTextView->setPlainText(message_.isEmpty() ? messagePrompt() : message_);
    view_.emailNameTextField->setText(shareEmailName_.isEmpty() ? SharePanel::namePrompt()
                                                                : shareEmailName_);
    share_->sendToSpeechButton->setChecked(share_->sendToSpeech);
    share_->slide->slideIn();
}

void PlaybackViewController::closeShare()
{
    share_->slide->slideOut();
}

void PlaybackViewController::toggleSendToSpeech()
{
    share_->sendToSpeech = !share_->sendToSpeech;
    share_->sendToSpeechButton->setChecked(share_->sendToSpeech);
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
    shareEmails_ = appendRecipient(shareEmails_, address);
    view_.shareEmailTextField->setText(shareEmails_);
}

void PlaybackViewController::sendReversal()
{
    commitEditing();
    QString recipients = shareEmails_;
    if (share_->sendToSpeech)
        recipients = appendRecipient(recipients, QLatin1String(MailDeployment::kCollectingMailbox));
    // Nobody to send to: nothing is built and nothing is sent.
    if (recipients.trimmed().isEmpty()) {
        closeShare();
        return;
    }
    const QString forward = audioPath_;
    const QString reversal = reverseAudioPath_;
    const float factor = speedSliderValue();
    // What cannot go out is said before any audio is merged, with the panel still open to mend
    // the addresses (or to close and crop or publish instead).
    QString refusal = recipientProblem(recipients);
    if (refusal.isEmpty())
        refusal = attachmentTooLargeText(mergedSizeEstimate(forward, reversal, factor));
    if (!refusal.isEmpty()) {
        showAlert(this, tr("This e-mail cannot be sent"), refusal);
        return;
    }
    closeShare();
    setBusy(true, tr("Preparing the e-mail\u2026"));
    const QString message = message_;
    const QString name = shareEmailName_;
    QPointer<PlaybackViewController> self(this);
    SharePanel::ReversalSender sender = share_->sender;
    SharePanel::AttachmentBuilder build = share_->attachment;
    SerialQueue queue("sendreversal");
    queue.async([=] {
        const QString attachment = build(forward, reversal, factor);
        postToMainQueue([=] {
            if (self)
                self->setBusy(false);
            // The mail job reads the file at once; the copy on disk is not needed after that.
            sender(attachment, message, name, recipients);
            if (!attachment.isEmpty())
                QFile::remove(attachment);
        });
    });
}

void PlaybackViewController::showInfo()
{
    view_.infoText->setVisible(view_.infoText->isHidden());
    view_.infoText->raise();
}

} // namespace murmelo
