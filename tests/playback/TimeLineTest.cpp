// The two time lines of the playback screen as a desk user meets them: the forward position and
// the reversal's own clock, the marker list's and the crop labels' time lines, and crop mode in
// the direction being heard. Driven through the window at screen points.
#include "PlaybackFixture.h"

#include "audio/MergeAndClip.h"
#include "playback/TimeText.h"
#include "playback/WaveformTimeline.h"
#include "screens/playback/MarkerListView.h"
#include "screens/playback/MarkerOverlay.h"
#include "toolkit/RangeSlider.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <QWindow>
#include <limits>

using namespace murmelo;
using namespace murmelo::test;

namespace {

constexpr int kFixtureRate = 8000; // the fixture's pairs
constexpr qint64 kFrames = 10 * kFixtureRate;

class TimeLines : public PlaybackFixture {
protected:
    const PlaybackView &v() { return screen->view(); }
    QPoint at(const QWidget *view, const QPointF &point)
    {
        return view->mapTo(screen.get(), point.toPoint());
    }
    QPoint centreOf(const QWidget *view) { return at(view, QRectF(view->rect()).center()); }
    QPoint onWaveform(double fraction)
    {
        const QWidget *overlay = v().markerOverlay;
        return at(overlay, QPointF(overlay->width() * fraction, overlay->height() / 2.0));
    }
    void openSong()
    {
        song = makeRecording(QStringLiteral("Song"));
        openRecording(song);
        showAtDeskSize();
    }
    void click(const QPoint &point)
    {
        QTest::mouseClick(window(), Qt::LeftButton, {}, point);
        drainEvents();
    }
    void drag(const QPoint &from, const QPoint &to)
    {
        QTest::mousePress(window(), Qt::LeftButton, {}, from);
        QTest::mouseMove(window(), (from + to) / 2);
        QTest::mouseMove(window(), to);
        QTest::mouseRelease(window(), Qt::LeftButton, {}, to);
        drainEvents();
    }
    // A thumb of the crop handles as drawn, in the screen's points.
    QPoint thumb(const QRectF &frame)
    {
        const RangeSlider *slider = screen->rangeSlider();
        const QPointF inWidget =
            frame.center() + QPointF(RangeSlider::kGrabMargin, RangeSlider::kGrabMargin);
        return at(slider, inWidget);
    }
    // Where the playhead is drawn across the waveform.
    double playheadX()
    {
        return screen->timeline().xOf(screen->engine().currentTime(), v().markerOverlay->width());
    }

