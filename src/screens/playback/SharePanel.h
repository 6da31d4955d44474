#pragma once

#include <QPointer>
#include <QString>
#include <functional>

class QPushButton;
class QToolButton;
class QWidget;

namespace murmelo {

class ContactPicker;
class ShareLayout;
class SlidePanel;
struct PlaybackView;

// What the share flow adds to the playback screen: the buttons that open the share panel and the
// information text, the panel's own controls, its slide, and the seams the flow reaches the
// merge and the mail job through.
struct SharePanel {
    // Hands the attachment's path, the hidden message, the sender's name and the recipients to
    // the mail job.
    using ReversalSender = std::function<void(const QString &path, const QString &message,
                                              const QString &name, const QString &to)>;
    // Builds the attachment: the forward file, then the reversal, at the factor.
    using AttachmentBuilder =
        std::function<QString(const QString &forward, const QString &reversal, float factor)>;

    static QString recipientsPrompt() { return QStringLiteral("Send to\u2026"); }
    static QString namePrompt() { return QStringLiteral("Your name\u2026"); }
    // The settings key of the name last sent with, offered in the next share. Not `defaultName`:
    // that key counts the automatic titles.
    static QString senderNameKey() { return QStringLiteral("senderName"); }
    static QString infoText();

    // Builds the controls into the screen's panels.
    explicit SharePanel(const PlaybackView &view);
    ~SharePanel();

    QToolButton *shareButton;      // on the panel of an unsaved reversal
    QToolButton *savedShareButton; // on the panel of a saved one
    QToolButton *infoButton;
    QToolButton *savedInfoButton;
    QToolButton *closeInfoButton; // inside the information text
    QToolButton *addContactButton;
    QToolButton *sendToSpeechButton;
    QPushButton *closeShareButton;
    QPushButton *sendReversalButton;
    SlidePanel *slide;
    ShareLayout *layout;

    bool sendToSpeech = false;
    // share: was asked for before the screen was on view; it runs once it is.
    bool pending = false;
    QPointer<ContactPicker> picker;
    ReversalSender sender;
    AttachmentBuilder attachment;
};

// The recipient list with `address` added after a "," (no blank), or alone when the list is empty.
QString appendRecipient(const QString &list, const QString &address);

} // namespace murmelo
