// The playback screen's phrase markers and the zoom of its waveform.
#include "screens/playback/PlaybackViewController.h"

#include "library/Recording.h"
#include "platform/AlertPresenter.h"
#include "playback/TimeText.h"
#include "screens/playback/MarkerListView.h"
#include "screens/playback/MarkerOverlay.h"
#include "screens/playback/SpectrogramPane.h"
#include "toolkit/RangeSlider.h"

#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace murmelo {

namespace {
// A drag shorter than this is a slip of the hand, not a stretch.
constexpr int kLeastDragPoints = 3;
// One notch of the wheel.
constexpr double kWheelZoom = 1.25;
// One notch of a sideways wheel moves a tenth of the view.
constexpr double kWheelPan = 0.1;
} // namespace

void PlaybackViewController::setUpMarkers()
{
    MarkerListView *list = view_.markerList;
    connect(list, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem *item) { playMarker(MarkerListView::markerIndex(item)); });
    connect(list, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem *item) { editMarker(MarkerListView::markerIndex(item)); });
    connect(list, &QTreeWidget::itemSelectionChanged, this, [this] {
        view_.removeMarkerButton->setEnabled(view_.markerList->selectedMarker() >= 0);
        refreshMarkerBands();
    });
    connect(
        list->itemDelegate(), &QAbstractItemDelegate::closeEditor, this,
        [this](QWidget *, QAbstractItemDelegate::EndEditHint hint) { markerEditorClosed(hint); });
    connect(view_.markersButton, &QToolButton::clicked, this,
            &PlaybackViewController::toggleMarkerList);
    connect(list, &MarkerListView::markerActivated, this, [this](int index) { playMarker(index); });
    connect(view_.removeMarkerButton, &QToolButton::clicked, this,
            [this] { removeMarker(view_.markerList->selectedMarker()); });
    connect(view_.zoomScrollBar, &QScrollBar::valueChanged, this, [this](int value) {
        timeline_.scrollTo(value / kScrubberScale);
        applyTimeline();
    });
    view_.scrubberSlider->installEventFilter(this);
    view_.removeMarkerButton->setEnabled(false);
}

ReversalFrames PlaybackViewController::reversalFrames() const
{
    const Player *reverse = engine_.reverseAudioPlayer();
    return reverse ? ReversalFrames{reverse->frameCount(), reverse->sampleRate()}
                   : ReversalFrames{};
}

// Storage ---------------------------------------------------------------------------------

void PlaybackViewController::loadMarkers()
{
    const QString error = markerEditor_.load(recording() ? recording()->rowID() : 0);
    if (!error.isEmpty())
        loadErrors_ << tr("The phrase markers could not be read: %1").arg(error);
    refreshMarkers();
}

void PlaybackViewController::storeMarkers()
{
    // Markers made before the first save, or carried over by a crop, go in with the record.
    if (!markerEditor_.hasUnstored() || !recording() || recording()->rowID() == 0)
        return;
    if (const QString error = markerEditor_.storeAll(recording()->rowID()); !error.isEmpty()) {
        showAlert(this, tr("Couldn't Save the Markers"), error);
        return;
    }
    loadMarkers();
}

// Making, editing and removing -------------------------------------------------------------

void PlaybackViewController::markAtPlayhead()
{
    const auto stretch = markerEditor_.markAt(engine_.currentTime(), reversalFrames());
    view_.markerOverlay->setPendingStart(markerEditor_.pendingStart());
    if (stretch)
        beginMarker(stretch->first, stretch->second);
}