    std::shared_ptr<Recording> song;
};

TEST_F(TimeLines, ReversedTheClockTheMarkerListAndThePlayheadCountOnTheReversal)
{
    openSong();
    // A phrase heard between forward 2.0 and 3.0 s: 7.0 to 8.0 s into the reversal.
    screen->beginMarker(2.0, 3.0);
    for (const char c : {'s', 'e', 'a'})
        QTest::keyClick(window(), c);
    key(Qt::Key_Return);
    ASSERT_EQ(screen->markers().size(), 1);
    QTreeWidget *list = v().markerList;
    EXPECT_EQ(list->headerItem()->text(MarkerListView::TimeColumn), QStringLiteral("Forward time"));
    EXPECT_TRUE(v().reversalClockLabel->isHidden()) << "forward there is one clock";

    key(Qt::Key_R);
    ASSERT_TRUE(screen->engine().isReversed());
    EXPECT_EQ(list->headerItem()->text(MarkerListView::TimeColumn),
              QStringLiteral("Reversal time"));
    EXPECT_EQ(list->topLevelItem(0)->text(MarkerListView::TimeColumn),
              QStringLiteral("1  0:07.0 \u2013 0:08.0"));
    // A click in the middle of the band puts the playhead there: the position keeps the forward
    // file's time, the reversal's clock reads the same point on the reversal, inside the row's
    // stretch, and the playhead is drawn over the band.
    const QRectF band = v().markerOverlay->bandRects().at(0);
    click(at(v().markerOverlay, band.center()));
    const double forward = screen->engine().currentTime();
    EXPECT_NEAR(forward, 2.5, 0.05);
    EXPECT_EQ(v().currentTimeLabel->text(), QStringLiteral("0:02"));
    ASSERT_TRUE(v().reversalClockLabel->isVisible());
    EXPECT_EQ(v().reversalClockLabel->text(),
              QStringLiteral("Reversal ") + preciseTimeText(10.0 - forward));
    EXPECT_GE(playheadX(), band.left());
    EXPECT_LE(playheadX(), band.right());

    // Playing, the clock runs with the playhead, up the reversal's time line.
    key(Qt::Key_Space);
    advance(screen->engine().reverseAudioPlayer(), 300);
    const double later = screen->engine().currentTime();
    EXPECT_LT(later, forward);
    EXPECT_EQ(v().reversalClockLabel->text(),
              QStringLiteral("Reversal ") + preciseTimeText(10.0 - later));
    EXPECT_GT(playheadX(), band.center().x());
    EXPECT_LE(playheadX(), band.right());
    key(Qt::Key_Space);

    key(Qt::Key_R);
    EXPECT_TRUE(v().reversalClockLabel->isHidden());
    EXPECT_EQ(list->topLevelItem(0)->text(MarkerListView::TimeColumn),
              QStringLiteral("1  0:02.0 \u2013 0:03.0"));
}

TEST_F(TimeLines, ReversedCropKeepsTheOrientationAndCutsTheStretchShown)
{
    openSong();
    key(Qt::Key_R);
    click(centreOf(v().cropButton));
    ASSERT_TRUE(screen->isCropMode());
    // Still drawn as the reversal plays, the handles with it: max on the left, min on the right.
    EXPECT_TRUE(screen->timeline().isReversed());
    EXPECT_TRUE(screen->engine().isReversed());
    EXPECT_EQ(v().ffRewindButton->text(), QStringLiteral("Reversed"));
    RangeSlider *slider = screen->rangeSlider();
    EXPECT_TRUE(slider->invertedAppearance());
    EXPECT_LT(slider->maxThumbFrame().x(), slider->minThumbFrame().x());

    // The handles are dragged over the picture to 30 % and 60 % of its width.
    const double travel = slider->controlFrame().width() - 2 * RangeSlider::kHeight;
    const QPoint left = thumb(slider->maxThumbFrame());
    drag(left, left + QPoint(qRound(0.3 * travel), 0));
    const QPoint right = thumb(slider->minThumbFrame());
    drag(right, right - QPoint(qRound(0.4 * travel), 0));
    // Left to right on the mirrored picture, 30 % to 60 % is forward 40 % to 70 %.
    EXPECT_NEAR(slider->max(), 0.7, 0.01);
    EXPECT_NEAR(slider->min(), 0.4, 0.01);
    const double width = v().markerOverlay->width();
    EXPECT_NEAR(screen->timeline().timeAt(0.3 * width, width), 7.0, 0.05);
    // The labels count on the reversal, left handle first, and say so.
    const float min = slider->min();
    const float max = slider->max();
    EXPECT_EQ(v().cropStartLabel->text(), timeText(10.0 * (1 - max)));
    EXPECT_EQ(v().cropEndLabel->text(), timeText(10.0 * (1 - min)));
    EXPECT_TRUE(v().cropHintLabel->text().contains(QStringLiteral("reversal")));
    // Turning forward turns the handles with the picture; they stay on the same audio.
    key(Qt::Key_R);
    EXPECT_FALSE(slider->invertedAppearance());
    EXPECT_EQ(slider->min(), min);
    EXPECT_LT(slider->minThumbFrame().x(), slider->maxThumbFrame().x());
    EXPECT_EQ(v().cropStartLabel->text(), timeText(10.0 * min));
    EXPECT_EQ(v().cropEndLabel->text(), timeText(10.0 * max));
    EXPECT_TRUE(v().cropHintLabel->text().contains(QStringLiteral("forward")));
    key(Qt::Key_R);

    click(centreOf(v().saveCropButton));
    ASSERT_TRUE(waitUntil([&] { return screen->recording() != song; }));
    ASSERT_TRUE(waitUntil([&] { return v().waitView->isHidden(); }));

    // The new forward file holds exactly the forward frames of the stretch shown, and its
    // reversal the same audio last to first.
    const ClipFrames kept = clipFrames(min, max, kFrames);
    const std::vector<qint16> forwardFrames = readFrames(screen->audioPath());
    const std::vector<qint16> reverseFrames = readFrames(screen->reverseAudioPath());
    ASSERT_EQ(qint64(forwardFrames.size()), kept.count);
    ASSERT_NEAR(double(reverseFrames.size()), double(forwardFrames.size()), 2);
    EXPECT_NEAR(double(kept.first) / kRate, 4.0, 0.1);
    EXPECT_NEAR(double(kept.first + kept.count) / kRate, 7.0, 0.1);
    for (size_t i = 0; i < forwardFrames.size(); i += 997) {
        EXPECT_EQ(forwardFrames[i], qint16((kept.first + qint64(i)) % 32768)) << i;
        // The reversal is cut by its own fractions: its ends may round a frame or two apart.
        EXPECT_NEAR(reverseFrames[reverseFrames.size() - 1 - i], forwardFrames[i], 2) << i;
    }
    // Like every new file, the copy opens forward, and everything on screen says so.
    EXPECT_FALSE(screen->isCropMode());
    EXPECT_FALSE(screen->engine().isReversed());
    EXPECT_FALSE(screen->timeline().isReversed());
    EXPECT_EQ(v().ffRewindButton->text(), QStringLiteral("Forward"));
    EXPECT_TRUE(v().reversalClockLabel->isHidden());
}

TEST(TimeText, PreciseTimesCountTenthsAndReadZeroForNoTime)
{
    EXPECT_EQ(preciseTimeText(8.57), QStringLiteral("0:08.5"));
    EXPECT_EQ(preciseTimeText(7.0), QStringLiteral("0:07.0"));
    EXPECT_EQ(preciseTimeText(3725.25), QStringLiteral("62:05.2"));
    EXPECT_EQ(preciseTimeText(-0.3), QStringLiteral("0:00.0"));
    EXPECT_EQ(preciseTimeText(std::numeric_limits<double>::quiet_NaN()), QStringLiteral("0:00.0"));
    EXPECT_EQ(preciseTimeText(std::numeric_limits<double>::infinity()), QStringLiteral("0:00.0"));
}

} // namespace
