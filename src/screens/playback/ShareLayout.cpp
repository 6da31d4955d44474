#include "screens/playback/ShareLayout.h"

#include "screens/playback/SlidePanel.h"

#include <QBoxLayout>
#include <QEvent>
#include <QWidget>
#include <algorithm>

namespace murmelo {

namespace {
constexpr int kSpacing = 10;
constexpr int kFieldHeight = 34;
constexpr int kButtonHeight = 36;
constexpr int kButtonWidth = 76;
constexpr int kMessageHeight = 44; // two lines
} // namespace

ShareLayout::ShareLayout(QWidget *panel, SlidePanel *slide, const Controls &controls)
    : QObject(panel), panel_(panel), slide_(slide), controls_(controls),
      column_(new QVBoxLayout(panel))
{
    column_->setSpacing(kSpacing);
    auto *recipients = new QHBoxLayout;
    recipients->setSpacing(6);
    recipients->addWidget(controls.recipients, 1);
    recipients->addWidget(controls.addContact);
    column_->addLayout(recipients);
    column_->addWidget(controls.name);
    column_->addWidget(controls.message, 1);
    for (QWidget *field : {controls.recipients, controls.name})
        field->setFixedHeight(kFieldHeight);
    controls.addContact->setFixedSize(38, kFieldHeight);
    controls.message->setMinimumHeight(kMessageHeight);
    for (QWidget *button : {controls.sendToSpeech, controls.close, controls.send}) {
        button->setMinimumHeight(kButtonHeight);
        button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    }
    for (QWidget *button : {controls.close, controls.send})
        button->setMinimumWidth(kButtonWidth);
    panel->parentWidget()->installEventFilter(this);
    panel->installEventFilter(this);
    place();
}

void ShareLayout::keepClearOf(QWidget *bar)
{
    if (!bar)
        return;
    bars_ << bar;
    bar->installEventFilter(this);
    place();
}

int ShareLayout::keyboardInset() const
{
    const QWidget *screen = panel_->parentWidget();
    const int bottom = screen->mapToGlobal(QPoint(0, screen->height())).y();
    int inset = 0;
    for (const QPointer<QWidget> &bar : bars_) {
        if (!bar || !bar->isVisible())
            continue;
        // Only a bar over the screen's bottom edge covers the panel; one standing on an
        // on-screen keyboard further up leaves the window's own avoidance to do its work.
        const QRect frame(bar->mapToGlobal(QPoint(0, 0)), bar->size());
        if (frame.top() < bottom && frame.bottom() + 1 >= bottom)
            inset = std::max(inset, bottom - frame.top());
    }
    return std::min(inset, screen->height() / 2);
}

bool ShareLayout::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (watched == panel_->parentWidget()) {
        if (type == QEvent::Resize)
            place();
    } else if (watched == panel_) {
        if (type == QEvent::Hide)
            place();
    } else if (type == QEvent::Show || type == QEvent::Hide || type == QEvent::Move ||
               type == QEvent::Resize) {
        place();
    }
    return QObject::eventFilter(watched, event);
}

void ShareLayout::place()
{
    const QWidget *screen = panel_->parentWidget();
    const int width = screen->width();
    const int columnWidth = std::min(width - 2 * kMargin, kMaxColumnWidth);
    const int side = (width - columnWidth) / 2;
    const int oneRow = controls_.sendToSpeech->sizeHint().width() +
                       std::max(kButtonWidth, controls_.close->sizeHint().width()) +
                       std::max(kButtonWidth, controls_.send->sizeHint().width()) + 3 * kSpacing;
    const bool ownRow = oneRow > columnWidth;
    if (!actions_ || ownRow != ownRow_)
        arrangeActions(ownRow);
    // The panel keeps the room it made for a bar until it closes: a click on one of its
    // buttons takes the focus from the input and so the bar away, and a panel shrinking under
    // the pointer would let that click land beside the button.
    inset_ = panel_->isVisible() ? std::max(inset_, keyboardInset()) : keyboardInset();
    const int inset = inset_;
    column_->setContentsMargins(side, 16, side, 16 + inset);
    const int height = std::max(kHeight + inset, column_->minimumSize().height());
    panel_->resize(width, height);
    slide_->settle();
}

void ShareLayout::arrangeActions(bool ownRow)
{
    if (actions_) {
        column_->removeItem(actions_);
        delete actions_;
    }
    ownRow_ = ownRow;
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(kSpacing);
    if (ownRow) {
        // Close and Send halve the row below the switch.
        actions_ = new QVBoxLayout;
        actions_->setSpacing(kSpacing);
        actions_->addWidget(controls_.sendToSpeech);
        buttons->addWidget(controls_.close, 1);
        buttons->addWidget(controls_.send, 1);
    } else {
        actions_ = buttons;
        buttons->addWidget(controls_.sendToSpeech);
        buttons->addStretch(1);
        buttons->addWidget(controls_.close);
        buttons->addWidget(controls_.send);
    }
    if (buttons != actions_)
        actions_->addLayout(buttons);
    column_->addLayout(actions_);
}

} // namespace murmelo
