// Phrase markers on the playback screen and the zoom of its waveform, driven through the window
// as a desk user drives them: Shift+drag and M to mark, typing what was heard, clicks in the
// list to listen, Ctrl+wheel and keys to zoom.
#include "PlaybackFixture.h"

#include "library/PhraseMarkerStore.h"
#include "playback/WaveformPicture.h"
#include "playback/WaveformTimeline.h"
#include "screens/playback/MarkerListView.h"
#include "screens/playback/MarkerOverlay.h"
#include "toolkit/RangeSlider.h"

#include <QAccessible>
#include <QGuiApplication>
#include <QLabel>
#include <QNativeGestureEvent>
#include <QPointingDevice>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>
#include <QWindow>

using namespace murmelo;
using namespace murmelo::test;

namespace {

// The fixture's ten seconds at its rate.
constexpr int kFixtureRate = 8000;
constexpr qint64 kFrames = 10 * kFixtureRate;

// Frames of the reversal that hold the forward seconds [a, b].
FrameRange reversalOf(double a, double b)
{
    return mirrored({qint64(a * kFixtureRate), qint64(b * kFixtureRate)}, kFrames);
}

TEST(WaveformTimeline, ZoomKeepsTheAnchorStillInBothDirections)
{
    for (const bool reversed : {false, true}) {
        WaveformTimeline timeline;
        timeline.setDuration(1200);
        timeline.setReversed(reversed);
        const double width = 900;
        const double anchor = timeline.timeAt(300, width);
        timeline.zoom(8, anchor);
        EXPECT_NEAR(timeline.span(), 150, 1e-9);
        EXPECT_NEAR(timeline.xOf(anchor, width), 300, 1e-6) << reversed;
        timeline.zoom(1 / 2.0, anchor);
        EXPECT_NEAR(timeline.xOf(anchor, width), 300, 1e-6) << reversed;
        // Reversed, the end of the shown stretch is on the left.
        EXPECT_NEAR(timeline.xOf(timeline.visibleEnd(), width), reversed ? 0 : width, 1e-6);
    }
}

TEST(WaveformTimeline, StaysInsideTheAudioAndFollowsThePlayhead)
{
    WaveformTimeline timeline;
    timeline.setDuration(10);
    timeline.zoom(1000, 9.9);
    EXPECT_DOUBLE_EQ(timeline.span(), WaveformTimeline::kMinimumSpan);
    EXPECT_NEAR(timeline.xOf(9.9, 100), 99, 1e-9);
    timeline.showAll();
    timeline.zoom(1000, 10);
    EXPECT_DOUBLE_EQ(timeline.visibleEnd(), 10);
    timeline.zoom(0.001, 5);
    EXPECT_FALSE(timeline.isZoomed());

    timeline.zoom(5, 0); // 0..2
    EXPECT_DOUBLE_EQ(timeline.visibleStart(), 0);
    timeline.pan(0.5);
    EXPECT_DOUBLE_EQ(timeline.visibleStart(), 1);
    timeline.pan(100);
    EXPECT_DOUBLE_EQ(timeline.visibleEnd(), 10);
    EXPECT_FALSE(timeline.follow(9)); // still in view
    EXPECT_TRUE(timeline.follow(4.0));
    EXPECT_TRUE(timeline.isVisible(4.0));
    EXPECT_NEAR(timeline.visibleStart(), 4.0 - 0.2, 1e-9);
    // Reversed playback runs towards the start: the view leads to the left of the audio.
    timeline.setReversed(true);
    EXPECT_TRUE(timeline.follow(2.0));
    EXPECT_NEAR(timeline.visibleEnd(), 2.2, 1e-9);
    timeline.pan(0.5); // rightwards on the screen is earlier audio when reversed
    EXPECT_NEAR(timeline.visibleStart(), 0, 1e-9);
}

TEST(ReversalFrames, ForwardSecondsAndBackAreExact)
{
    const ReversalFrames frames{kFrames, kFixtureRate};
    const FrameRange stretch = frames.fromForwardSeconds(3.5, 2.0);
    EXPECT_EQ(stretch, reversalOf(2.0, 3.5));
    const auto [from, to] = frames.forwardSeconds(stretch);
    EXPECT_DOUBLE_EQ(from, 2.0);
    EXPECT_DOUBLE_EQ(to, 3.5);
    EXPECT_EQ(frames.fromForwardSeconds(from, to), stretch);
    EXPECT_EQ(frames.fromForwardSeconds(-1, 20), (FrameRange{0, kFrames}));
}

TEST(WaveformPicture, AZoomedStretchIsDrawnFromItsOwnAudio)
{
    // Silence, then a loud second: the stretch's own frames decide what is drawn.
    const QString path = scratchRoot() + QStringLiteral("/halves.wav");
    ASSERT_EQ(runShell(QStringLiteral("sox -n -r 8000 -b 16 -c 1 '%1' synth 1 sine 440 vol 0 : "
                                      "synth 1 sine 440 vol 0.9")
                           .arg(path)),
              0);
    QString error;
    const auto loudBars = [](const QImage &image) {
        int bars = 0;
        for (int x = 0; x < image.width(); ++x)
            bars += qAlpha(image.pixel(x, image.height() / 4)) > 0;
        return bars;
    };
    const QImage quiet = WaveformPicture::drawFrames(path, 0, 4000, QSize(400, 60), 0, error);
    const QImage loud = WaveformPicture::drawFrames(path, 12000, 16000, QSize(400, 60), 0, error);
    ASSERT_FALSE(loud.isNull()) << error.toStdString();
    EXPECT_EQ(loudBars(quiet), 0);
    EXPECT_GT(loudBars(loud), 150);

    WaveformPicture picture;
    picture.setSource(path);
    QSignalSpy ready(&picture, &WaveformPicture::ready);
    EXPECT_TRUE(picture.draw(QSize(400, 60), 0.6, 0.65).isNull());
    ASSERT_TRUE(ready.wait(5000));
    picture.draw(QSize(400, 60), 0.6, 0.65); // a tenth of a second: read from the audio
    ASSERT_TRUE(ready.wait(5000));
    EXPECT_EQ(picture.draw(QSize(400, 60), 0.6, 0.65).size(), QSize(400, 60));
    EXPECT_GT(loudBars(picture.draw(QSize(400, 60), 0.6, 0.65)), 150);
    EXPECT_EQ(WaveformPicture::drawFrames(scratchRoot() + "/none.wav", 0, 1, QSize(4, 4), 0, error)
                  .isNull(),
              true);
}

class Markers : public PlaybackFixture {
protected:
    const PlaybackView &v() { return screen->view(); }
    QPoint at(const QWidget *view, const QPointF &point)
    {
        return view->mapTo(screen.get(), point.toPoint());
    }
    // The point at this fraction of the waveform's width.
    QPoint onWaveform(double fraction)
    {
        const QWidget *overlay = v().markerOverlay;
        return at(overlay, QPointF(overlay->width() * fraction, overlay->height() / 2.0));
    }
    // A desk window, with room for the marker list.
    void widen()
    {
        screen->resize(1024, 768);
        ASSERT_TRUE(waitUntil([&] { return screen->size() == QSize(1024, 768); }));
        drainEvents();
        ASSERT_TRUE(v().markerList->isVisible());
    }
    void activate()
    {
        screen->activateWindow();
        ASSERT_TRUE(waitUntil([&] { return screen->isActiveWindow(); }));
    }
    void openSong()
    {
        song = makeRecording(QStringLiteral("Song"));
        openRecording(song);
        widen();
        activate();
    }
    void type(const QString &text)
    {
        for (const QChar c : text)
            QTest::keyClick(window(), c.toLatin1());
        drainEvents();
    }
    void shiftDrag(const QPoint &from, const QPoint &to)
    {
        QTest::mousePress(window(), Qt::LeftButton, Qt::ShiftModifier, from);
        QTest::mouseMove(window(), (from + to) / 2);
        QTest::mouseMove(window(), to);
        QTest::mouseRelease(window(), Qt::LeftButton, Qt::ShiftModifier, to);
        drainEvents();
    }
    void wheel(const QPoint &point, const QPoint &delta, Qt::KeyboardModifiers modifiers)
    {
        const QPointF local(point);
        QWheelEvent turn(local, window()->mapToGlobal(local), QPoint(), delta, Qt::NoButton,
                         modifiers, Qt::NoScrollPhase, false);
        QGuiApplication::sendEvent(window(), &turn);
        drainEvents();
    }
    QList<PhraseMarker> stored(qint64 rowID)
    {
        StoreContext reader;
        EXPECT_TRUE(reader.open(storePath));
        return PhraseMarkerStore(reader).markers(rowID);
    }
    // A marker over forward seconds [a, b], made at the playhead with M.
    void markWithKeys(double a, double b, const QString &text)
    {
        screen->engine().seek(a);
        key(Qt::Key_M);
        screen->engine().seek(b);
        key(Qt::Key_M);
        type(text);
        key(Qt::Key_Return);
    }
    QPoint rowPoint(int row)
    {
        MarkerListView *list = v().markerList;
        list->scrollToItem(list->topLevelItem(row));
        const QRect rect = list->visualItemRect(list->topLevelItem(row));
        return at(list->viewport(), rect.center());
    }

