#include "screens/library/SavedRecordingsViewController.h"

#include "library/PhraseMarkerStore.h"
#include "platform/AlertPresenter.h"
#include "screens/library/DeleteQuestion.h"
#include "screens/playback/RecordingHandOff.h"
#include "toolkit/Theme.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QShortcut>
#include <QVBoxLayout>
#include <algorithm>

namespace murmelo {

SavedRecordingsViewController::SavedRecordingsViewController(StoreContext &context,
                                                             ListPlayerFactory playerFactory,
                                                             QWidget *parent)
    : ViewController(parent), context_(context), query_(context), model_(query_),
      playback_(std::move(playerFactory)), searchField_(new QLineEdit(this)),
      tableView_(new RecordingsListView(this)), emptyLabel_(new QLabel(tableView_->viewport())),
      deletedStrip_(new DeletedRecordingStrip(context, this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *searchBar = new QWidget(this);
    searchBar->setObjectName(QStringLiteral("searchBar"));
    searchBar->setAttribute(Qt::WA_StyledBackground);
    auto *searchLayout = new QVBoxLayout(searchBar);
    searchLayout->setContentsMargins(8, 8, 8, 8);
    searchLayout->addWidget(searchField_);
    layout->addWidget(searchBar);
    layout->addWidget(tableView_);
    layout->addWidget(deletedStrip_);
    setStyleSheet(
        QStringLiteral("QWidget#searchBar { background: %1; }"
                       "QLineEdit#searchField { background: %2; color: %3; border: 1px solid %4;"
                       " border-radius: 6px; padding: 5px; }"
                       "QLineEdit#searchField:focus { border-color: %5; }"
                       "QLabel#emptyLabel { color: %6; }")
            .arg(Theme::background.name(), Theme::surface.name(), Theme::text.name(),
                 Theme::raised.name(), Theme::highlight.name(), Theme::secondaryText.name()));

    searchField_->setObjectName(QStringLiteral("searchField"));
    searchField_->setPlaceholderText(tr("Search titles, messages and markers"));
    searchField_->setClearButtonEnabled(true);
    searchField_->setAccessibleName(tr("Search saved recordings"));
    tableView_->setAccessibleName(tr("Saved recordings"));
    searchField_->installEventFilter(this);
    connect(searchField_, &QLineEdit::textChanged, this, &SavedRecordingsViewController::search);
    auto *find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        searchField_->setFocus(Qt::ShortcutFocusReason);
        searchField_->selectAll();
    });

    emptyLabel_->setObjectName(QStringLiteral("emptyLabel"));
    emptyLabel_->setAlignment(Qt::AlignCenter);
    emptyLabel_->setWordWrap(true);
    emptyLabel_->setAttribute(Qt::WA_TransparentForMouseEvents);
    emptyLabel_->hide();

    tableView_->setCellConfigurator(
        [this](RecordingCell &cell, const QModelIndex &index) { configureCell(cell, index); });
    tableView_->setModel(&model_);
    tableView_->installEventFilter(this);

    // Rows come and go while a search is shown: a save elsewhere may add a match or take one away.
    connect(&model_, &QAbstractItemModel::rowsInserted, this, [this] { updateEmptyLabel(); });
    connect(&model_, &QAbstractItemModel::rowsRemoved, this, [this] { updateEmptyLabel(); });

    playback_.setMarkHandler([this](Recording &recording) { model_.refresh(recording); });
    playback_.setFinishedHandler(
        [this](Recording &recording, const QString &error) { playbackFinished(recording, error); });
}

void SavedRecordingsViewController::viewDidAppear()
{
    if (sidebarViewController())
        sidebarViewController()->selectIndex(kMenuIndex);
    // Markers may have been written on the playback screen since the search last ran.
    model_.searchAgain();
    tableView_->setFocus();
}

void SavedRecordingsViewController::search(const QString &text)
{
    StoreError error;
    model_.setSearchText(text, &error);
    updateEmptyLabel(error ? error.description : QString());
}

void SavedRecordingsViewController::updateEmptyLabel(const QString &searchError)
{
    const QString text = model_.searchText().trimmed();
    const bool show = !searchError.isEmpty() || (!text.isEmpty() && model_.rowCount() == 0);
    if (!searchError.isEmpty())
        emptyLabel_->setText(tr("The library cannot be searched: %1").arg(searchError));
    else if (show)
        emptyLabel_->setText(tr("No saved recordings match “%1”").arg(text));
    emptyLabel_->setGeometry(tableView_->viewport()->rect().adjusted(16, 0, -16, 0));
    emptyLabel_->setVisible(show);
    emptyLabel_->raise();
}

