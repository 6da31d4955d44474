#include "screens/library/DeletedRecordingStrip.h"

#include "platform/AlertPresenter.h"
#include "toolkit/Theme.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>

namespace murmelo {

DeletedRecordingStrip::DeletedRecordingStrip(StoreContext &context, QWidget *screen)
    : QWidget(screen), context_(context), label_(new QLabel(this)),
      undoButton_(new QPushButton(tr("Undo"), this)),
      undoKey_(new QShortcut(QKeySequence::Undo, screen))
{
    setObjectName(QStringLiteral("deletedStrip"));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("QWidget#deletedStrip { background: %1; }"
                                 "QLabel { color: %2; }"
                                 "QPushButton { color: %3; background: %4; border: none;"
                                 " border-radius: 4px; padding: 5px 14px; }")
                      .arg(Theme::raised.name(), Theme::text.name(), Theme::accent.name(),
                           Theme::surface.name()));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 6, 8, 6);
    layout->addWidget(label_, 1);
    layout->addWidget(undoButton_);
    undoButton_->setAccessibleName(tr("Undo the deletion"));
    // A click leaves the keyboard with the list.
    undoButton_->setFocusPolicy(Qt::TabFocus);
    label_->setTextFormat(Qt::PlainText);
    connect(undoButton_, &QPushButton::clicked, this, &DeletedRecordingStrip::undo);
    // Only while the keyboard is on the list's screen: other screens have undo histories of their
    // own.
    undoKey_->setContext(Qt::WidgetWithChildrenShortcut);
    undoKey_->setEnabled(false);
    connect(undoKey_, &QShortcut::activated, this, &DeletedRecordingStrip::undo);
    timer_.setSingleShot(true);
    timer_.setInterval(kShownFor);
    connect(&timer_, &QTimer::timeout, this, &DeletedRecordingStrip::letGo);
    // Nothing deleted waits past the end of the application.
    if (QCoreApplication::instance())
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
                &DeletedRecordingStrip::letGo);
    hide();
}

DeletedRecordingStrip::~DeletedRecordingStrip() = default;

void DeletedRecordingStrip::offer(std::unique_ptr<RecordingHold> hold)
{
    hold_ = std::move(hold);
    if (!hold_) {
        letGo();
        return;
    }
    label_->setText(tr("Deleted \"%1\"").arg(hold_->title()));
    undoKey_->setEnabled(true);
    show();
    timer_.start();
}

void DeletedRecordingStrip::setShownFor(std::chrono::milliseconds time)
{
    timer_.setInterval(time);
    if (timer_.isActive())
        timer_.start();
}

void DeletedRecordingStrip::undo()
{
    if (!hold_)
        return;
    StoreError error;
    if (hold_->restore(context_, &error)) {
        letGo();
        return;
    }
    // Nothing changed; the strip stays for its time in case the cause is mended.
    showAlert(this, tr("Couldn't Undo the Deletion"), error.description);
}

void DeletedRecordingStrip::letGo()
{
    timer_.stop();
    hold_.reset();
    undoKey_->setEnabled(false);
    hide();
}

} // namespace murmelo