    std::shared_ptr<Recording> song;
};

TEST_F(Markers, ShiftDragMarksAStretchAndEnterStoresWhatWasTyped)
{
    openSong();
    shiftDrag(onWaveform(0.2), onWaveform(0.35));
    // Marking is not seeking.
    EXPECT_DOUBLE_EQ(screen->engine().currentTime(), 0);
    ASSERT_EQ(screen->markers().size(), 1);
    type(QStringLiteral("the sea"));
    key(Qt::Key_Return);
    const QList<PhraseMarker> markers = stored(song->rowID());
    ASSERT_EQ(markers.size(), 1);
    EXPECT_EQ(markers[0].text, "the sea");
    const auto [from, to] = screen->reversalFrames().forwardSeconds(markers[0].frames);
    EXPECT_NEAR(from, 2.0, 0.05);
    EXPECT_NEAR(to, 3.5, 0.05);
    EXPECT_EQ(v().markerList->topLevelItem(0)->text(MarkerListView::TextColumn), "the sea");

    // Escape drops a new marker; a plain click still seeks.
    shiftDrag(onWaveform(0.6), onWaveform(0.7));
    type(QStringLiteral("gone"));
    key(Qt::Key_Escape);
    EXPECT_EQ(screen->markers().size(), 1);
    EXPECT_EQ(stored(song->rowID()).size(), 1);
    QTest::mouseClick(window(), Qt::LeftButton, {}, onWaveform(0.75));
    drainEvents();
    EXPECT_NEAR(screen->engine().currentTime(), 7.5, 0.1);
    EXPECT_EQ(screen->markers().size(), 1);
}

TEST_F(Markers, ANewMarkerKeepsTheTextStillOpenOfThePreviousOne)
{
    openSong();
    shiftDrag(onWaveform(0.1), onWaveform(0.2));
    type(QStringLiteral("kept"));
    shiftDrag(onWaveform(0.5), onWaveform(0.6));
    type(QStringLiteral("next"));
    key(Qt::Key_Return);
    QStringList texts;
    for (const PhraseMarker &marker : stored(song->rowID()))
        texts << marker.text;
    EXPECT_EQ(texts, (QStringList{"next", "kept"}));
    EXPECT_EQ(v().markerList->topLevelItemCount(), 2);
}

TEST_F(Markers, OnThePhonesScreenTheListComesOnlyToTypeInto)
{
    openRecording(song = makeRecording(QStringLiteral("Song")));
    activate();
    EXPECT_FALSE(v().markerList->isVisible());
    shiftDrag(onWaveform(0.2), onWaveform(0.3));
    ASSERT_TRUE(v().markerList->isVisible());
    // Over the bottom panel, where it can be seen and typed into.
    const QPoint middle = at(v().markerList, v().markerList->rect().center());
    EXPECT_TRUE(v().markerList->isAncestorOf(screen->childAt(middle)) ||
                screen->childAt(middle) == v().markerList);
    type(QStringLiteral("small"));
    key(Qt::Key_Return);
    EXPECT_FALSE(v().markerList->isVisible());
    ASSERT_EQ(stored(song->rowID()).size(), 1);
    EXPECT_EQ(stored(song->rowID())[0].text, "small");
}

TEST_F(Markers, MTwiceMarksThePlayheadsStretchInEitherOrder)
{
    openSong();
    markWithKeys(2.0, 3.5, QStringLiteral("one"));
    markWithKeys(6.0, 5.0, QStringLiteral("two"));
    const QList<PhraseMarker> markers = stored(song->rowID());
    ASSERT_EQ(markers.size(), 2);
    // By start on the reversal: the later forward stretch comes first.
    EXPECT_EQ(markers[0].frames, reversalOf(5.0, 6.0));
    EXPECT_EQ(markers[0].text, "two");
    EXPECT_EQ(markers[1].frames, reversalOf(2.0, 3.5));

    // Escape lets a first M go; the same point twice is no stretch.
    key(Qt::Key_M);
    key(Qt::Key_Escape);
    key(Qt::Key_M);
    key(Qt::Key_M);
    EXPECT_EQ(screen->markers().size(), 2);
}

TEST_F(Markers, TextIsEditedAndMarkersRemovedWithKeysAndTheButton)
{
    openSong();
    markWithKeys(1.0, 2.0, QStringLiteral("first"));
    markWithKeys(4.0, 5.0, QStringLiteral("second"));
    // Forward, rows run as the waveform does: earliest first.
    QTest::mouseClick(window(), Qt::LeftButton, {}, rowPoint(0));
    drainEvents();
    ASSERT_EQ(screen->markers()[v().markerList->selectedMarker()].text, "first");
    key(Qt::Key_F2);
    QTest::keyClick(window(), Qt::Key_A, Qt::ControlModifier);
    type(QStringLiteral("changed"));
    key(Qt::Key_Return);
    QList<PhraseMarker> markers = stored(song->rowID());
    ASSERT_EQ(markers.size(), 2);
    EXPECT_EQ(markers[1].text, "changed");

    // Escape while editing keeps the stored text.
    screen->editMarker(v().markerList->selectedMarker());
    drainEvents();
    type(QStringLiteral(" more"));
    key(Qt::Key_Escape);
    EXPECT_EQ(stored(song->rowID())[1].text, "changed");

    key(Qt::Key_Delete);
    markers = stored(song->rowID());
    ASSERT_EQ(markers.size(), 1);
    EXPECT_EQ(markers[0].text, "second");
    QTest::mouseClick(window(), Qt::LeftButton, {}, rowPoint(0));
    const QToolButton *remove = v().removeMarkerButton;
    QTest::mouseClick(window(), Qt::LeftButton, {}, at(remove, remove->rect().center()));
    drainEvents();
    EXPECT_TRUE(stored(song->rowID()).isEmpty());
    EXPECT_EQ(v().markerList->topLevelItemCount(), 0);
}

TEST_F(Markers, ClickingAMarkerPlaysItInTheCurrentDirection)
{
    openSong();
    markWithKeys(2.0, 3.0, QStringLiteral("phrase"));
    screen->engine().seek(8.0);
    QTest::mouseClick(window(), Qt::LeftButton, {}, rowPoint(0));
    drainEvents();
    ASSERT_TRUE(screen->engine().isPlaying());
    EXPECT_NEAR(screen->engine().currentTime(), 2.0, 0.02);
    advance(screen->engine().audioPlayer(), 1100);
    // Played once: paused back at its start.
    EXPECT_FALSE(screen->engine().isPlaying());
    EXPECT_NEAR(screen->engine().currentTime(), 2.0, 0.02);

    key(Qt::Key_R);
    QTest::mouseClick(window(), Qt::LeftButton, {}, rowPoint(0));
    drainEvents();
    ASSERT_TRUE(screen->engine().isPlaying());
    EXPECT_NEAR(screen->engine().currentTime(), 3.0, 0.02);
    advance(screen->engine().reverseAudioPlayer(), 500);
    EXPECT_TRUE(screen->engine().isPlaying());
    EXPECT_NEAR(screen->engine().currentTime(), 2.5, 0.05);
    advance(screen->engine().reverseAudioPlayer(), 600);
    EXPECT_FALSE(screen->engine().isPlaying());
    EXPECT_NEAR(screen->engine().currentTime(), 3.0, 0.02);
}

TEST_F(Markers, AScreenReaderReadsThePhrasesAsAListAndCanPlayOne)
{
    openSong();
    markWithKeys(2.0, 3.0, QStringLiteral("the sea"));
    markWithKeys(5.0, 6.0, QString());
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(v().markerList);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->role(), QAccessible::List);
    EXPECT_EQ(list->text(QAccessible::Name), "Phrases");
    ASSERT_EQ(list->childCount(), 2);
    QAccessibleInterface *named = list->child(0);
    EXPECT_EQ(named->role(), QAccessible::ListItem);
    EXPECT_EQ(named->text(QAccessible::Name), "the sea");
    EXPECT_EQ(named->text(QAccessible::Description),
              QStringLiteral("1  0:02.0 \u2013 0:03.0 (Forward time)"));
    // A phrase not yet named is known by its number and times.
    EXPECT_EQ(list->child(1)->text(QAccessible::Name), QStringLiteral("2  0:05.0 \u2013 0:06.0"));
    // Where a reader points is where the row is drawn.
    EXPECT_EQ(list->childAt(named->rect().center().x(), named->rect().center().y()), named);
    EXPECT_EQ(window()->mapFromGlobal(named->rect().center()), rowPoint(0));

