// The playback screen's undo history, driven through the window: marker edits of every kind,
// edge drags at window points, nudges, title and message, crops; each undone and redone step
// leaves the store's rows and the recordings folder byte for byte as they were.
#include "PlaybackFixture.h"

#include "library/PhraseMarkerStore.h"
#include "library/RecordingHold.h"
#include "platform/SerialQueue.h"
#include "screens/playback/MarkerEdgeDrag.h"
#include "screens/playback/MarkerListView.h"
#include "screens/playback/MarkerOverlay.h"
#include "support/StoreSnapshot.h"
#include "toolkit/RangeSlider.h"

#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTest>
#include <QTextEdit>
#include <QWindow>

using namespace murmelo;
using namespace murmelo::test;

namespace {

// The fixture's ten seconds at its rate.
constexpr int kRate = 8000;
constexpr qint64 kFrames = 10 * kRate;
const ReversalFrames kReversal{kFrames, kRate};

TEST(MarkerEdgeDrag, EdgesMoveAloneAndNudgesFollowTheScreen)
{
    WaveformTimeline timeline;
    timeline.setDuration(10);
    const FrameRange stretch = kReversal.fromForwardSeconds(2, 4); // reversal [48000, 64000)
    const QList<PhraseMarker> markers{{1, stretch, {}}};
    // Forward, 2 s lies at x 200 of 1000: the forward start, which is the reversal's end.
    EXPECT_EQ(MarkerEdgeDrag::gripAt(203, 1000, markers, kReversal, timeline),
              (MarkerEdgeDrag::Grip{0, MarkerEdgeDrag::Edge::End}));
    EXPECT_FALSE(MarkerEdgeDrag::gripAt(300, 1000, markers, kReversal, timeline));
    timeline.setReversed(true);
    EXPECT_EQ(MarkerEdgeDrag::gripAt(800, 1000, markers, kReversal, timeline)->edge,
              MarkerEdgeDrag::Edge::End);

    // The dragged edge moves; the other stays to the frame; past it the stretch turns round.
    const FrameRange dragged =
        MarkerEdgeDrag::moved(stretch, MarkerEdgeDrag::Edge::End, 1.5, kReversal);
    EXPECT_EQ(dragged, (FrameRange{stretch.start, kFrames - 12000}));
    EXPECT_EQ(MarkerEdgeDrag::moved(stretch, MarkerEdgeDrag::Edge::End, 5, kReversal),
              (FrameRange{kFrames - 40000, stretch.start}));
    EXPECT_EQ(MarkerEdgeDrag::moved(stretch, MarkerEdgeDrag::Edge::End, 4, kReversal).length(), 1);

    // A nudge is 10 ms; rightwards on a forward screen is earlier in the reversal.
    EXPECT_EQ(MarkerEdgeDrag::nearerEdge(stretch, 2.1, kReversal), MarkerEdgeDrag::Edge::End);
    EXPECT_EQ(MarkerEdgeDrag::nudged(stretch, MarkerEdgeDrag::Edge::End, 1, false, kReversal),
              (FrameRange{stretch.start, stretch.end - 80}));
    EXPECT_EQ(MarkerEdgeDrag::nudged(stretch, MarkerEdgeDrag::Edge::Start, 1, true, kReversal),
              (FrameRange{stretch.start + 80, stretch.end}));
    EXPECT_EQ(MarkerEdgeDrag::nudged({0, 10}, MarkerEdgeDrag::Edge::Start, -1, true, kReversal),
              (FrameRange{0, 10}));
}

class Undo : public PlaybackFixture {
protected:
    QPoint onWaveform(double fraction)
    {
        const QWidget *overlay = screen->view().markerOverlay;
        return overlay->mapTo(screen.get(),
                              QPoint(int(overlay->width() * fraction), overlay->height() / 2));
    }
    void openSong()
    {
        song = makeRecording(QStringLiteral("Song"), QStringLiteral("first words"));
        song->setSpeedValue(1.0f);
        ASSERT_TRUE(store->save());
        openRecording(song);
        showAtDeskSize();
    }
    void choose(int marker)
    {
        MarkerListView *list = screen->view().markerList;
        list->setCurrentItem(list->itemOf(marker));
        screen->setFocus();
    }
    void type(const QString &text)
    {
        for (const QChar c : text)
            QTest::keyClick(window(), c.toLatin1());
        drainEvents();
    }
    StoreSnapshot snapshot() const { return librarySnapshot(storePath); }
    // Keeps the middle half as a new recording, as Save Crop does.
    void cropMiddle()
    {
        screen->crop();
        screen->rangeSlider()->setMin(0.25f);
        screen->rangeSlider()->setMax(0.75f);
        screen->saveCrop();
        SerialQueue::waitForAllQueues();
        drainEvents();
    }
    // Walks the history back to the start and forward to the end, checking every state.
    void walk(const QList<StoreSnapshot> &states)
    {
        for (qsizetype i = states.size() - 2; i >= 0; --i) {
            key(Qt::Key_Z, Qt::ControlModifier);
            EXPECT_EQ(snapshot(), states[i]) << "after undoing to state " << i;
        }
        for (qsizetype i = 1; i < states.size(); ++i) {
            if (i % 2)
                key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
            else
                key(Qt::Key_Y, Qt::ControlModifier);
            EXPECT_EQ(snapshot(), states[i]) << "after redoing to state " << i;
        }
    }

