#include "app/FileDrops.h"

#include "app/SidebarViewController.h"
#include "app/SpeechSidebarMenuController.h"
#include "screens/record/RecordViewController.h"

#include "platform/AlertPresenter.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QPushButton>
#include <QToolButton>

namespace murmelo {

namespace {
constexpr int kRecordMenuPosition = 1;

QString droppedFile(const QDropEvent *event)
{
    const auto urls = event->mimeData()->urls();
    return urls.size() == 1 && urls.first().isLocalFile() ? urls.first().toLocalFile() : QString();
}
} // namespace

FileDrops::FileDrops(SidebarViewController *window) : QObject(window), window_(window)
{
    window->setAcceptDrops(true);
    window->installEventFilter(this);
}

bool FileDrops::canImport() const
{
    // While a job's overlay is up the menu is locked, and so are drops.
    return window_ && window_->sidebarButton()->isEnabled();
}

bool FileDrops::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != window_)
        return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
        auto *drag = static_cast<QDropEvent *>(event);
        if (canImport() && !droppedFile(drag).isEmpty())
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    if (event->type() != QEvent::Drop)
        return QObject::eventFilter(watched, event);
    auto *drop = static_cast<QDropEvent *>(event);
    const QString path = droppedFile(drop);
    if (path.isEmpty() || !canImport())
        return true;
    drop->acceptProposedAction();
    open(path);
    return true;
}

RecordViewController *FileDrops::recordScreen()
{
    if (!qobject_cast<RecordViewController *>(window_->contentViewController())) {
        if (window_->sidebarVisible())
            window_->hideSidebar();
        window_->menuViewController()->choose(kRecordMenuPosition);
    }
    return qobject_cast<RecordViewController *>(window_->contentViewController());
}

bool FileDrops::open(const QString &path)
{
    if (!window_)
        return false;
    if (!canImport()) {
        showAlert(window_, tr("Murmelo is busy"),
                  tr("“%1” was not opened: Murmelo is still working on something else. Open it "
                     "again once that is done.")
                      .arg(QFileInfo(path).fileName()));
        return false;
    }
    RecordViewController *record = recordScreen();
    if (!record)
        return false;
    record->exportFromLibrary(path);
    return true;
}

void FileDrops::chooseFile()
{
    if (!window_ || !canImport())
        return;
    if (RecordViewController *record = recordScreen())
        record->importFromLibrary();
}

} // namespace murmelo