    // Walking the rows with a reader listening tells it of each row, and a row it presses plays.
    QAccessible::setActive(true);
    v().markerList->setFocus();
    key(Qt::Key_Down);
    key(Qt::Key_Down);
    EXPECT_TRUE(list->child(1)->state().selected);
    named->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    drainEvents();
    QAccessible::setActive(false);
    ASSERT_TRUE(screen->engine().isPlaying());
    EXPECT_NEAR(screen->engine().currentTime(), 2.0, 0.02);

    // Rows deleted leave their items invalid rather than reading another's text.
    QAccessibleInterface *second = list->child(1);
    v().markerList->setFocus();
    key(Qt::Key_Delete);
    EXPECT_EQ(list->childCount(), 1);
    EXPECT_FALSE(second->isValid());
}

TEST_F(Markers, BandsLieOverTheSameAudioInBothDirectionsAndAtEveryZoom)
{
    openSong();
    markWithKeys(2.0, 3.0, QStringLiteral("phrase"));
    const MarkerOverlay *overlay = v().markerOverlay;
    const double w = overlay->width();
    ASSERT_EQ(overlay->bandRects().size(), 1);
    EXPECT_NEAR(overlay->bandRects()[0].left(), 0.2 * w, 1);
    EXPECT_NEAR(overlay->bandRects()[0].right(), 0.3 * w, 1);

    // Reversed, the waveform runs as the reversal plays: the stretch is at its own place on
    // the reversal's time line, and so are the playhead and the picture.
    screen->engine().seek(2.5);
    key(Qt::Key_R);
    EXPECT_NEAR(overlay->bandRects()[0].left(), 0.7 * w, 1);
    EXPECT_NEAR(overlay->bandRects()[0].right(), 0.8 * w, 1);
    EXPECT_TRUE(v().scrubberSlider->invertedAppearance());
    EXPECT_EQ(v().markerList->topLevelItem(0)->text(MarkerListView::TimeColumn),
              QStringLiteral("1  0:07.0 \u2013 0:08.0"));
    // A click there seeks to that audio.
    QTest::mouseClick(window(), Qt::LeftButton, {}, onWaveform(0.75));
    drainEvents();
    EXPECT_NEAR(screen->engine().currentTime(), 2.5, 0.1);

    // Zoomed twice around the playhead, which stays where it was (mirrored while reversed).
    key(Qt::Key_Plus, Qt::ShiftModifier);
    key(Qt::Key_Plus, Qt::ShiftModifier);
    const auto &timeline = screen->timeline();
    ASSERT_NEAR(timeline.span(), 10 / 2.25, 1e-6);
    EXPECT_NEAR(timeline.xOf(2.5, w), 0.75 * w, 1);
    const QRectF band = overlay->bandRects()[0];
    EXPECT_NEAR(band.left(), timeline.xOf(3.0, w), 1);
    EXPECT_NEAR(band.right(), timeline.xOf(2.0, w), 1);
    EXPECT_TRUE(v().zoomScrollBar->isVisible());
    key(Qt::Key_R);
    EXPECT_NEAR(overlay->bandRects()[0].left(), timeline.xOf(2.0, w), 1);
    EXPECT_NEAR(overlay->bandRects()[0].right(), timeline.xOf(3.0, w), 1);
    EXPECT_LT(overlay->bandRects()[0].left(), overlay->bandRects()[0].right());
    key(Qt::Key_0);
    EXPECT_FALSE(v().zoomScrollBar->isVisible());
    EXPECT_NEAR(overlay->bandRects()[0].left(), 0.2 * w, 1);
}

