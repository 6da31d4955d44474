#include "screens/playback/SharePanel.h"

#include "screens/mail/ContactPicker.h"
#include "screens/playback/PlaybackView.h"
#include "screens/playback/ShareLayout.h"
#include "screens/playback/SlidePanel.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QToolButton>

namespace murmelo {

namespace {
QToolButton *toolButton(QWidget *parent, const QRect &frame, const QString &text,
                        const QString &tip, const QString &name)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(text);
    button->setToolTip(tip);
    button->setGeometry(frame);
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

QPushButton *pushButton(QWidget *parent, const QRect &frame, const QString &text,
                        const QString &name)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setGeometry(frame);
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}
} // namespace

QString SharePanel::infoText()
{
    return QObject::tr(
        "Send shares what you found by e-mail: one WAV file that plays the recording forwards, "
        "then backwards, at the speed set on the slider, with your name and the hidden message "
        "in the text.\n\nType addresses separated by commas, or pick them from your contacts "
        "with +. Switch on \"Also to Murmelo\" to send a copy to the Murmelo collection of "
        "hidden messages.\n\nThe strip at the bottom of the window shows how sending goes.");
}

SharePanel::SharePanel(const PlaybackView &view) : slide(new SlidePanel(view.shareReversalView))
{
    const QString shareTip = QObject::tr("Send by e-mail (Ctrl+E)");
    const QString infoTip = QObject::tr("About sending (F1)");
    shareButton =
        toolButton(view.findReversalView, QRect(80, 132, 160, 34), QObject::tr("Send by E-mail"),
                   shareTip, QStringLiteral("panelButton"));
    savedShareButton =
        toolButton(view.editReversalView, QRect(20, 116, 140, 40), QObject::tr("Send by E-mail"),
                   shareTip, QStringLiteral("panelButton"));
    // Each "?" sits beside the send button it explains.
    infoButton = toolButton(view.findReversalView, QRect(246, 135, 30, 28), QStringLiteral("?"),
                            infoTip, QStringLiteral("panelButton"));
    savedInfoButton = toolButton(view.editReversalView, QRect(270, 122, 30, 28),
                                 QStringLiteral("?"), infoTip, QStringLiteral("panelButton"));

    // Signs, not words: they need no room for padding.
    for (QToolButton *sign : {infoButton, savedInfoButton})
        sign->setStyleSheet(QStringLiteral("padding: 0;"));

    QWidget *panel = view.shareReversalView;
    addContactButton =
        toolButton(panel, QRect(), QStringLiteral("+"),
                   QObject::tr("Add an address from your contacts"), QStringLiteral("panelButton"));
    addContactButton->setStyleSheet(QStringLiteral("padding: 0;"));
    // Drawn unlike Send when on: a switch, not a second thing to press.
    sendToSpeechButton = toolButton(panel, QRect(), QObject::tr("Also to Murmelo"),
                                    QObject::tr("Send a copy to the Murmelo collection"),
                                    QStringLiteral("shareSwitch"));
    sendToSpeechButton->setCheckable(true);
    closeShareButton =
        pushButton(panel, QRect(), QObject::tr("Close"), QStringLiteral("closeShare"));
    closeShareButton->setToolTip(QObject::tr("Close (Esc)"));
    sendReversalButton = pushButton(panel, QRect(), QObject::tr("Send"), QStringLiteral("primary"));
    sendReversalButton->setToolTip(QObject::tr("Send (Enter)"));
    layout = new ShareLayout(panel, slide,
                             {view.shareEmailTextField, addContactButton, view.emailNameTextField,
                              view.shareMessageTextView, sendToSpeechButton, closeShareButton,
                              sendReversalButton});
    view.infoText->setText(infoText());
    view.infoText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    view.infoText->setStyleSheet(
        QStringLiteral("QLabel { background: #2b2f39; color: #f2f2f5; border: 1px solid #4a5060;"
                       " border-radius: 8px; padding: 10px 26px 10px 10px; }"));
    closeInfoButton = toolButton(view.infoText, QRect(0, 4, 22, 22), QStringLiteral("\u00d7"),
                                 QObject::tr("Close (Esc)"), QStringLiteral("closeInfo"));
    closeInfoButton->setStyleSheet(QStringLiteral("padding: 0; font-size: 16px;"));
}

SharePanel::~SharePanel() = default;

} // namespace murmelo