bool SavedRecordingsViewController::handleSearchKey(int key)
{
    switch (key) {
    case Qt::Key_Escape:
        // A first Escape clears the search, a second one leaves the field for the list.
        if (searchField_->text().isEmpty())
            tableView_->setFocus();
        else
            searchField_->clear();
        return true;
    case Qt::Key_Down:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (model_.rowCount() > 0) {
            moveSelection(model_.index(0));
            tableView_->setCurrentIndex(model_.index(0));
            tableView_->scrollTo(model_.index(0));
            tableView_->setFocus();
        }
        return true;
    default:
        return false;
    }
}

void SavedRecordingsViewController::configureCell(RecordingCell &cell, const QModelIndex &index)
{
    auto recording = model_.recordingAt(index.row());
    // A mark reaches the file when some other save happens while a row plays; one without a
    // player here is left from an earlier run. Checked per row shown, so opening the list never
    // reads the whole library.
    if (recording && recording->playingValue() && recording != playback_.playingRecording())
        recording->setPrimitivePlayingValue(false);
    cell.setDelegate(this);
    const RecordingSummary summary = recording ? summaryOf(*recording) : RecordingSummary();
    cell.setRecording(std::move(recording), summary);
    cell.setFaceColor(index == selectedPath_ ? kSelectedFaceColor : kFaceColor);
    cell.setSelected(index == selectedPath_);
}

RecordingSummary SavedRecordingsViewController::summaryOf(const Recording &recording)
{
    RecordingSummary summary;
    const QString path = recording.reverseAudioPath();
    if (durationReader_ && !path.isEmpty()) {
        auto known = durations_.constFind(path);
        if (known == durations_.constEnd())
            known = durations_.insert(path, durationReader_(path));
        summary.seconds = *known;
    }
    // A row whose markers cannot be read shows none rather than no row.
    if (recording.rowID() > 0)
        summary.markerCount = int(PhraseMarkerStore(context_).markers(recording.rowID()).size());
    return summary;
}

void SavedRecordingsViewController::recordingCellTapped(RecordingCell &cell)
{
    const QModelIndex index = tableView_->indexOfCell(cell);
    if (index.isValid())
        didSelectRow(index.row());
}

void SavedRecordingsViewController::didSelectRow(int row)
{
    const QModelIndex index = model_.index(row);
    if (!index.isValid())
        return;
    selectedRecording_ = model_.recordingAt(row);
    if (RecordingCell *cell = tableView_->cellForRow(row)) {
        cell->togglePanel();
        cell->setFaceColor(kSelectedFaceColor);
        cell->setSelected(true);
    }
    moveSelection(index);
    tableView_->setCurrentIndex(index);
    tableView_->setFocus();
}

void SavedRecordingsViewController::moveSelection(const QModelIndex &index)
{
    if (index == selectedPath_)
        return;
    if (selectedPath_.isValid()) {
        if (RecordingCell *previous = tableView_->cellForRow(selectedPath_.row())) {
            previous->setFaceColor(kFaceColor);
            previous->setSelected(false);
            previous->hidePanel();
        }
    }
    selectedPath_ = index;
    selectedRecording_ = model_.recordingAt(index.row());
    if (RecordingCell *cell = tableView_->cellForRow(index.row())) {
        cell->setFaceColor(kSelectedFaceColor);
        cell->setSelected(true);
    }
}

void SavedRecordingsViewController::recordingCellLeft(RecordingCell &)
{
    tableView_->setFocus(Qt::OtherFocusReason);
}

void SavedRecordingsViewController::playRecording(const std::shared_ptr<Recording> &recording)
{
    QString error;
    switch (playback_.toggle(recording, &error)) {
    case ListPlayback::Started:
        selectedRecording_ = recording;
        break;
    case ListPlayback::Stopped:
        selectedRecording_.reset();
        break;
    case ListPlayback::Failed:
        reportPlaybackFailure(error);
        break;
    }
}

