#pragma once

#include "library/ListPlayback.h"
#include "library/RecordingsListModel.h"
#include "library/RecordingsQuery.h"
#include "screens/library/DeletedRecordingStrip.h"
#include "screens/library/RecordingCell.h"
#include "screens/library/RecordingsListView.h"
#include "toolkit/ViewController.h"

#include <QHash>
#include <functional>

class QLabel;
class QLineEdit;

namespace murmelo {

// The list of saved reversals, newest first, following the store live. Tapping a row opens its
// panel (one open at a time); the panel plays the reversal in place, opens the record on the
// playback screen (segue "Playback", whose screen takes it as a RecordingHandOff), or deletes
// it after confirmation (for a while, Undo on the strip under the list or Ctrl+Z brings it
// back). Keys: Up/Down choose a row, Enter opens its panel and then edits,
// Space plays or stops, Delete asks to delete, Right or Tab put the keyboard on the row's
// buttons (Left/Right between them, Enter or Space presses one, Escape goes back to the list). The
// search field above the list narrows it as the user types (Ctrl+F goes there, Escape clears it,
// Down or Enter goes to the first match); the narrowed list still follows the store, and says so
// when nothing matches.
class SavedRecordingsViewController : public ViewController, public RecordingCellDelegate {
    Q_OBJECT
public:
    static constexpr int kMenuIndex = 2;
    static inline const QColor kSelectedFaceColor{0x2d, 0x35, 0x4d};
    static inline const QColor kFaceColor{0x1f, 0x23, 0x2b};

    // The length in seconds of an audio file, negative when it cannot be read.
    using DurationReader = std::function<double(const QString &path)>;

    SavedRecordingsViewController(StoreContext &context, ListPlayerFactory playerFactory,
                                  QWidget *parent = nullptr);

    // Rows show their reversal's length once they have a reader for it.
    void setDurationReader(DurationReader reader) { durationReader_ = std::move(reader); }

    RecordingsListView *tableView() const { return tableView_; }
    QLineEdit *searchField() const { return searchField_; }
    // Shown instead of the rows when the search finds nothing, or cannot search.
    QLabel *emptyLabel() const { return emptyLabel_; }
    // "Deleted "TITLE"" with Undo, under the list for a while after a deletion.
    DeletedRecordingStrip *deletedStrip() const { return deletedStrip_; }
    RecordingsListModel &model() { return model_; }
    // The record last tapped, opened or played; none once the one playing stops.
    const std::shared_ptr<Recording> &selectedRecording() const { return selectedRecording_; }
    // The row whose panel was last toggled.
    QModelIndex selectedPath() const { return selectedPath_; }

    // A tap on a row: toggles its panel and closes the one open before.
    void didSelectRow(int row);

    void recordingCellTapped(RecordingCell &cell) override;
    void playRecording(const std::shared_ptr<Recording> &recording) override;
    // Opens the playback screen on the record with its share panel sliding in.
    void shareRecording(const std::shared_ptr<Recording> &recording) override;
    void editRecording(const std::shared_ptr<Recording> &recording) override;
    void deleteRecording(const std::shared_ptr<Recording> &recording) override;
    void recordingCellLeft(RecordingCell &cell) override;
    // Publishes the record as a web page in place, through what setPublishAction() gave.
    void publishRecording(const std::shared_ptr<Recording> &recording) override;
    // The page maker lives above the library; the window's composition root hands it in.
    void setPublishAction(std::function<void(const std::shared_ptr<Recording> &)> action)
    {
        publish_ = std::move(action);
    }

    void prepareForSegue(const QString &identifier, ViewController *destination) override;

protected:
    void viewDidAppear() override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void configureCell(RecordingCell &cell, const QModelIndex &index);
    RecordingSummary summaryOf(const Recording &recording);
    // Moves the selected colour to `index`, closing the panel of the row that had it.
    void moveSelection(const QModelIndex &index);
    bool handleKey(int key);
    void playbackFinished(Recording &recording, const QString &error);
    void reportPlaybackFailure(const QString &error);
    void search(const QString &text);
    bool handleSearchKey(int key);
    void updateEmptyLabel(const QString &searchError = {});

    StoreContext &context_;
    RecordingsQuery query_;
    RecordingsListModel model_;
    ListPlayback playback_;
    QLineEdit *searchField_;
    RecordingsListView *tableView_;
    QLabel *emptyLabel_;
    DeletedRecordingStrip *deletedStrip_;
    std::shared_ptr<Recording> selectedRecording_;
    // What the playback screen does when it opens: 0 nothing, 1 share.
    int action_ = 0;
    QPersistentModelIndex selectedPath_;
    DurationReader durationReader_;
    // Saved audio files never change, so a length is read once per file.
    QHash<QString, double> durations_;
    std::function<void(const std::shared_ptr<Recording> &)> publish_;
};

} // namespace murmelo
