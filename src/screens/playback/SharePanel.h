#pragma once

#include <QPointer>
#include <QString>

class QPushButton;
class QToolButton;
class QWidget;

namespace murmelo {

class ContactPicker;
class ShareLayout;
class SlidePanel;
struct PlaybackView;

// What sharing adds to the playback screen: the buttons that open the share panel and the
// information text, the panel's own controls and its slide (ShareFlow does the sending).
struct SharePanel {
    static QString recipientsPrompt() { return QStringLiteral("Send to\u2026"); }
    static QString namePrompt() { return QStringLiteral("Your name\u2026"); }
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

    // share: was asked for before the screen was on view; it runs once it is.
    bool pending = false;
    QPointer<ContactPicker> picker;
};

} // namespace murmelo