TEST_F(Markers, CtrlWheelZoomsAroundThePointerAndSidewaysScrollPans)
{
    openSong();
    const QPoint pointer = onWaveform(0.3);
    const double under =
        screen->timeline().timeAt(0.3 * v().markerOverlay->width(), v().markerOverlay->width());
    wheel(pointer, QPoint(0, 360), Qt::ControlModifier);
    const WaveformTimeline &timeline = screen->timeline();
    ASSERT_TRUE(timeline.isZoomed());
    EXPECT_NEAR(timeline.span(), 10 / std::pow(1.25, 3), 1e-6);
    EXPECT_NEAR(timeline.xOf(under, v().markerOverlay->width()), 0.3 * v().markerOverlay->width(),
                0.5);
    // The playhead at 0 s is out of view: its handle is not drawn at the edge.
    EXPECT_TRUE(v().scrubberSlider->styleSheet().contains("transparent"));

    // A click in the zoomed view seeks to the time under it.
    QTest::mouseClick(window(), Qt::LeftButton, {}, onWaveform(0.5));
    drainEvents();
    EXPECT_NEAR(screen->engine().currentTime(),
                timeline.timeAt(0.5 * v().markerOverlay->width(), v().markerOverlay->width()),
                0.05);
    EXPECT_FALSE(v().scrubberSlider->styleSheet().contains("transparent"));

    const double start = timeline.visibleStart();
    wheel(pointer, QPoint(-120, 0), {});
    EXPECT_NEAR(timeline.visibleStart(), start + timeline.span() / 10, 1e-6);
    const double before = screen->engine().currentTime();
    wheel(pointer, QPoint(0, 120), Qt::ShiftModifier);
    EXPECT_NEAR(timeline.visibleStart(), start, 1e-6);
    // Neither pan nor zoom seeks.
    EXPECT_DOUBLE_EQ(screen->engine().currentTime(), before);

    // A pinch zooms around the fingers as the wheel does around the pointer; a double tap
    // with two fingers shows everything.
    const double spanBefore = timeline.span();
    const double underFingers =
        timeline.timeAt(0.3 * v().markerOverlay->width(), v().markerOverlay->width());
    const auto pinch = [&](Qt::NativeGestureType type, double value) {
        const QPointF local(pointer);
        QNativeGestureEvent gesture(type, QPointingDevice::primaryPointingDevice(), 2, local, local,
                                    window()->mapToGlobal(local), value, QPointF());
        QGuiApplication::sendEvent(window(), &gesture);
        drainEvents();
    };
    pinch(Qt::ZoomNativeGesture, 0.5);
    EXPECT_NEAR(timeline.span(), spanBefore / 1.5, 1e-6);
    EXPECT_NEAR(timeline.xOf(underFingers, v().markerOverlay->width()),
                0.3 * v().markerOverlay->width(), 0.5);
    pinch(Qt::SmartZoomNativeGesture, 0);
    EXPECT_FALSE(timeline.isZoomed());
    wheel(pointer, QPoint(0, 360), Qt::ControlModifier);

    // The zoomed picture is drawn for the shown stretch.
    screen->resize(1024, 768);
    const QLabel *waveform = v().editWaveformImageView;
    ASSERT_TRUE(waitUntil([&] { return waveform->pixmap().size() == waveform->size(); }));
    // Crop mode shows the whole audio and keeps it so.
    screen->crop();
    EXPECT_FALSE(timeline.isZoomed());
    wheel(pointer, QPoint(0, 360), Qt::ControlModifier);
    EXPECT_FALSE(timeline.isZoomed());
}