void PlaybackViewController::beginMarker(double from, double to)
{
    const ReversalFrames frames = reversalFrames();
    if (!frames.isValid() || !view_.waitView->isHidden())
        return;
    const FrameRange stretch = frames.fromForwardSeconds(from, to);
    if (stretch.length() == 0)
        return;
    // A text still open is kept as typed before the next marker is begun.
    if (markerEditor_.editing() >= 0) {
        MarkerListView *list = view_.markerList;
        if (QTreeWidgetItem *item = list->itemOf(markerEditor_.editing())) {
            if (QWidget *editor =
                    list->indexWidget(list->indexFromItem(item, MarkerListView::TextColumn))) {
                emit list->itemDelegate()->commitData(editor);
                emit list->itemDelegate()->closeEditor(editor,
                                                       QAbstractItemDelegate::SubmitModelCache);
            }
        }
    }
    const int draft = markerEditor_.addDraft(stretch);
    refreshMarkers();
    editMarker(draft);
}

void PlaybackViewController::editMarker(int index)
{
    QTreeWidgetItem *item = view_.markerList->itemOf(index);
    if (!item)
        return;
    markerEditor_.beginEditing(index);
    showMarkerList();
    view_.markerList->setCurrentItem(item);
    view_.markerList->scrollToItem(item);
    view_.markerList->editItem(item, MarkerListView::TextColumn);
}

void PlaybackViewController::markerEditorClosed(QAbstractItemDelegate::EndEditHint hint)
{
    const MarkerEditor::EditEnd end = markerEditor_.endEditing();
    showMarkerList();
    setFocus();
    if (!markerEditor_.contains(end.index))
        return;
    // Escape drops a new marker and leaves an old one with its text.
    const QTreeWidgetItem *item = view_.markerList->itemOf(end.index);
    const bool kept = hint != QAbstractItemDelegate::RevertModelCache;
    const PhraseMarker before = markerEditor_.markers()[end.index];
    const QString error = markerEditor_.applyEdit(
        end, kept, item ? item->text(MarkerListView::TextColumn) : QString(),
        recording() ? recording()->rowID() : 0);
    recordMarkerEdit(end, kept, before, error);
    if (!error.isEmpty())
        showAlert(this, tr("Couldn't Save the Marker"), error);
    // The list is rebuilt once the view is done with its editor.
    QMetaObject::invokeMethod(
        this, [this] { refreshMarkers(); }, Qt::QueuedConnection);
}

void PlaybackViewController::removeMarker(int index)
{
    if (removeMarkerAsStep(index))
        return;
    QString error;
    if (markerEditor_.remove(index, &error))
        refreshMarkers();
    else if (!error.isEmpty())
        showAlert(this, tr("Couldn't Remove the Marker"), error);
}

void PlaybackViewController::playMarker(int index)
{
    if (markerEditor_.contains(index))
        playMarker(markerEditor_.markers()[index]);
}

void PlaybackViewController::showMarkerList()
{
    const bool fits = view_.markerListFits();
    // Without room of its own the list comes over the bottom panel while it is asked for.
    if (fits)
        view_.markersButton->setChecked(false);
    const bool open = view_.markersButton->isChecked();
    const bool shown = fits || open || markerEditor_.editing() >= 0;
    view_.markersButton->setVisible(!fits);
    view_.markerList->setVisible(shown);
    view_.removeMarkerButton->setVisible(fits || open);
    if (!fits && shown) {
        view_.markerList->raise();
        view_.removeMarkerButton->raise();
    }
}

void PlaybackViewController::toggleMarkerList()
{
    view_.markersButton->setChecked(!view_.markersButton->isChecked());
    showMarkerList();
    if (view_.markersButton->isChecked())
        view_.markerList->setFocus(Qt::OtherFocusReason);
    else if (view_.markerList->hasFocus())
        setFocus();
}

// Drawing -----------------------------------------------------------------------------------

