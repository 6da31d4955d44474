#pragma once

#include <QObject>
#include <QPointer>

namespace murmelo {

class SidebarViewController;

// A file dropped anywhere in the window, opened from the desktop or with Ctrl+O is imported and
// reversed, as on the record screen: from another screen the menu's way to the record screen is
// taken first, so an unsaved reversal is still asked about.
class FileDrops : public QObject {
    Q_OBJECT
public:
    explicit FileDrops(SidebarViewController *window);

    // Imports `path` as a drop would. While a job holds the window nothing is opened and the
    // user is told so; false then.
    bool open(const QString &path);
    // Opens the music picker on the record screen (Ctrl+O), from whatever screen is shown.
    void chooseFile();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool canImport() const;
    // The record screen, reached through the menu when another screen is shown.
    class RecordViewController *recordScreen();

    QPointer<SidebarViewController> window_;
};

} // namespace murmelo