TEST_F(Markers, PlayingFollowsThePlayheadThroughAZoomedView)
{
    openSong();
    key(Qt::Key_Plus);
    key(Qt::Key_Plus);
    key(Qt::Key_Plus); // 10 / 3.375 s around 0
    const WaveformTimeline &timeline = screen->timeline();
    ASSERT_NEAR(timeline.visibleStart(), 0, 1e-9);
    key(Qt::Key_Space);
    for (int i = 0; i < 40; ++i)
        advance(screen->engine().audioPlayer(), 100);
    EXPECT_NEAR(screen->engine().currentTime(), 4.0, 0.05);
    EXPECT_TRUE(timeline.isVisible(screen->engine().currentTime()));
    EXPECT_GT(timeline.visibleStart(), 1);
    key(Qt::Key_Minus);
    key(Qt::Key_Minus);
    key(Qt::Key_Minus);
    EXPECT_FALSE(timeline.isZoomed());
}

TEST_F(Markers, AnUnsavedReversalKeepsItsMarkersUntilItIsSaved)
{
    openFresh();
    widen();
    activate();
    markWithKeys(1.0, 2.0, QStringLiteral("early"));
    ASSERT_EQ(screen->markers().size(), 1);
    EXPECT_EQ(screen->markers()[0].id, 0);
    screen->saveReversal();
    drainEvents();
    ASSERT_TRUE(screen->recording());
    const QList<PhraseMarker> markers = stored(screen->recording()->rowID());
    ASSERT_EQ(markers.size(), 1);
    EXPECT_EQ(markers[0].text, "early");
    EXPECT_EQ(markers[0].frames, reversalOf(1.0, 2.0));
    EXPECT_NE(screen->markers()[0].id, 0);
}

