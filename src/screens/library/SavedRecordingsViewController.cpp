#include "screens/library/SavedRecordingsViewController.h"

#include "library/PhraseMarkerStore.h"
#include "library/RecordingHandOff.h"
#include "platform/AlertPresenter.h"
#include "screens/library/DeleteQuestion.h"
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
    : ViewController(parent), m_context(context), m_query(context), m_model(m_query),
      m_playback(std::move(playerFactory)), m_searchField(new QLineEdit(this)),
      m_tableView(new RecordingsListView(this)), m_emptyLabel(new QLabel(m_tableView->viewport()))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *searchBar = new QWidget(this);
    searchBar->setObjectName(QStringLiteral("searchBar"));
    searchBar->setAttribute(Qt::WA_StyledBackground);
    auto *searchLayout = new QVBoxLayout(searchBar);
    searchLayout->setContentsMargins(8, 8, 8, 8);
    searchLayout->addWidget(m_searchField);
    layout->addWidget(searchBar);
    layout->addWidget(m_tableView);
    setStyleSheet(
        QStringLiteral("QWidget#searchBar { background: %1; }"
                       "QLineEdit#searchField { background: %2; color: %3; border: 1px solid %4;"
                       " border-radius: 6px; padding: 5px; }"
                       "QLineEdit#searchField:focus { border-color: %5; }"
                       "QLabel#emptyLabel { color: %6; }")
            .arg(Theme::background.name(), Theme::surface.name(), Theme::text.name(),
                 Theme::raised.name(), Theme::highlight.name(), Theme::secondaryText.name()));

    m_searchField->setObjectName(QStringLiteral("searchField"));
    m_searchField->setPlaceholderText(tr("Search titles, messages and markers"));
    m_searchField->setClearButtonEnabled(true);
    m_searchField->setAccessibleName(tr("Search saved recordings"));
    m_searchField->installEventFilter(this);
    connect(m_searchField, &QLineEdit::textChanged, this, &SavedRecordingsViewController::search);
    auto *find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        m_searchField->setFocus(Qt::ShortcutFocusReason);
        m_searchField->selectAll();
    });

    m_emptyLabel->setObjectName(QStringLiteral("emptyLabel"));
    m_emptyLabel->setAlignment(Qt::AlignCenter);
    m_emptyLabel->setWordWrap(true);
    m_emptyLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_emptyLabel->hide();

    m_tableView->setCellConfigurator(
        [this](RecordingCell &cell, const QModelIndex &index) { configureCell(cell, index); });
    m_tableView->setModel(&m_model);
    m_tableView->installEventFilter(this);

    // Rows come and go while a search is shown: a save elsewhere may add a match or take one away.
    connect(&m_model, &QAbstractItemModel::rowsInserted, this, [this] { updateEmptyLabel(); });
    connect(&m_model, &QAbstractItemModel::rowsRemoved, this, [this] { updateEmptyLabel(); });

    m_playback.setMarkHandler([this](Recording &recording) { m_model.refresh(recording); });
    m_playback.setFinishedHandler(
        [this](Recording &recording, const QString &error) { playbackFinished(recording, error); });
}

void SavedRecordingsViewController::viewDidAppear()
{
    if (sidebarViewController())
        sidebarViewController()->selectIndex(kMenuIndex);
    // Markers may have been written on the playback screen since the search last ran.
    m_model.searchAgain();
    m_tableView->setFocus();
}

void SavedRecordingsViewController::search(const QString &text)
{
    StoreError error;
    m_model.setSearchText(text, &error);
    updateEmptyLabel(error ? error.description : QString());
}

void SavedRecordingsViewController::updateEmptyLabel(const QString &searchError)
{
    const QString text = m_model.searchText().trimmed();
    const bool show = !searchError.isEmpty() || (!text.isEmpty() && m_model.rowCount() == 0);
    if (!searchError.isEmpty())
        m_emptyLabel->setText(tr("The library cannot be searched: %1").arg(searchError));
    else if (show)
        m_emptyLabel->setText(tr("No saved recordings match “%1”").arg(text));
    m_emptyLabel->setGeometry(m_tableView->viewport()->rect().adjusted(16, 0, -16, 0));
    m_emptyLabel->setVisible(show);
    m_emptyLabel->raise();
}

bool SavedRecordingsViewController::handleSearchKey(int key)
{
    switch (key) {
    case Qt::Key_Escape:
        // A first Escape clears the search, a second one leaves the field for the list.
        if (m_searchField->text().isEmpty())
            m_tableView->setFocus();
        else
            m_searchField->clear();
        return true;
    case Qt::Key_Down:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (m_model.rowCount() > 0) {
            moveSelection(m_model.index(0));
            m_tableView->setCurrentIndex(m_model.index(0));
            m_tableView->scrollTo(m_model.index(0));
            m_tableView->setFocus();
        }
        return true;
    default:
        return false;
    }
}

void SavedRecordingsViewController::configureCell(RecordingCell &cell, const QModelIndex &index)
{
    auto recording = m_model.recordingAt(index.row());
    // A mark reaches the file when some other save happens while a row plays; one without a
    // player here is left from an earlier run. Checked per row shown, so opening the list never
    // reads the whole library.
    if (recording && recording->playingValue() && recording != m_playback.playingRecording())
        recording->setPrimitivePlayingValue(false);
    cell.setDelegate(this);
    const RecordingSummary summary = recording ? summaryOf(*recording) : RecordingSummary();
    cell.setRecording(std::move(recording), summary);
    cell.setFaceColor(index == m_selectedPath ? kSelectedFaceColor : kFaceColor);
    cell.setSelected(index == m_selectedPath);
}

