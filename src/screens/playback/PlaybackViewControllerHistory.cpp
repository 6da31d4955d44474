// The playback screen's undo history: which edits become steps, the keys that walk it, and
// the marker edges dragged on the waveform or nudged from the keyboard.
#include "screens/playback/PlaybackViewController.h"

#include "library/Recording.h"
#include "library/StoreContext.h"
#include "platform/AlertPresenter.h"
#include "screens/library/DeleteQuestion.h"
#include "screens/playback/MarkerListView.h"
#include "screens/playback/MarkerOverlay.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QSlider>
#include <algorithm>
#include <cmath>

namespace murmelo {

namespace {
// How long the strip naming a step stays.
constexpr int kStripMilliseconds = 2500;
} // namespace

void PlaybackViewController::setUpHistory()
{
    historyStrip_ = new QLabel(this);
    historyStrip_->setObjectName(QStringLiteral("historyStrip"));
    historyStrip_->setAlignment(Qt::AlignCenter);
    historyStrip_->setAttribute(Qt::WA_TransparentForMouseEvents);
    historyStrip_->setStyleSheet(QStringLiteral("QLabel#historyStrip { background: rgba(20, 22, 28,"
                                                " 220); color: white; border-radius: 6px;"
                                                " padding: 4px 10px; }"));
    historyStrip_->hide();
    historyStripTimer_.setSingleShot(true);
    historyStripTimer_.setInterval(kStripMilliseconds);
    connect(&historyStripTimer_, &QTimer::timeout, historyStrip_, &QWidget::hide);
    connect(&history_, &EditHistory::applied, this, &PlaybackViewController::historyApplied);
    connect(&history_, &EditHistory::recorded, this,
            [this] { showHistoryStrip(history_.undoText()); });
    // The waveform's tooltip names the next undo, also once a history was cleared.
    connect(&history_.stack(), &QUndoStack::indexChanged, this,
            [this] { view_.scrubberSlider->setToolTip(history_.undoText()); });
    // The pointer changes over a marker's edge, which can be dragged.
    view_.scrubberSlider->setMouseTracking(true);
}

bool PlaybackViewController::historyKey(QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const int key = event->key();
    if (modifiers == Qt::ControlModifier && key == Qt::Key_Z) {
        undoStep();
    } else if ((modifiers == (Qt::ControlModifier | Qt::ShiftModifier) && key == Qt::Key_Z) ||
               (modifiers == Qt::ControlModifier && key == Qt::Key_Y)) {
        redoStep();
    } else if (modifiers == Qt::AltModifier && (key == Qt::Key_Left || key == Qt::Key_Right)) {
        nudgeMarker(key == Qt::Key_Left ? -1 : 1);
    } else if (modifiers == Qt::NoModifier &&
               (key == Qt::Key_BracketLeft || key == Qt::Key_BracketRight)) {
        selectAdjacentMarker(key == Qt::Key_BracketLeft ? -1 : 1);
    } else {
        return false;
    }
    return true;
}

// Walking the history ---------------------------------------------------------------------------

void PlaybackViewController::undoStep()
{
    const EditStep *step = history_.nextUndo();
    if (!step) {
        showHistoryStrip(tr("Nothing to undo"));
        return;
    }
    if (const QString problem = step->undoProblem(); !problem.isEmpty()) {
        showAlert(this, tr("Couldn't Undo %1").arg(step->text()), problem);
        return;
    }
    const auto undo = [this, text = step->text()] {
        if (const QString why = history_.undo(); !why.isEmpty())
            showAlert(this, tr("Couldn't Undo %1").arg(text), why);
    };
    const QString question = step->undoQuestion();
    if (question.isEmpty()) {
        undo();
        return;
    }
    QPointer<PlaybackViewController> self(this);
    AlertPresenter::current().present(deleteQuestion(question,
                                                     [self, undo] {
                                                         if (self)
                                                             undo();
                                                     }),
                                      this);
}

void PlaybackViewController::redoStep()
{
    const EditStep *step = history_.nextRedo();
    if (!step) {
        showHistoryStrip(tr("Nothing to redo"));
        return;
    }
    if (const QString why = history_.redo(); !why.isEmpty())
        showAlert(this, tr("Couldn't Redo %1").arg(step->text()), why);
}

void PlaybackViewController::historyApplied(const QString &what)
{
    // The store is what the steps change: the screen reads it again, keeping the marker chosen.
    const int selected = view_.markerList->selectedMarker();
    const qint64 selectedID = markerEditor_.contains(selected) ? markers()[selected].id : 0;
    if (recording()) {
        message_ = recording()->message();
        setTitleLabels(recording()->name());
        setFoundMessage();
    }
    // A reversal not saved yet has its markers only on screen, where its steps changed them.
    if (hasStoredMarkers())
        loadMarkers();
    else
        refreshMarkers();
    for (int i = 0; selectedID != 0 && i < markers().size(); ++i) {
        if (markers()[i].id == selectedID) {
            if (QTreeWidgetItem *item = view_.markerList->itemOf(i))
                view_.markerList->setCurrentItem(item);
        }
    }
    // A step just done names what Ctrl+Z would undo; an undo or redo names what it did.
    showHistoryStrip(what == history_.stack().undoText() ? history_.undoText() : what);
}

void PlaybackViewController::showHistoryStrip(const QString &text)
{
    view_.scrubberSlider->setToolTip(history_.undoText());
    historyStrip_->setText(text);
    historyStrip_->adjustSize();
    const QRect waveform(view_.markerOverlay->mapTo(this, QPoint(0, 0)),
                         view_.markerOverlay->size());
    historyStrip_->move(waveform.center().x() - historyStrip_->width() / 2,
                        waveform.bottom() - historyStrip_->height() - 4);
    historyStrip_->show();
    historyStrip_->raise();
    historyStripTimer_.start();
}

// What becomes a step ------------------------------------------------------------------------

bool PlaybackViewController::hasStoredMarkers() const
{
    return recording() && recording()->rowID() != 0;
}

void PlaybackViewController::recordMarkerEdit(const MarkerEditor::EditEnd &end, bool kept,
                                              const PhraseMarker &before, const QString &error)
{
    if (!kept || !error.isEmpty() || !markerEditor_.contains(end.index))
        return;
    const PhraseMarker &after = markers()[end.index];
    if (!hasStoredMarkers()) {
        if (end.draft)
            history_.pushDone(new UnstoredMarkerStep(UnstoredMarkerStep::Add, markerEditor_,
                                                     end.index, std::nullopt, after));
        else if (after.text != before.text)
            history_.pushDone(new UnstoredMarkerStep(UnstoredMarkerStep::Text, markerEditor_,
                                                     end.index, before, after));
        return;
    }
    if (end.draft && after.id != 0)
        history_.pushDone(new MarkerPresenceStep(MarkerPresenceStep::Add, store_,
                                                 recording()->rowID(), after.id));
    else if (!end.draft && after.text != before.text)
        history_.pushDone(new MarkerChangeStep(MarkerChangeStep::Text, store_, recording()->rowID(),
                                               before, after));
}

bool PlaybackViewController::removeMarkerAsStep(int index)
{
    if (!markerEditor_.contains(index) || markerEditor_.editing() >= 0)
        return false;
    EditStep *step = nullptr;
    if (!hasStoredMarkers())
        step = new UnstoredMarkerStep(UnstoredMarkerStep::Delete, markerEditor_, index,
                                      markers()[index], std::nullopt);
    else if (markers()[index].id != 0)
        step = new MarkerPresenceStep(MarkerPresenceStep::Delete, store_, recording()->rowID(),
                                      markers()[index].id);
    if (!step)
        return false;
    QString error;
    if (!history_.push(step, &error))
        showAlert(this, tr("Couldn't Remove the Marker"), error);
    return true;
}

void PlaybackViewController::changeMarker(MarkerChangeStep::Kind kind, int index,
                                          const FrameRange &stretch)
{
    PhraseMarker after = markers()[index];
    const PhraseMarker before = after;
    after.frames = stretch;
    if (after == before)
        return;
    QString error;
    if (!hasStoredMarkers()) {
        // The reversal is not saved yet: the step changes the markers on screen.
        if (!history_.push(new UnstoredMarkerStep(kind == MarkerChangeStep::Nudge
                                                      ? UnstoredMarkerStep::Nudge
                                                      : UnstoredMarkerStep::Move,
                                                  markerEditor_, index, before, after),
                           &error))
            showAlert(this, tr("Couldn't Move the Marker"), error);
        return;
    }
    if (before.id == 0) {
        // A marker the store has not taken yet goes in with the next save.
        QList<PhraseMarker> changed = markers();
        changed[index] = after;
        markerEditor_.replace(changed);
        refreshMarkers();
        return;
    }
    if (!history_.push(new MarkerChangeStep(kind, store_, recording()->rowID(), before, after),
                       &error))
        showAlert(this, tr("Couldn't Move the Marker"), error);
}

RecordingTextStep::Texts PlaybackViewController::storedTexts() const
{
    if (!recording() || recording()->rowID() == 0 || !store_.hasStore())
        return {};
    // What the file holds: the record in memory may carry a message typed and not saved.
    SqliteStatement statement = store_.database().prepare(
        QStringLiteral("SELECT name, message FROM recording WHERE id = ?1"));
    statement.bind(1, recording()->rowID());
    if (statement.step() != SQLITE_ROW)
        return {};
    return {statement.columnIsNull(0) ? QString() : statement.columnText(0),
            statement.columnIsNull(1) ? QString() : statement.columnText(1)};
}

void PlaybackViewController::recordTextEdit(bool wasSaved, const RecordingTextStep::Texts &before)
{
    if (!wasSaved || !recording() || recording()->rowID() == 0)
        return;
    const RecordingTextStep::Texts after = storedTexts();
    if (after != before)
        history_.pushDone(new RecordingTextStep(store_, recording(), before, after));
}

void PlaybackViewController::recordCrop(const std::shared_ptr<Recording> &original)
{
    if (!original || !recording() || recording() == original || recording()->rowID() == 0)
        return;
    QPointer<PlaybackViewController> self(this);
    history_.pushDone(new CropStep(store_, original, recording(),
                                   [self](const std::shared_ptr<Recording> &shown) {
                                       if (self)
                                           self->showRecording(shown);
                                   }));
}

void PlaybackViewController::showRecording(const std::shared_ptr<Recording> &recording)
{
    if (isCropMode())
        crop();
    if (engine_.isPlaying())
        engine_.pausePlay();
    saving_.openRecording(recording);
    message_ = recording->message();
    openFiles();
    setWaveformImage(saving_.reversal().waveformImage);
    loadMarkers();
    showSaved();
    showLoadErrors();
}

// Marker edges -------------------------------------------------------------------------------

bool PlaybackViewController::markerEdgeEvent(QEvent *event)
{
    const auto type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
        type != QEvent::MouseButtonRelease)
        return false;
    const auto *mouse = static_cast<QMouseEvent *>(event);
    const double width = view_.markerOverlay->width();
    const double x = mouse->position().x() + view_.scrubberSlider->x() - view_.markerOverlay->x();
    const auto grip = [&] {
        return isCropMode() || markerEditor_.editing() >= 0
                   ? std::nullopt
                   : MarkerEdgeDrag::gripAt(x, width, markers(), reversalFrames(), timeline_);
    };
    if (!edgeDrag_) {
        if (type == QEvent::MouseMove && mouse->buttons() == Qt::NoButton) {
            // Near an edge the pointer says that it can be dragged.
            if (grip())
                view_.scrubberSlider->setCursor(Qt::SizeHorCursor);
            else
                view_.scrubberSlider->unsetCursor();
            return false;
        }
        if (type != QEvent::MouseButtonPress || mouse->button() != Qt::LeftButton ||
            (mouse->modifiers() & Qt::ShiftModifier))
            return false;
        const auto taken = grip();
        if (!taken)
            return false;
        edgeDrag_ = EdgeDrag{*taken, markers()};
        view_.markerList->setCurrentItem(view_.markerList->itemOf(taken->index));
        return true;
    }
    const PhraseMarker &original = edgeDrag_->markers[edgeDrag_->grip.index];
    const FrameRange stretch =
        MarkerEdgeDrag::moved(original.frames, edgeDrag_->grip.edge,
                              waveformTimeAt(mouse->position().x()), reversalFrames());
    if (type == QEvent::MouseMove) {
        // The band follows the pointer; the store is written once, when the edge is let go.
        QList<PhraseMarker> shown = edgeDrag_->markers;
        shown[edgeDrag_->grip.index].frames = stretch;
        markerEditor_.replace(shown);
        refreshMarkerBands();
    } else if (type == QEvent::MouseButtonRelease) {
        const int index = edgeDrag_->grip.index;
        // A click on an edge only chooses the marker: it does not pull the edge to the pointer.
        const auto [from, to] = reversalFrames().forwardSeconds(original.frames);
        const double edgeX =
            timeline_.xOf(edgeDrag_->grip.edge == MarkerEdgeDrag::Edge::End ? from : to, width);
        const bool dragged = std::abs(x - edgeX) > MarkerEdgeDrag::kReach;
        markerEditor_.replace(edgeDrag_->markers);
        edgeDrag_.reset();
        if (dragged)
            changeMarker(MarkerChangeStep::Move, index, stretch);
        refreshMarkerBands();
    }
    return true;
}

