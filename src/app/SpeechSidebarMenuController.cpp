#include "app/SpeechSidebarMenuController.h"

#include "app/ReplaceSidebarContainerSegue.h"
#include "app/SidebarViewController.h"

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace murmelo {

namespace {
const char *const kPositionProperty = "menuPosition";
}

SpeechSidebarMenuController::SpeechSidebarMenuController(QList<SidebarMenuEntry> entries,
                                                         QWidget *parent)
    : ViewController(parent), entries_(std::move(entries))
{
    setObjectName(QStringLiteral("SpeechSidebarMenuController"));
    setStyleSheet(QStringLiteral(
        "QLabel#menuTitle { color: #8fa0ff; font-size: 22px; font-weight: bold; }"
        "QLabel#menuHint { color: #67718a; font-size: 11px; }"
        "QPushButton { color: #dfe4f2; background: transparent; border: none; text-align: left;"
        " padding: 12px 16px; font-size: 16px; border-radius: 8px; }"
        "QPushButton:hover, QPushButton:focus { background: #253042; }"
        "QPushButton:checked { background: #5b6ee1; color: white; font-weight: bold; }"
        "QPushButton:checked:focus { background: #7384f0; }"
        "QPushButton:disabled { color: #4b556a; }"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(10, 18, 10, 12);
    column->setSpacing(4);
    auto *title = new QLabel(QStringLiteral("Murmelo"), this);
    title->setObjectName(QStringLiteral("menuTitle"));
    title->setContentsMargins(16, 0, 0, 14);
    column->addWidget(title);

    for (const SidebarMenuEntry &entry : std::as_const(entries_)) {
        auto *button = new QPushButton(entry.title, this);
        button->setObjectName(QStringLiteral("menuEntry%1").arg(entry.position));
        button->setCheckable(true);
        button->setAutoExclusive(false);
        // The keyboard reaches the entries while the menu is open; a click leaves focus alone.
        button->setFocusPolicy(Qt::TabFocus);
        button->installEventFilter(this);
        button->setProperty(kPositionProperty, entry.position);
        button->setToolTip(entry.shortcut.toString(QKeySequence::NativeText));
        const int position = entry.position;
        // The menu keeps the marking itself, so a click must not flip the button on its own.
        connect(button, &QPushButton::clicked, this, [this, position] { choose(position); });
        column->addWidget(button);

        auto *action = new QAction(entry.title, this);
        action->setShortcut(entry.shortcut);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, [this, position] { choose(position); });
        actions_ << action;
    }
    column->addStretch(1);
    auto *hint = new QLabel(tr("F9 or Ctrl+M opens and closes this menu."), this);
    hint->setObjectName(QStringLiteral("menuHint"));
    hint->setWordWrap(true);
    hint->setContentsMargins(16, 0, 0, 0);
    column->addWidget(hint);
}

SidebarViewController *SpeechSidebarMenuController::sidebarParentViewController() const
{
    return sidebarOf(this);
}

QList<QAbstractButton *> SpeechSidebarMenuController::entryButtons() const
{
    // The direct children that can be selected, in the order they were laid out.
    QList<QAbstractButton *> buttons;
    for (QObject *child : children()) {
        auto *button = qobject_cast<QAbstractButton *>(child);
        if (button && button->isCheckable())
            buttons << button;
    }
    return buttons;
}

QAbstractButton *SpeechSidebarMenuController::buttonAt(int position) const
{
    for (QAbstractButton *button : entryButtons()) {
        if (button->property(kPositionProperty).toInt() == position)
            return button;
    }
    return nullptr;
}

void SpeechSidebarMenuController::selectIndex(int position)
{
    const QAbstractButton *chosen = buttonAt(position);
    for (QAbstractButton *button : entryButtons())
        button->setChecked(button == chosen);
}

void SpeechSidebarMenuController::setSelectedButton(QAbstractButton *chosen)
{
    for (QAbstractButton *button : entryButtons())
        button->setChecked(button == chosen);
    if (SidebarViewController *container = sidebarParentViewController())
        container->hideSidebar();
}

void SpeechSidebarMenuController::choose(int position)
{
    for (const SidebarMenuEntry &entry : std::as_const(entries_)) {
        if (entry.position != position)
            continue;
        setSelectedButton(buttonAt(position));
        if (ViewController *destination = entry.destination ? entry.destination() : nullptr)
            ReplaceSidebarContainerSegue(this, destination).perform();
        return;
    }
}

void SpeechSidebarMenuController::focusCurrentEntry()
{
    QAbstractButton *target = nullptr;
    for (QAbstractButton *button : entryButtons()) {
        if (!button->isEnabled())
            continue;
        if (!target || button->isChecked())
            target = button;
        if (button->isChecked())
            break;
    }
    if (target)
        target->setFocus(Qt::OtherFocusReason);
    else
        setFocus(Qt::OtherFocusReason);
}

bool SpeechSidebarMenuController::handleKey(QKeyEvent *event)
{
    if (event->modifiers() & ~Qt::KeypadModifier)
        return false;
    QList<QAbstractButton *> entries;
    for (QAbstractButton *button : entryButtons()) {
        if (button->isEnabled())
            entries << button;
    }
    const int current = int(entries.indexOf(qobject_cast<QAbstractButton *>(focusWidget())));
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down: {
        if (entries.isEmpty())
            return true;
        const int step = event->key() == Qt::Key_Down ? 1 : -1;
        const int next = current < 0 ? 0 : (current + step + entries.size()) % entries.size();
        entries[next]->setFocus(Qt::OtherFocusReason);
        return true;
    }
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (current >= 0)
            choose(entries[current]->property(kPositionProperty).toInt());
        return true;
    case Qt::Key_Escape:
        if (SidebarViewController *container = sidebarParentViewController())
            container->hideSidebar();
        return true;
    default:
        return false;
    }
}

void SpeechSidebarMenuController::keyPressEvent(QKeyEvent *event)
{
    if (!handleKey(event))
        ViewController::keyPressEvent(event);
}

bool SpeechSidebarMenuController::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && qobject_cast<QAbstractButton *>(watched) &&
        handleKey(static_cast<QKeyEvent *>(event)))
        return true;
    return ViewController::eventFilter(watched, event);
}

void SpeechSidebarMenuController::setNavigationEnabled(bool enabled)
{
    for (QAbstractButton *button : entryButtons())
        button->setEnabled(enabled);
    for (QAction *action : std::as_const(actions_))
        action->setEnabled(enabled);
}

} // namespace murmelo