    std::shared_ptr<Recording> song;
};

TEST_F(Undo, EveryMarkerStepIsUndoneAndRedoneExactly)
{
    openSong();
    QList<StoreSnapshot> states{snapshot()};

    screen->engine().seek(2);
    key(Qt::Key_M);
    screen->engine().seek(4);
    key(Qt::Key_M);
    type(QStringLiteral("the sea"));
    key(Qt::Key_Return);
    ASSERT_EQ(screen->markers().size(), 1);
    states << snapshot();
    EXPECT_EQ(screen->historyStrip()->text(), QStringLiteral("Undo Add Marker"));

    MarkerListView *list = screen->view().markerList;
    list->setCurrentItem(list->itemOf(0));
    screen->setFocus();
    key(Qt::Key_F2);
    type(QStringLiteral("the sea is calling"));
    key(Qt::Key_Return);
    ASSERT_EQ(screen->markers()[0].text, QStringLiteral("the sea is calling"));
    states << snapshot();

    // The forward start (2 s) dragged to 1 s at window points; the pointer says it can be.
    QTest::mouseMove(window(), onWaveform(0.2));
    drainEvents();
    EXPECT_EQ(screen->view().scrubberSlider->cursor().shape(), Qt::SizeHorCursor);
    // A click on an edge chooses the marker and leaves the edge where it is.
    QTest::mouseClick(window(), Qt::LeftButton, {}, onWaveform(0.2) + QPoint(3, 0));
    drainEvents();
    EXPECT_EQ(snapshot(), states.last());
    QTest::mousePress(window(), Qt::LeftButton, {}, onWaveform(0.2));
    QTest::mouseMove(window(), onWaveform(0.15));
    QTest::mouseMove(window(), onWaveform(0.1));
    QTest::mouseRelease(window(), Qt::LeftButton, {}, onWaveform(0.1));
    drainEvents();
    const FrameRange before = kReversal.fromForwardSeconds(2, 4);
    ASSERT_EQ(screen->markers().size(), 1);
    EXPECT_EQ(screen->markers()[0].frames.start, before.start) << "the other edge stays";
    EXPECT_NEAR(screen->markers()[0].frames.end, kFrames - 1 * kRate, kRate / 50);
    EXPECT_NEAR(screen->engine().currentTime(), 4, 1e-9) << "an edge drag does not seek";
    EXPECT_EQ(screen->history().stack().count(), 3);
    states << snapshot();

    // Three nudges in a row are one step.
    screen->engine().seek(4);
    for (int i = 0; i < 3; ++i)
        key(Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(screen->history().stack().count(), 4);
    EXPECT_EQ(screen->markers()[0].frames.start, before.start - 3 * kRate / 100);
    EXPECT_EQ(screen->historyStrip()->text(), QStringLiteral("Undo Nudge Marker"));
    states << snapshot();

    key(Qt::Key_Delete);
    EXPECT_TRUE(screen->markers().isEmpty());
    states << snapshot();

    walk(states);
    EXPECT_EQ(screen->markers().size(), 0);
    key(Qt::Key_Z, Qt::ControlModifier);
    ASSERT_EQ(screen->markers().size(), 1);
    EXPECT_EQ(screen->historyStrip()->text(), QStringLiteral("Undone: Delete Marker"));
    EXPECT_EQ(screen->view().scrubberSlider->toolTip(), QStringLiteral("Undo Nudge Marker"));
    EXPECT_TRUE(alerts.alerts().isEmpty());
}

TEST_F(Undo, BracketsChooseMarkersLeftToRight)
{
    openSong();
    PhraseMarkerStore markers(*store);
    for (const auto &[a, b] : {std::pair{6.0, 7.0}, {1.0, 2.0}, {3.0, 4.0}})
        ASSERT_TRUE(markers.addMarker(song->rowID(), {0, kReversal.fromForwardSeconds(a, b), {}}));
    openRecording(song);
    const auto chosenStart = [&] {
        const int index = screen->view().markerList->selectedMarker();
        return kReversal.forwardSeconds(screen->markers()[index].frames).first;
    };
    key(Qt::Key_BracketRight);
    EXPECT_DOUBLE_EQ(chosenStart(), 1.0);
    EXPECT_DOUBLE_EQ(screen->engine().currentTime(), 1.0);
    key(Qt::Key_BracketRight);
    key(Qt::Key_BracketRight);
    key(Qt::Key_BracketRight);
    EXPECT_DOUBLE_EQ(chosenStart(), 6.0);
    key(Qt::Key_BracketLeft);
    EXPECT_DOUBLE_EQ(chosenStart(), 3.0);
    // Reversed, left to right is the reversal's order, and the playhead goes to where it starts.
    key(Qt::Key_R);
    key(Qt::Key_BracketLeft);
    EXPECT_DOUBLE_EQ(chosenStart(), 6.0);
    EXPECT_DOUBLE_EQ(screen->engine().currentTime(), 7.0);
}

TEST_F(Undo, TitleMessageAndCropAreStepsToo)
{
    openSong();
    QList<StoreSnapshot> states{snapshot()};
    screen->save();
    screen->view().titleTextField->setText(QStringLiteral("Renamed"));
    screen->view().messageTextView->setPlainText(QStringLiteral("other words"));
    screen->saveReversal();
    ASSERT_EQ(song->name(), QStringLiteral("Renamed"));
    EXPECT_EQ(screen->history().undoText(), QStringLiteral("Undo Change Title and Message"));
    states << snapshot();

    cropMiddle();
    ASSERT_NE(screen->recording(), song);
    EXPECT_EQ(screen->history().undoText(), QStringLiteral("Undo Crop"));
    states << snapshot();

    walk(states);
    EXPECT_EQ(screen->recording()->name(), QStringLiteral("Renamed Cropped"));
    // Undone, the original is on screen again with its own length and title.
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(screen->recording(), song);
    EXPECT_EQ(screen->view().editTitleLabel->text(), QStringLiteral("Renamed"));
    EXPECT_NEAR(screen->engine().duration(), 10.0, 1e-3);
    EXPECT_TRUE(alerts.alerts().isEmpty());
}

TEST_F(Undo, ACropChangedSinceAsksFirstAndAGoneFileStopsTheRedo)
{
    openSong();
    const StoreSnapshot beforeCrop = snapshot();
    cropMiddle();
    auto cropped = screen->recording();
    // Changed behind the history's back: the copy is no longer what the crop made.
    cropped->setSpeedValue(1.5f);
    ASSERT_TRUE(store->save());

    key(Qt::Key_Z, Qt::ControlModifier);
    ASSERT_EQ(alerts.pendingCount(), 1);
    EXPECT_EQ(alerts.alerts().last().title, QStringLiteral("Delete \"Song Cropped\"?"));
    alerts.press(QStringLiteral("No"));
    drainEvents();
    EXPECT_EQ(screen->recording(), cropped);
    key(Qt::Key_Z, Qt::ControlModifier);
    alerts.press(QStringLiteral("Yes"));
    drainEvents();
    EXPECT_EQ(screen->recording(), song);
    EXPECT_EQ(snapshot(), beforeCrop);

    // A held file removed meanwhile: the redo says so and nothing changes.
    QDir held(RecordingHold::holdingDirectory() + QStringLiteral("/%1").arg(cropped->rowID()));
    ASSERT_TRUE(held.remove(QStringLiteral("0.wav")));
    key(Qt::Key_Y, Qt::ControlModifier);
    ASSERT_EQ(alerts.alerts().size(), 3); // the two questions, and why the redo cannot be done
    EXPECT_EQ(alerts.alerts().last().title, QStringLiteral("Couldn't Redo Crop"));
    EXPECT_TRUE(alerts.alerts().last().message.contains(QLatin1String("is gone")));
    EXPECT_EQ(snapshot(), beforeCrop);
    EXPECT_EQ(screen->recording(), song);
}

// A reversal not saved yet keeps its markers on screen only: its steps change that list, and the
// save stores what the screen shows, then starts the saved recording's own history.
TEST_F(Undo, AnUnsavedReversalsMarkerStepsAreUndoneAndRedoneOnScreen)
{
    openFresh();
    showAtDeskSize();
    ASSERT_TRUE(screen->hasUnsavedReversal());
    const StoreSnapshot emptyStore = snapshot();
    QList<QList<PhraseMarker>> states{screen->markers()};
    const auto done = [&] {
        states << screen->markers();
        EXPECT_EQ(snapshot(), emptyStore) << "nothing is stored before the save";
    };

    screen->engine().seek(2);
    key(Qt::Key_M);
    screen->engine().seek(4);
    key(Qt::Key_M);
    type(QStringLiteral("the sea"));
    key(Qt::Key_Return);
    ASSERT_EQ(screen->markers().size(), 1);
    EXPECT_EQ(screen->historyStrip()->text(), QStringLiteral("Undo Add Marker"));
    done();
    // Shift+drag at window points makes the second.
    QTest::mousePress(window(), Qt::LeftButton, Qt::ShiftModifier, onWaveform(0.6));
    QTest::mouseMove(window(), onWaveform(0.7));
    QTest::mouseRelease(window(), Qt::LeftButton, Qt::ShiftModifier, onWaveform(0.8));
    drainEvents();
    type(QStringLiteral("waves"));
    key(Qt::Key_Return);
    ASSERT_EQ(screen->markers().size(), 2);
    done();

    choose(0);
    key(Qt::Key_F2);
    type(QStringLiteral("the sea is calling"));
    key(Qt::Key_Return);
    ASSERT_EQ(screen->markers()[0].text, QStringLiteral("the sea is calling"));
    done();

    QTest::mouseMove(window(), onWaveform(0.2));
    drainEvents();
    EXPECT_EQ(screen->view().scrubberSlider->cursor().shape(), Qt::SizeHorCursor);
    QTest::mousePress(window(), Qt::LeftButton, {}, onWaveform(0.2));
    QTest::mouseMove(window(), onWaveform(0.15));
    QTest::mouseMove(window(), onWaveform(0.1));
    QTest::mouseRelease(window(), Qt::LeftButton, {}, onWaveform(0.1));
    drainEvents();
    EXPECT_NEAR(screen->markers()[0].frames.end, kFrames - 1 * kRate, kRate / 50);
    EXPECT_EQ(screen->history().stack().count(), 4) << "one step for the whole drag";
    done();

    // Nudges of one marker in a row are one step; the other marker's nudge is one of its own.
    screen->engine().seek(4);
    for (int i = 0; i < 3; ++i)
        key(Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(screen->markers()[0].frames.start, states.last()[0].frames.start - 3 * kRate / 100);
    EXPECT_EQ(screen->history().stack().count(), 5);
    EXPECT_EQ(screen->historyStrip()->text(), QStringLiteral("Undo Nudge Marker"));
    done();
    choose(1);
    key(Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(screen->history().stack().count(), 6);
    done();

    choose(0);
    key(Qt::Key_Delete);
    ASSERT_EQ(screen->markers().size(), 1);
    EXPECT_EQ(screen->view().scrubberSlider->toolTip(), QStringLiteral("Undo Delete Marker"));
    done();

    for (qsizetype i = states.size() - 2; i >= 0; --i) {
        key(Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(screen->markers(), states[i]) << "after undoing to state " << i;
        EXPECT_EQ(screen->view().markerList->topLevelItemCount(), states[i].size());
    }
    EXPECT_EQ(screen->historyStrip()->text(), QStringLiteral("Undone: Add Marker"));
    for (qsizetype i = 1; i < states.size(); ++i) {
        if (i % 2)
            key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        else
            key(Qt::Key_Y, Qt::ControlModifier);
        EXPECT_EQ(screen->markers(), states[i]) << "after redoing to state " << i;
    }
    EXPECT_EQ(snapshot(), emptyStore);

    // With a new marker's text open, an undo says why and changes nothing.
    key(Qt::Key_Z, Qt::ControlModifier);
    screen->engine().seek(5);
    key(Qt::Key_M);
    screen->engine().seek(6);
    key(Qt::Key_M);
    const QList<PhraseMarker> drafting = screen->markers();
    ASSERT_EQ(drafting.size(), 3);
    screen->undoStep();
    ASSERT_EQ(alerts.alerts().size(), 1);
    EXPECT_EQ(alerts.alerts().last().title, QStringLiteral("Couldn't Undo Nudge Marker"));
    EXPECT_EQ(screen->markers(), drafting);
    key(Qt::Key_Escape);
    EXPECT_EQ(screen->markers(), states[states.size() - 2]);

    // Saved, the store holds what the screen shows, and the history starts afresh.
    screen->save();
    screen->view().titleTextField->setText(QStringLiteral("Sea"));
    screen->saveReversal();
    ASSERT_FALSE(screen->hasUnsavedReversal());
    StoreError error;
    const QList<PhraseMarker> stored =
        PhraseMarkerStore(*store).markers(screen->recording()->rowID(), &error);
    ASSERT_FALSE(error);
    EXPECT_EQ(stored, screen->markers());
    const auto stretchesAndTexts = [](const QList<PhraseMarker> &markers) {
        QList<std::tuple<qint64, qint64, QString>> found;
        for (const PhraseMarker &marker : markers)
            found << std::tuple{marker.frames.start, marker.frames.end, marker.text};
        std::sort(found.begin(), found.end());
        return found;
    };
    EXPECT_EQ(stretchesAndTexts(stored), stretchesAndTexts(states[states.size() - 2]));
    EXPECT_TRUE(screen->history().undoText().isEmpty());
    EXPECT_TRUE(screen->view().scrubberSlider->toolTip().isEmpty());
    const StoreSnapshot saved = snapshot();
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(screen->historyStrip()->text(), QStringLiteral("Nothing to undo"));
    EXPECT_EQ(snapshot(), saved);
    // Steps on the saved recording are the store's again.
    choose(0);
    key(Qt::Key_Delete);
    ASSERT_EQ(PhraseMarkerStore(*store).markers(screen->recording()->rowID(), &error).size(), 1);
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(snapshot(), saved);
    EXPECT_EQ(alerts.alerts().size(), 1);
}

TEST_F(Undo, KeysWaitWhileAMarkersEdgeIsHeld)
{
    openFresh();
    showAtDeskSize();
    screen->engine().seek(2);
    key(Qt::Key_M);
    screen->engine().seek(4);
    key(Qt::Key_M);
    key(Qt::Key_Return);
    const QList<PhraseMarker> added = screen->markers();
    ASSERT_EQ(added.size(), 1);

    QTest::mousePress(window(), Qt::LeftButton, {}, onWaveform(0.2));
    QTest::mouseMove(window(), onWaveform(0.1));
    key(Qt::Key_Z, Qt::ControlModifier);
    key(Qt::Key_Delete);
    key(Qt::Key_M);
    QTest::mouseRelease(window(), Qt::LeftButton, {}, onWaveform(0.1));
    drainEvents();
    ASSERT_EQ(screen->markers().size(), 1);
    EXPECT_NEAR(screen->markers()[0].frames.end, kFrames - 1 * kRate, kRate / 50);
    EXPECT_EQ(screen->history().stack().count(), 2);
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(screen->markers(), added);
    EXPECT_TRUE(alerts.alerts().isEmpty());
}

} // namespace