void PlaybackViewController::refreshMarkers()
{
    if (markerEditor_.editing() >= 0)
        return;
    requestForwardWords();
    MarkerListView *list = view_.markerList;
    const int selected = list->selectedMarker();
    const bool reversed = engine_.isReversed();
    // Times and order as the current direction plays them, left to right as the waveform shows;
    // a band too narrow for its text shows its number instead.
    const QList<MarkerEditor::Row> rows = markerEditor_.rows(reversalFrames(), reversed);
    list->setHeaderLabels({reversed ? tr("Reversal time") : tr("Forward time"), tr("Heard")});
    {
        const QSignalBlocker blocker(list);
        list->clear();
        for (const MarkerEditor::Row &row : rows) {
            auto *item =
                new QTreeWidgetItem({QStringLiteral("%1  %2 \u2013 %3")
                                         .arg(row.number)
                                         .arg(preciseTimeText(row.from), preciseTimeText(row.to)),
                                     markerEditor_.markers()[row.index].text});
            item->setData(MarkerListView::TimeColumn, MarkerListView::kIndexRole, row.index);
            item->setFlags(item->flags() | Qt::ItemIsEditable);
            describeForwardWords(item, row.index);
            list->addTopLevelItem(item);
        }
        if (QTreeWidgetItem *item = list->itemOf(selected))
            item->setSelected(true);
    }
    view_.removeMarkerButton->setEnabled(list->selectedMarker() >= 0);
    refreshMarkerBands();
}

void PlaybackViewController::refreshMarkerBands()
{
    const ReversalFrames frames = reversalFrames();
    const int selected = view_.markerList->selectedMarker();
    QList<MarkerOverlay::Band> bands;
    const QList<PhraseMarker> &markers = markerEditor_.markers();
    for (int i = 0; i < markers.size(); ++i) {
        const auto [from, to] = frames.forwardSeconds(markers[i].frames);
        bands << MarkerOverlay::Band{from, to, markers[i].text, i == selected,
                                     markerEditor_.number(i)};
    }
    view_.markerOverlay->setBands(bands);
    view_.spectrogramPane->setBands(bands);
}

// Mouse over the waveform ----------------------------------------------------------------------

double PlaybackViewController::waveformTimeAt(double sliderX) const
{
    const double x = sliderX + view_.scrubberSlider->x() - view_.markerOverlay->x();
    return std::clamp(timeline_.timeAt(x, view_.markerOverlay->width()), 0.0, timeline_.duration());
}

bool PlaybackViewController::waveformEvent(QEvent *event)
{
    if (markerEdgeEvent(event))
        return true;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        // Shift+drag marks; a plain press takes a suggestion under it, or else seeks.
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (suggestionClicked(mouse))
            return true;
        if (mouse->button() != Qt::LeftButton || !(mouse->modifiers() & Qt::ShiftModifier))
            return false;
        dragFrom_ = waveformTimeAt(mouse->position().x());
        return true;
    }
    case QEvent::MouseMove: {
        if (!dragFrom_)
            return false;
        const auto *mouse = static_cast<QMouseEvent *>(event);
        view_.markerOverlay->setDraft(
            MarkerOverlay::Band{*dragFrom_, waveformTimeAt(mouse->position().x()), {}, false});
        return true;
    }
    case QEvent::MouseButtonRelease: {
        if (!dragFrom_)
            return false;
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const double from = *dragFrom_;
        const double to = waveformTimeAt(mouse->position().x());
        dragFrom_.reset();
        view_.markerOverlay->setDraft(std::nullopt);
        const double points = std::abs(timeline_.xOf(to, view_.markerOverlay->width()) -
                                       timeline_.xOf(from, view_.markerOverlay->width()));
        if (points >= kLeastDragPoints)
            beginMarker(from, to);
        return true;
    }
    case QEvent::Wheel: {
        const auto *wheel = static_cast<QWheelEvent *>(event);
        const QPoint delta = wheel->angleDelta();
        if (wheel->modifiers() & Qt::ControlModifier) {
            zoomWaveform(std::pow(kWheelZoom, delta.y() / 120.0),
                         waveformTimeAt(wheel->position().x()));
            return true;
        }
        // A sideways scroll, or Shift with the wheel, moves along a zoomed view.
        const int sideways = delta.x() != 0                           ? -delta.x()
                             : wheel->modifiers() & Qt::ShiftModifier ? -delta.y()
                                                                      : 0;
        if (sideways != 0) {
            panWaveform(kWheelPan * sideways / 120.0);
            return true;
        }
        return false;
    }
    case QEvent::NativeGesture: {
        const auto *gesture = static_cast<QNativeGestureEvent *>(event);
        if (gesture->gestureType() == Qt::ZoomNativeGesture) {
            // Qt hands gestures on with the window's position: the screen's is the sure one.
            const QPointF at = view_.scrubberSlider->mapFromGlobal(gesture->globalPosition());
            zoomWaveform(1 + gesture->value(), waveformTimeAt(at.x()));
            return true;
        }
        if (gesture->gestureType() == Qt::SmartZoomNativeGesture) {
            zoomWaveform(0, 0);
            return true;
        }
        return false;
    }
    default:
        return false;
    }
}

