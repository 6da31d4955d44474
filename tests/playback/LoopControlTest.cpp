// The listening loop on the playback screen: its control clicked at the window and keyed, and
// what the screen plays with it.
#include "PlaybackFixture.h"

#include "library/PhraseMarker.h"
#include "toolkit/RangeSlider.h"

#include <QTest>
#include <QToolButton>
#include <QWindow>

using namespace murmelo;
using namespace murmelo::test;

namespace {

class LoopControl : public PlaybackFixture {
protected:
    const PlaybackView &v() { return screen->view(); }
    Player *forward() { return screen->engine().audioPlayer(); }
    Player *reverse() { return screen->engine().reverseAudioPlayer(); }
    void click(const QWidget *view)
    {
        QTest::mouseClick(screen->windowHandle(), Qt::LeftButton, {},
                          view->mapTo(screen.get(), view->rect().center()));
        drainEvents();
    }
    void key(Qt::Key key)
    {
        QTest::keyClick(screen->windowHandle(), key);
        drainEvents();
    }
    const LoopSettings &settings() { return screen->engine().loopSettings(); }
};

TEST_F(LoopControl, ClickedAtTheWindowOrKeyedItStepsThroughItsChoices)
{
    openFresh();
    EXPECT_EQ(v().loopCountButton->text(), "Once");
    EXPECT_EQ(v().loopGapButton->text(), "No gap");
    EXPECT_FALSE(v().repeatButton->isChecked());

    click(v().loopCountButton);
    EXPECT_EQ(settings().count, 3);
    EXPECT_EQ(v().loopCountButton->text(), "3 times");
    EXPECT_TRUE(v().loopCountButton->isChecked());
    // More than once is a loop, and the transport's loop switch says so.
    EXPECT_TRUE(v().repeatButton->isChecked());
    key(Qt::Key_L);
    EXPECT_EQ(v().loopCountButton->text(), "5 times");
    key(Qt::Key_L);
    EXPECT_EQ(v().loopCountButton->text(), "Forever");
    key(Qt::Key_L);
    EXPECT_EQ(settings().count, 1);
    EXPECT_FALSE(v().repeatButton->isChecked());

    click(v().loopGapButton);
    EXPECT_EQ(v().loopGapButton->text(), "0.5 s gap");
    key(Qt::Key_G);
    EXPECT_EQ(settings().gap, 1.0);
    EXPECT_EQ(v().loopGapButton->text(), "1 s gap");
    click(v().pingPongButton);
    EXPECT_TRUE(settings().pingPong);
    EXPECT_TRUE(v().pingPongButton->isChecked());
    key(Qt::Key_P);
    EXPECT_FALSE(settings().pingPong);

    // The loop switch turns the count last chosen back on, and off again.
    key(Qt::Key_L);
    click(v().repeatButton);
    EXPECT_EQ(settings().count, 1);
    click(v().repeatButton);
    EXPECT_EQ(settings().count, 3);
    EXPECT_EQ(settings().gap, 1.0);
}

TEST_F(LoopControl, TheCropRangePlaysTheChosenTimesCountingAloud)
{
    openRecording(makeRecording(QStringLiteral("Song")));
    screen->crop();
    screen->rangeSlider()->setMin(0.2f);
    screen->rangeSlider()->setMax(0.4f);
    key(Qt::Key_L);
    click(v().playButton);
    EXPECT_EQ(v().loopCountButton->text(), "1 of 3");
    // Each call plays a 2-second pass and 0.1 s more: the next pass follows in the same run.
    advance(forward(), 2100);
    EXPECT_EQ(v().loopCountButton->text(), "2 of 3");
    EXPECT_NEAR(screen->engine().currentTime(), 2.1, 1e-3);
    advance(forward(), 2100);
    advance(forward(), 2100);
    EXPECT_FALSE(screen->engine().isPlaying());
    EXPECT_FALSE(v().playButton->isChecked());
    EXPECT_EQ(v().loopCountButton->text(), "3 times");
    EXPECT_NEAR(screen->engine().currentTime(), 2.0, 1e-3);

    // Forever ends with the pause button.
    key(Qt::Key_L);
    key(Qt::Key_L);
    click(v().playButton);
    for (int pass = 0; pass < 4; ++pass)
        advance(forward(), 2100);
    EXPECT_TRUE(screen->engine().isPlaying());
    EXPECT_EQ(v().loopCountButton->text(), "5 of \u221e");
    click(v().playButton);
    advance(forward(), 5000);
    EXPECT_FALSE(screen->engine().isPlaying());
    EXPECT_EQ(screen->engine().loopPlan(), nullptr);
}

TEST_F(LoopControl, AMarkerPlaysItsStretchInTheCurrentDirection)
{
    openFresh();
    // Seconds 1 to 2 of the reversal are seconds 8 to 9 of the forward audio.
    PhraseMarker marker;
    marker.frames = {kRate, 2 * kRate};
    screen->playMarker(marker);
    EXPECT_TRUE(forward()->isPlaying());
    EXPECT_DOUBLE_EQ(forward()->currentTime(), 8.0);
    advance(forward(), 1100);
    EXPECT_FALSE(screen->engine().isPlaying());
    EXPECT_DOUBLE_EQ(screen->engine().currentTime(), 8.0);

    key(Qt::Key_R);
    EXPECT_TRUE(screen->engine().isReversed());
    screen->playMarker(marker);
    EXPECT_TRUE(reverse()->isPlaying());
    EXPECT_DOUBLE_EQ(reverse()->currentTime(), 1.0);
    advance(reverse(), 1100);
    EXPECT_DOUBLE_EQ(screen->engine().currentTime(), 9.0);
    EXPECT_DOUBLE_EQ(reverse()->currentTime(), 1.0);

    // Playing again repeats the marker until Escape lets it go.
    key(Qt::Key_Space);
    EXPECT_DOUBLE_EQ(reverse()->currentTime(), 1.0);
    key(Qt::Key_Space);
    ASSERT_TRUE(screen->engine().markedStretch());
    key(Qt::Key_Escape);
    EXPECT_FALSE(screen->engine().markedStretch());
    key(Qt::Key_Space);
    advance(reverse(), 1100);
    EXPECT_TRUE(screen->engine().isPlaying());
}

} // namespace
