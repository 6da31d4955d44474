#pragma once

#include "library/RecordingHold.h"

#include <QTimer>
#include <QWidget>
#include <chrono>
#include <memory>

class QLabel;
class QPushButton;
class QShortcut;

namespace murmelo {

class StoreContext;

// The strip under the saved-recordings list after a deletion: "Deleted "TITLE"" with an Undo
// button (and Ctrl+Z on the screen) for a while. Undo brings the recording back whole; when the
// strip goes, and when the application quits, the deleted recording's files go for good.
class DeletedRecordingStrip : public QWidget {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kShownFor{10000};

    // Ctrl+Z on `screen` undoes while the strip shows.
    DeletedRecordingStrip(StoreContext &context, QWidget *screen);
    ~DeletedRecordingStrip() override;

    // Shows the strip for a recording just deleted; one shown before lets its recording go.
    void offer(std::unique_ptr<RecordingHold> hold);
    // Brings the recording back; an undo that cannot be done says why and changes nothing.
    void undo();
    // The strip goes and the held recording with it.
    void letGo();

    bool isOffering() const { return bool(hold_); }
    QPushButton *undoButton() const { return undoButton_; }
    QLabel *label() const { return label_; }
    // How long the strip shows; a strip showing now starts its time afresh.
    void setShownFor(std::chrono::milliseconds time);

private:
    StoreContext &context_;
    std::unique_ptr<RecordingHold> hold_;
    QLabel *label_;
    QPushButton *undoButton_;
    QShortcut *undoKey_;
    QTimer timer_;
};

} // namespace murmelo
