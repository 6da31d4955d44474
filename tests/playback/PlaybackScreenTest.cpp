#include "PlaybackFixture.h"

#include "platform/Localized.h"
#include "toolkit/RangeSlider.h"

#include <QApplication>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QSlider>
#include <QToolButton>

using namespace murmelo;
using namespace murmelo::test;

namespace {

class PlaybackScreen : public PlaybackFixture {
protected:
    Player *forward() { return screen->engine().audioPlayer(); }
    Player *reverse() { return screen->engine().reverseAudioPlayer(); }
    double currentTime() { return screen->engine().currentTime(); }
    bool playButtonSelected() { return screen->view().playButton->isChecked(); }

    // Crop mode over a saved reversal, with the range slider at [min, max].
    void enterCropMode(float min, float max)
    {
        openRecording(makeRecording(QStringLiteral("Song")));
        screen->crop();
        ASSERT_TRUE(screen->isCropMode());
        screen->rangeSlider()->setMin(min);
        screen->rangeSlider()->setMax(max);
    }

    void seekTo(double seconds) { screen->view().scrubberSlider->setValue(int(seconds * 1000)); }

    void press(int key)
    {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(screen.get(), &event);
    }
};

TEST_F(PlaybackScreen, FreshReversalShowsTheFindPanelAndStoresNoSpeed)
{
    openFresh();
    const PlaybackView &v = screen->view();
    EXPECT_FALSE(v.findReversalView->isHidden());
    EXPECT_TRUE(v.editReversalView->isHidden());
    EXPECT_FALSE(v.cropButton->isHidden());
    EXPECT_TRUE(v.editTitleLabel->text().isEmpty());
    EXPECT_TRUE(v.displayTitleLabel->text().isEmpty());
    EXPECT_FALSE(v.editView->isHidden());
    EXPECT_TRUE(v.displayView->isHidden());
    for (QWidget *hidden : {v.saveReversalView, v.shareReversalView, v.waitView,
                            static_cast<QWidget *>(v.infoText), v.saveCropView})
        EXPECT_TRUE(hidden->isHidden());
    EXPECT_EQ(v.currentTimeLabel->text(), "0:00");
    EXPECT_EQ(v.audioDurationLabel->text(), "0:10");
    EXPECT_EQ(v.scrubberSlider->maximum(), 10000);
    EXPECT_EQ(sidebar.selected, QList<int>{1});
    EXPECT_TRUE(screen->hasUnsavedReversal());

    v.speedSlider->setValue(150);
    EXPECT_FLOAT_EQ(forward()->rate(), 1.5f);
    EXPECT_FLOAT_EQ(reverse()->rate(), 1.5f);
    screen->playbackSpeedDone();
    EXPECT_TRUE(storedRecordings().empty());
    EXPECT_FALSE(store->hasChanges());
}

TEST_F(PlaybackScreen, ImportedSongOffersNoPanelAndNoCrop)
{
    openFresh(true);
    EXPECT_TRUE(screen->view().findReversalView->isHidden());
    EXPECT_TRUE(screen->view().editReversalView->isHidden());
    EXPECT_TRUE(screen->view().cropButton->isHidden());
}

TEST_F(PlaybackScreen, SavedRecordingBringsItsTitleSpeedAndEditPanel)
{
    auto recording = makeRecording(QStringLiteral("Song"), QStringLiteral("hello there"));
    recording->setSpeedValue(0.7f);
    // Handed over the way the saved-recordings list opens a record.
    dynamic_cast<RecordingHandOff &>(*screen).setRecording(recording);
    screen->show();
    drainEvents();
    EXPECT_EQ(screen->view().editTitleLabel->text(), "Song");
    EXPECT_TRUE(screen->view().findReversalView->isHidden());
    EXPECT_FALSE(screen->view().editReversalView->isHidden());
    EXPECT_FALSE(screen->view().editMessageButton->isHidden());
    EXPECT_EQ(screen->view().messageLabel->text(), "hello there");
    EXPECT_EQ(screen->view().speedSlider->value(), 70);
    EXPECT_FLOAT_EQ(forward()->rate(), 0.7f);
    EXPECT_FLOAT_EQ(reverse()->rate(), 0.7f);
    EXPECT_FALSE(screen->hasUnsavedReversal());

    screen->view().speedSlider->setValue(125);
    screen->playbackSpeedDone();
    ASSERT_EQ(storedRecordings().size(), 1u);
    EXPECT_FLOAT_EQ(storedRecordings().front()->speedValue(), 1.25f);
}

TEST_F(PlaybackScreen, LongMessageIsCutAtTheMaximumWidthWithTheButtonBeside)
{
    openRecording(makeRecording(QStringLiteral("Song"), QString(120, QLatin1Char('m'))));
    const QLabel *label = screen->view().messageLabel;
    const QWidget *button = screen->view().editMessageButton;
    EXPECT_EQ(label->width(), 216);
    EXPECT_EQ(button->x(), label->x() + label->width() + 10);
    EXPECT_NEAR((label->x() + button->x() + button->width()) / 2.0, 160, 1);
}

TEST_F(PlaybackScreen, PlaysPausesAndFollowsThePlayer)
{
    openFresh();
    screen->pausePlay();
    EXPECT_TRUE(forward()->isPlaying());
    EXPECT_TRUE(playButtonSelected());
    EXPECT_TRUE(screen->engine().isRefreshing());
    advance(forward(), 2500);
    EXPECT_NEAR(currentTime(), 2.5, 0.01);
    EXPECT_EQ(screen->view().currentTimeLabel->text(), "0:02");
    EXPECT_EQ(screen->view().scrubberSlider->value(), 2500);

    screen->pausePlay();
    EXPECT_FALSE(forward()->isPlaying());
    EXPECT_FALSE(playButtonSelected());
    // The refresh ends by itself once nothing plays.
    EXPECT_FALSE(screen->engine().isRefreshing());

    seekTo(4.0);
    EXPECT_NEAR(forward()->currentTime(), 4.0, 1e-3);
    EXPECT_NEAR(reverse()->currentTime(), 6.0, 1e-3);
    screen->restart();
    EXPECT_EQ(forward()->currentTime(), 0);
    EXPECT_EQ(currentTime(), 0);
}

TEST_F(PlaybackScreen, DirectionSwitchKeepsThePointOfTheAudio)
{
    openFresh();
    // Paused: only the current player changes; playing then starts from the same point.
    seekTo(3.0);
    screen->ffRewind();
    EXPECT_EQ(screen->engine().currentAudioPlayer(), reverse());
    EXPECT_TRUE(screen->view().ffRewindButton->isChecked());
    EXPECT_FALSE(forward()->isPlaying());
    EXPECT_FALSE(reverse()->isPlaying());
    screen->pausePlay();
    EXPECT_TRUE(reverse()->isPlaying());
    EXPECT_NEAR(reverse()->currentTime(), 7.0, 1e-3);
    EXPECT_NEAR(currentTime(), 3.0, 1e-3);

    // Playing: reversed at forward 2.0, the forward player takes over at 2.0 and plays.
    advance(reverse(), 1000);
    EXPECT_NEAR(currentTime(), 2.0, 0.01);
    screen->ffRewind();
    EXPECT_EQ(screen->engine().currentAudioPlayer(), forward());
    EXPECT_FALSE(reverse()->isPlaying());
    EXPECT_TRUE(forward()->isPlaying());
    EXPECT_NEAR(forward()->currentTime(), 2.0, 0.01);
    EXPECT_FALSE(screen->view().ffRewindButton->isChecked());
}

TEST_F(PlaybackScreen, SwitchingWhilePlayingAtThreeSecondsStartsTheReversalAtSeven)
{
    openFresh();
    screen->pausePlay();
    advance(forward(), 3000);
    screen->ffRewind();
    EXPECT_TRUE(reverse()->isPlaying());
    EXPECT_NEAR(reverse()->currentTime(), 7.0, 0.01);
    advance(reverse(), 1000);
    EXPECT_NEAR(currentTime(), 2.0, 0.01);
}

TEST_F(PlaybackScreen, EndOfFileStopsOrLoops)
{
    openFresh();
    screen->pausePlay();
    advance(forward(), 10100);
    EXPECT_FALSE(forward()->isPlaying());
    EXPECT_FALSE(playButtonSelected());
    EXPECT_EQ(currentTime(), 0);

    screen->repeat();
    EXPECT_TRUE(screen->view().repeatButton->isChecked());
    screen->pausePlay();
    advance(forward(), 10100);
    EXPECT_TRUE(forward()->isPlaying());
    EXPECT_TRUE(playButtonSelected());
    EXPECT_LT(currentTime(), 0.2);
}

TEST_F(PlaybackScreen, ReversalThatEndsPlaysAgainFromItsOwnStart)
{
    openFresh();
    screen->ffRewind();
    screen->pausePlay();
    advance(reverse(), 10100);
    EXPECT_FALSE(reverse()->isPlaying());
    // The end of the reversal is the start of the forward audio; playing again starts the
    // reversal over rather than ending at once.
    EXPECT_NEAR(currentTime(), 10.0, 1e-3);
    screen->pausePlay();
    EXPECT_TRUE(reverse()->isPlaying());
    EXPECT_EQ(reverse()->currentTime(), 0);
    advance(reverse(), 500);
    EXPECT_TRUE(reverse()->isPlaying());
}

TEST_F(PlaybackScreen, CropModeConfinesForwardPlayToTheRange)
{
    enterCropMode(0.2f, 0.6f);
    EXPECT_TRUE(screen->view().scrubberSlider->isHidden());
    seekTo(1.0);
    screen->pausePlay();
    EXPECT_NEAR(forward()->currentTime(), 2.0, 1e-3);
    advance(forward(), 4100);
    EXPECT_NEAR(currentTime(), 2.0, 1e-3);
    EXPECT_FALSE(forward()->isPlaying());
    EXPECT_NEAR(forward()->currentTime(), 2.0, 1e-3);

    screen->repeat();
    screen->pausePlay();
    advance(forward(), 4100); // the next pass follows at once, and is 0.1 s in
    EXPECT_TRUE(forward()->isPlaying());
    EXPECT_NEAR(currentTime(), 2.1, 1e-3);
    advance(forward(), 500);
    EXPECT_NEAR(currentTime(), 2.6, 0.01);

    screen->restart();
    EXPECT_NEAR(currentTime(), 2.0, 1e-3);
}

TEST_F(PlaybackScreen, CropModeConfinesReversedPlayToTheRange)
{
    enterCropMode(0.2f, 0.6f);
    screen->ffRewind();
    seekTo(9.0);
    screen->pausePlay();
    EXPECT_NEAR(currentTime(), 6.0, 1e-3);
    EXPECT_NEAR(reverse()->currentTime(), 4.0, 1e-3);
    advance(reverse(), 4100);
    EXPECT_NEAR(currentTime(), 6.0, 1e-3);
    EXPECT_FALSE(reverse()->isPlaying());
    EXPECT_NEAR(reverse()->currentTime(), 4.0, 1e-3);

    seekTo(3.0);
    screen->restart();
    EXPECT_NEAR(reverse()->currentTime(), 4.0, 1e-3);
    EXPECT_NEAR(currentTime(), 6.0, 1e-3);
}

TEST_F(PlaybackScreen, UnopenableFileLeavesItsPlayerAbsentAndSaysSo)
{
    const Pair pair = makePair();
    screen->setAudioPath(QStringLiteral("/nonexistent/forward.wav"));
    screen->setReverseAudioPath(pair.reverse);
    screen->show();
    test::drainEvents();
    EXPECT_EQ(forward(), nullptr);
    EXPECT_NE(reverse(), nullptr);
    EXPECT_EQ(screen->view().currentTimeLabel->text(), "0:00");
    EXPECT_EQ(screen->view().audioDurationLabel->text(), "0:00");
    ASSERT_EQ(alerts.alerts().size(), 1);
    EXPECT_TRUE(alerts.alerts().front().message.contains("forward.wav"));

    screen->pausePlay();
    screen->restart();
    screen->setCurrentTime();
    screen->playbackSpeed();
    EXPECT_FALSE(screen->engine().isPlaying());
    EXPECT_EQ(screen->view().currentTimeLabel->text(), "0:00");
}

TEST_F(PlaybackScreen, KeyboardDrivesTheTransport)
{
    openFresh();
    press(Qt::Key_Space);
    EXPECT_TRUE(forward()->isPlaying());
    press(Qt::Key_Right);
    EXPECT_NEAR(forward()->currentTime(), 1.0, 0.01);
    press(Qt::Key_R);
    EXPECT_TRUE(reverse()->isPlaying());
    EXPECT_FALSE(forward()->isPlaying());
    press(Qt::Key_L);
    EXPECT_TRUE(screen->engine().repeat());
    press(Qt::Key_Up);
    EXPECT_FLOAT_EQ(reverse()->rate(), 1.1f);
    press(Qt::Key_Down);
    press(Qt::Key_Down);
    EXPECT_FLOAT_EQ(forward()->rate(), 0.9f);
    press(Qt::Key_Home);
    EXPECT_EQ(reverse()->currentTime(), 0);
    press(Qt::Key_Space);
    EXPECT_FALSE(screen->engine().isPlaying());
}

} // namespace
