#pragma once

#include "toolkit/ViewController.h"

#include <QKeySequence>
#include <QList>

class QAbstractButton;
class QAction;

namespace murmelo {

class SidebarViewController;

// One menu entry: its position among the entries (which content screens mark themselves with),
// its title, its keyboard shortcut and the screen it leads to.
struct SidebarMenuEntry {
    int position;
    QString title;
    QKeySequence shortcut;
    Storyboard::Factory destination;
};

// The side menu. Choosing an entry replaces the container's content with a new screen of that
// entry and slides the menu shut.
class SpeechSidebarMenuController : public ViewController {
    Q_OBJECT
public:
    explicit SpeechSidebarMenuController(QList<SidebarMenuEntry> entries,
                                         QWidget *parent = nullptr);

    // Marks the entry at this position without navigating; a position no entry has leaves all
    // unmarked.
    void selectIndex(int position);
    // Marks the tapped entry and closes the menu.
    void setSelectedButton(QAbstractButton *button);
    // What tapping (or the shortcut of) the entry at this position does.
    void choose(int position);
    // While a job runs the user may not leave its screen.
    void setNavigationEnabled(bool enabled);

    // Gives the keyboard to the marked entry (or the first one) while the menu is open.
    void focusCurrentEntry();

    SidebarViewController *sidebarParentViewController() const;
    QList<QAbstractButton *> entryButtons() const;
    // The shortcuts, to be added to the window so they work wherever focus is.
    QList<QAction *> shortcutActions() const { return actions_; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QAbstractButton *buttonAt(int position) const;
    // Up/Down walk the entries, Enter (or Space) chooses, Escape closes the menu.
    bool handleKey(QKeyEvent *event);

    QList<SidebarMenuEntry> entries_;
    QList<QAction *> actions_;
};

} // namespace murmelo