RecordingSummary SavedRecordingsViewController::summaryOf(const Recording &recording)
{
    RecordingSummary summary;
    const QString path = recording.reverseAudioPath();
    if (m_durationReader && !path.isEmpty()) {
        auto known = m_durations.constFind(path);
        if (known == m_durations.constEnd())
            known = m_durations.insert(path, m_durationReader(path));
        summary.seconds = *known;
    }
    // A row whose markers cannot be read shows none rather than no row.
    if (recording.rowID() > 0)
        summary.markerCount = int(PhraseMarkerStore(m_context).markers(recording.rowID()).size());
    return summary;
}

void SavedRecordingsViewController::recordingCellTapped(RecordingCell &cell)
{
    const QModelIndex index = m_tableView->indexOfCell(cell);
    if (index.isValid())
        didSelectRow(index.row());
}

void SavedRecordingsViewController::didSelectRow(int row)
{
    const QModelIndex index = m_model.index(row);
    if (!index.isValid())
        return;
    m_selectedRecording = m_model.recordingAt(row);
    if (RecordingCell *cell = m_tableView->cellForRow(row)) {
        cell->togglePanel();
        cell->setFaceColor(kSelectedFaceColor);
        cell->setSelected(true);
    }
    moveSelection(index);
    m_tableView->setCurrentIndex(index);
    m_tableView->setFocus();
}

void SavedRecordingsViewController::moveSelection(const QModelIndex &index)
{
    if (index == m_selectedPath)
        return;
    if (m_selectedPath.isValid()) {
        if (RecordingCell *previous = m_tableView->cellForRow(m_selectedPath.row())) {
            previous->setFaceColor(kFaceColor);
            previous->setSelected(false);
            previous->hidePanel();
        }
    }
    m_selectedPath = index;
    m_selectedRecording = m_model.recordingAt(index.row());
    if (RecordingCell *cell = m_tableView->cellForRow(index.row())) {
        cell->setFaceColor(kSelectedFaceColor);
        cell->setSelected(true);
    }
}

void SavedRecordingsViewController::recordingCellLeft(RecordingCell &)
{
    m_tableView->setFocus(Qt::OtherFocusReason);
}

void SavedRecordingsViewController::playRecording(const std::shared_ptr<Recording> &recording)
{
    QString error;
    switch (m_playback.toggle(recording, &error)) {
    case ListPlayback::Started:
        m_selectedRecording = recording;
        break;
    case ListPlayback::Stopped:
        m_selectedRecording.reset();
        break;
    case ListPlayback::Failed:
        reportPlaybackFailure(error);
        break;
    }
}

void SavedRecordingsViewController::playbackFinished(Recording &recording, const QString &error)
{
    if (m_selectedRecording.get() == &recording)
        m_selectedRecording.reset();
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
    m_playback.stop();
    m_selectedRecording = recording;
    performSegue(QStringLiteral("Playback"));
}

void SavedRecordingsViewController::shareRecording(const std::shared_ptr<Recording> &recording)
{
    m_action = 1;
    editRecording(recording);
}

void SavedRecordingsViewController::publishRecording(const std::shared_ptr<Recording> &recording)
{
    m_selectedRecording = recording;
    if (m_publish)
        m_publish(recording);
}

void SavedRecordingsViewController::prepareForSegue(const QString &identifier,
                                                    ViewController *destination)
{
    if (identifier != QLatin1String("Playback"))
        return;
    if (auto *handOff = dynamic_cast<RecordingHandOff *>(destination)) {
        handOff->setRecording(m_selectedRecording);
        if (m_action == 1)
            handOff->share();
    }
    m_action = 0;
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
                           if (self->m_playback.playingRecording() == recording)
                               self->m_playback.stop();
                           if (self->m_selectedRecording == recording)
                               self->m_selectedRecording.reset();
                           recording->deleteObject();
                           StoreError error;
                           if (!self->m_context.save(&error))
                               showAlert(self, tr("The reversal could not be deleted"),
                                         error.description);
                       }),
        this);
}

bool SavedRecordingsViewController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_tableView && event->type() == QEvent::KeyPress &&
        handleKey(static_cast<QKeyEvent *>(event)->key()))
        return true;
    if (watched == m_tableView && event->type() == QEvent::Resize)
        updateEmptyLabel();
    if (watched == m_searchField && event->type() == QEvent::KeyPress &&
        handleSearchKey(static_cast<QKeyEvent *>(event)->key()))
        return true;
    return ViewController::eventFilter(watched, event);
}

bool SavedRecordingsViewController::handleKey(int key)
{
    // The keys follow the selected row rather than the view's own cursor, which Qt puts on the
    // first row as soon as the list has the focus.
    if (key == Qt::Key_Up && (!m_selectedPath.isValid() || m_selectedPath.row() == 0)) {
        m_searchField->setFocus(Qt::OtherFocusReason);
        return true;
    }
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
        const int rows = m_model.rowCount();
        if (rows == 0)
            return true;
        const int row = !m_selectedPath.isValid() ? 0
                        : key == Qt::Key_Up       ? std::max(0, m_selectedPath.row() - 1)
                                                  : std::min(rows - 1, m_selectedPath.row() + 1);
        const QModelIndex index = m_model.index(row);
        moveSelection(index);
        m_tableView->setCurrentIndex(index);
        m_tableView->scrollTo(index);
        return true;
    }
    const QModelIndex current = m_selectedPath;
    if (!current.isValid())
        return false;
    const auto recording = m_model.recordingAt(current.row());
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        const RecordingCell *cell = m_tableView->cellForRow(current.row());
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
        if (RecordingCell *cell = m_tableView->cellForRow(current.row())) {
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