// Zoom -------------------------------------------------------------------------------------

void PlaybackViewController::zoomWaveform(double factor, double anchor)
{
    // Crop handles are fractions of the whole audio: cropping shows all of it.
    if (isCropMode())
        return;
    if (factor <= 0)
        timeline_.showAll();
    else
        timeline_.zoom(factor, anchor);
    applyTimeline();
}

void PlaybackViewController::panWaveform(double spans)
{
    if (!timeline_.isZoomed())
        return;
    timeline_.pan(spans);
    applyTimeline();
}

void PlaybackViewController::refreshTimelineIfTurned()
{
    // Reversed, the waveform runs as the reversal plays, in crop mode too.
    const bool reversed = engine_.isReversed();
    if (reversed != timeline_.isReversed()) {
        applyTimeline();
        refreshMarkers();
        return;
    }
    const double now = engine_.currentTime();
    if (engine_.isPlaying() && timeline_.follow(now))
        applyTimeline();
    view_.setScrubberHandleShown(timeline_.isVisible(now));
}

void PlaybackViewController::applyTimeline()
{
    if (std::abs(timeline_.duration() - engine_.duration()) > 1e-9)
        timeline_.setDuration(engine_.duration());
    timeline_.setReversed(engine_.isReversed());
    if (rangeSlider_ && rangeSlider_->invertedAppearance() != timeline_.isReversed()) {
        // The handles stay on the same audio and turn with the picture.
        rangeSlider_->setInvertedAppearance(timeline_.isReversed());
        if (isCropMode())
            cropRangeUpdated();
    }
    QSlider *scrubber = view_.scrubberSlider;
    {
        const QSignalBlocker blocker(scrubber);
        scrubber->setInvertedAppearance(timeline_.isReversed());
        scrubber->setRange(int(std::lround(timeline_.visibleStart() * kScrubberScale)),
                           int(std::lround(timeline_.visibleEnd() * kScrubberScale)));
        scrubber->setValue(int(std::lround(engine_.currentTime() * kScrubberScale)));
    }
    view_.setScrubberHandleShown(timeline_.isVisible(engine_.currentTime()));
    QScrollBar *bar = view_.zoomScrollBar;
    {
        const QSignalBlocker blocker(bar);
        bar->setVisible(timeline_.isZoomed());
        bar->setInvertedAppearance(timeline_.isReversed());
        const int span = int(std::lround(timeline_.span() * kScrubberScale));
        bar->setRange(0, int(std::lround(timeline_.duration() * kScrubberScale)) - span);
        bar->setPageStep(span);
        bar->setSingleStep(std::max(1, span / 10));
        bar->setValue(int(std::lround(timeline_.visibleStart() * kScrubberScale)));
    }
    view_.markerOverlay->setTimeline(timeline_);
    view_.spectrogramPane->setTimeline(timeline_);
    refreshWaveformViews();
}

} // namespace murmelo