void SavedRecordingsViewController::playbackFinished(Recording &recording, const QString &error)
{
    if (selectedRecording_.get() == &recording)
        selectedRecording_.reset();
    if (!error.isEmpty())
        reportPlaybackFailure(error);
}

void SavedRecordingsViewController::reportPlaybackFailure(const QString &error)
{
    showAlert(this, tr("This reversal cannot be played"), error);
}

void SavedRecordingsViewController::editRecording(const std::shared_ptr<Recording> &recording)
{
    // The playback screen plays on its own; two sounds at once would only confuse.
    playback_.stop();
    selectedRecording_ = recording;
    performSegue(QStringLiteral("Playback"));
}

void SavedRecordingsViewController::shareRecording(const std::shared_ptr<Recording> &recording)
{
    action_ = 1;
    editRecording(recording);
}

void SavedRecordingsViewController::publishRecording(const std::shared_ptr<Recording> &recording)
{
    selectedRecording_ = recording;
    if (publish_)
        publish_(recording);
}

void SavedRecordingsViewController::prepareForSegue(const QString &identifier,
                                                    ViewController *destination)
{
    if (identifier != QLatin1String("Playback"))
        return;
    if (auto *handOff = dynamic_cast<RecordingHandOff *>(destination)) {
        handOff->setRecording(selectedRecording_);
        if (action_ == 1)
            handOff->share();
    }
    action_ = 0;
}

void SavedRecordingsViewController::deleteRecording(const std::shared_ptr<Recording> &recording)
{
    QPointer<SavedRecordingsViewController> self(this);
    AlertPresenter::current().present(
        deleteQuestion(recording->name(),
                       [self, recording] {
                           if (!self || recording->isDeleted())
                               return;
                           // Its files are about to go: it must not go on playing from them.
                           if (self->playback_.playingRecording() == recording)
                               self->playback_.stop();
                           if (self->selectedRecording_ == recording)
                               self->selectedRecording_.reset();
                           // Kept for a while: the strip under the list can bring it back.
                           StoreError error;
                           auto hold = RecordingHold::hold(self->context_, recording, &error);
                           if (hold)
                               self->deletedStrip_->offer(std::move(hold));
                           else
                               showAlert(self, tr("The reversal could not be deleted"),
                                         error.description);
                       }),
        this);
}

bool SavedRecordingsViewController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == tableView_ && event->type() == QEvent::KeyPress &&
        handleKey(static_cast<QKeyEvent *>(event)->key()))
        return true;
    if (watched == tableView_ && event->type() == QEvent::Resize)
        updateEmptyLabel();
    if (watched == searchField_ && event->type() == QEvent::KeyPress &&
        handleSearchKey(static_cast<QKeyEvent *>(event)->key()))
        return true;
    return ViewController::eventFilter(watched, event);
}

bool SavedRecordingsViewController::handleKey(int key)
{
    // The keys follow the selected row rather than the view's own cursor, which Qt puts on the
    // first row as soon as the list has the focus.
    if (key == Qt::Key_Up && (!selectedPath_.isValid() || selectedPath_.row() == 0)) {
        searchField_->setFocus(Qt::OtherFocusReason);
        return true;
    }
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
        const int rows = model_.rowCount();
        if (rows == 0)
            return true;
        const int row = !selectedPath_.isValid() ? 0
                        : key == Qt::Key_Up      ? std::max(0, selectedPath_.row() - 1)
                                                 : std::min(rows - 1, selectedPath_.row() + 1);
        const QModelIndex index = model_.index(row);
        moveSelection(index);
        tableView_->setCurrentIndex(index);
        tableView_->scrollTo(index);
        return true;
    }
    const QModelIndex current = selectedPath_;
    if (!current.isValid())
        return false;
    const auto recording = model_.recordingAt(current.row());
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        const RecordingCell *cell = tableView_->cellForRow(current.row());
        if (cell && cell->isPanelOpen())
            editRecording(recording);
        else
            didSelectRow(current.row());
        return true;
    }
    case Qt::Key_Space:
        playRecording(recording);
        return true;
    case Qt::Key_Right:
    case Qt::Key_Tab:
        if (RecordingCell *cell = tableView_->cellForRow(current.row())) {
            cell->focusPanel();
            return true;
        }
        return false;
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        deleteRecording(recording);
        return true;
    default:
        return false;
    }
}

} // namespace murmelo