TEST_F(Markers, CropKeepsMovesAndDropsMarkersByWhatItKeeps)
{
    openSong();
    markWithKeys(3.0, 4.0, QStringLiteral("inside"));
    markWithKeys(1.0, 3.0, QStringLiteral("cut"));
    markWithKeys(7.0, 9.0, QStringLiteral("outside"));
    // Keep forward 2 s to 6 s: the reversal's 4 s to 8 s.
    screen->crop();
    screen->rangeSlider()->setMin(0.2f);
    screen->rangeSlider()->setMax(0.6f);
    screen->saveCrop();
    ASSERT_TRUE(waitUntil([&] { return storedRecordings().size() == 2u; }));
    drainEvents();
    auto cropped = screen->recording();
    ASSERT_NE(cropped->rowID(), song->rowID());
    const QList<PhraseMarker> carried = stored(cropped->rowID());
    ASSERT_EQ(carried.size(), 2);
    // By start on the new reversal: "inside", then what is left of "cut", moved to the new
    // start; each still lies over the audio it was made on.
    EXPECT_EQ(carried[0].text, "inside");
    EXPECT_EQ(carried[0].frames.length(), kRate);
    EXPECT_EQ(carried[1].text, "cut");
    const std::vector<qint16> reversal = readFrames(cropped->reverseAudioPath());
    EXPECT_EQ(carried[1].frames.end, qint64(reversal.size()));
    EXPECT_LT(carried[1].frames.length(), 2 * kRate);
    // The old reversal's frame i holds kFrames - 1 - i.
    EXPECT_EQ(reversal[size_t(carried[0].frames.start)],
              qint16(kFrames - 1 - reversalOf(3.0, 4.0).start));
    EXPECT_EQ(reversal[size_t(carried[1].frames.start)],
              qint16(kFrames - 1 - reversalOf(1.0, 3.0).start));
    // The old recording keeps all three.
    EXPECT_EQ(stored(song->rowID()).size(), 3);
    EXPECT_EQ(v().markerList->topLevelItemCount(), 2);
}

TEST_F(Markers, AMarkerThatCannotBeStoredIsToldAndNotKept)
{
    openSong();
    // The record is gone from the file behind the screen's back.
    {
        StoreContext other;
        ASSERT_TRUE(other.open(storePath));
        auto objects = other.fetchObjects(Recording::entityName(), {}, {});
        ASSERT_EQ(objects.size(), 1u);
        objects.front()->deleteObject();
        ASSERT_TRUE(other.save());
    }
    markWithKeys(1.0, 2.0, QStringLiteral("lost"));
    ASSERT_EQ(alerts.alerts().size(), 1);
    EXPECT_EQ(alerts.alerts().front().title, "Couldn't Save the Marker");
    EXPECT_TRUE(screen->markers().isEmpty());
}

} // namespace