void PlaybackViewController::nudgeMarker(int steps)
{
    const int index = view_.markerList->selectedMarker();
    const ReversalFrames frames = reversalFrames();
    if (!markerEditor_.contains(index) || !frames.isValid() || markerEditor_.editing() >= 0)
        return;
    const FrameRange stretch = markers()[index].frames;
    const auto edge = MarkerEdgeDrag::nearerEdge(stretch, engine_.currentTime(), frames);
    changeMarker(MarkerChangeStep::Nudge, index,
                 MarkerEdgeDrag::nudged(stretch, edge, steps, engine_.isReversed(), frames));
}

void PlaybackViewController::selectAdjacentMarker(int step)
{
    const QList<MarkerEditor::Row> rows =
        markerEditor_.rows(reversalFrames(), engine_.isReversed());
    if (rows.isEmpty())
        return;
    const int selected = view_.markerList->selectedMarker();
    int at = -1;
    for (int i = 0; i < rows.size(); ++i) {
        if (rows[i].index == selected)
            at = i;
    }
    // Rows run left to right as the waveform shows them.
    at = at < 0 ? (step > 0 ? 0 : int(rows.size()) - 1)
                : std::clamp(at + step, 0, int(rows.size()) - 1);
    if (QTreeWidgetItem *item = view_.markerList->itemOf(rows[at].index))
        view_.markerList->setCurrentItem(item);
    // The playhead goes to where the marker starts as the current direction plays it.
    const auto [from, to] = reversalFrames().forwardSeconds(markers()[rows[at].index].frames);
    engine_.seek(engine_.isReversed() ? to : from);
}

} // namespace murmelo
