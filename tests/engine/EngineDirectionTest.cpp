// The playback engine switching direction and looping, measured as the listener hears it.
#include "EngineSound.h"

#include <algorithm>
#include <chrono>
#include <cmath>

using namespace murmelo;
using namespace murmelo::test;

namespace {

using namespace std::chrono_literals;

// Over a forward file held at +0.5 and a "reversal" held at -0.5: a hard switch between them is
// a step of 1.
class DirectionSwitchSound : public EngineSound {
protected:
    void open(qint64 lag = 0)
    {
        const std::vector<qint16> level(10 * kRate, 16384);
        const std::vector<qint16> negative(10 * kRate, -16384);
        EngineSound::open(writeMono(QStringLiteral("forward.wav"), level),
                          writeMono(QStringLiteral("reverse.wav"), negative), lag);
    }
};

TEST_F(DirectionSwitchSound, StartingAndSwitchingBothWaysMakeNoStep)
{
    open();
    engine->seek(3.0);
    engine->pausePlay();
    play(1000);
    engine->switchDirection();
    EXPECT_FALSE(engine->audioPlayer()->isPlaying());
    EXPECT_TRUE(engine->reverseAudioPlayer()->isPlaying());
    EXPECT_NEAR(engine->reverseAudioPlayer()->currentTime(), 6.0, 1.0 / kRate);
    play(1000);
    engine->switchDirection();
    EXPECT_TRUE(engine->audioPlayer()->isPlaying());
    EXPECT_NEAR(engine->audioPlayer()->currentTime(), 3.0, 1.0 / kRate);
    play(100);

    // Each direction was heard in its turn, with nothing lost between them...
    ASSERT_EQ(mix.size(), size_t(2.1 * kRate));
    EXPECT_FLOAT_EQ(mix[size_t(0.9 * kRate)], 0.5f);
    EXPECT_FLOAT_EQ(mix[size_t(1.9 * kRate)], -0.5f);
    EXPECT_FLOAT_EQ(mix.back(), 0.5f);
    // ...and nowhere with a step (a 5 ms fade at 8 kHz moves at most ~0.03 a frame here).
    EXPECT_LT(largestStep(), 0.05f);
}

TEST_F(DirectionSwitchSound, ALoopAtTheEndOfTheFileFadesOutAndStartsAgainFromSilence)
{
    open();
    engine->setRepeat(true);
    engine->seek(9.9);
    engine->pausePlay();
    play(200);
    EXPECT_TRUE(engine->audioPlayer()->isPlaying());
    const std::vector<float> &heard = tracks[0]->heard;
    ASSERT_GT(heard.size(), size_t(0.15 * kRate));
    const size_t loop = size_t(0.1 * kRate);
    EXPECT_FLOAT_EQ(heard[loop - kRate / 100], 0.5f);
    EXPECT_LT(heard[loop - 1], 0.02f);
    EXPECT_LT(heard[loop], 0.02f);
    for (size_t i = loop + 1; i < heard.size(); ++i)
        ASSERT_LT(std::abs(heard[i] - heard[i - 1]), 0.05f) << "frame " << i;
    EXPECT_FLOAT_EQ(heard.back(), 0.5f);
}

TEST_F(DirectionSwitchSound, TheNewDirectionWaitsForWhatTheOldOutputStillHolds)
{
    const qint64 lag = kRate / 20; // 50 ms in the device's buffer
    open(lag);
    engine->seek(3.0);
    engine->pausePlay();
    play(1000);
    const size_t forwardBefore = tracks[0]->heard.size();
    engine->switchDirection();
    // The old direction can only fade after what it has handed over, so that is the point the
    // new one takes up.
    EXPECT_NEAR(engine->currentTime(), 4.0, 1.0 / kRate);
    EXPECT_NEAR(engine->reverseAudioPlayer()->currentTime(), 6.0, 1.0 / kRate);
    play(100);

    EXPECT_EQ(tracks[0]->heard.size() - forwardBefore, size_t(kRate / 200)); // the 5 ms fade
    EXPECT_LT(tracks[0]->heard.back(), 0.02f);
    const std::vector<float> &reverse = tracks[1]->heard;
    ASSERT_GT(reverse.size(), size_t(lag + kRate / 100));
    EXPECT_TRUE(
        std::all_of(reverse.begin(), reverse.begin() + lag, [](float s) { return s == 0; }));
    EXPECT_GT(reverse[size_t(lag)], -0.02f);
    EXPECT_LT(reverse[size_t(lag)], 0.0f);
    EXPECT_FLOAT_EQ(reverse.back(), -0.5f);
}

} // namespace
