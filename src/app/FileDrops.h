#pragma once

#include <QObject>
#include <QPointer>

namespace murmelo {

class SidebarViewController;

// A file dropped anywhere in the window is imported and reversed, as on the record screen:
// from another screen the menu's way to the record screen is taken first, so an unsaved
// reversal is still asked about.
class FileDrops : public QObject {
    Q_OBJECT
public:
    explicit FileDrops(SidebarViewController *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool canImport() const;

    QPointer<SidebarViewController> window_;
};

} // namespace murmelo
