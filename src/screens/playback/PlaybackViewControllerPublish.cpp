// "Publish…" on the playback screen: a saved recording as a web page.
#include "screens/playback/PlaybackViewController.h"

#include "screens/playback/PublishFlow.h"

#include <QShortcut>
#include <QToolButton>

namespace murmelo {

void PlaybackViewController::setUpPublishing()
{
    publish_ = new PublishFlow(store_, this);
    // Beside "Send by E-mail" on a saved recording's panel: both send the find somewhere.
    publishButton_ = new QToolButton(view_.editReversalView);
    publishButton_->setObjectName(QStringLiteral("panelButton"));
    publishButton_->setText(tr("Publish…"));
    publishButton_->setToolTip(tr("Publish as a web page (Ctrl+Shift+P)"));
    publishButton_->setGeometry(164, 116, 100, 40);
    publishButton_->setFocusPolicy(Qt::NoFocus);
    const auto publish = [this] {
        if (recording() && view_.waitView->isHidden() && !isCropMode())
            publish_->publish(recording());
    };
    connect(publishButton_, &QToolButton::clicked, this, publish);
    auto *shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P), this);
    shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    connect(shortcut, &QShortcut::activated, this, publish);
}

} // namespace murmelo
