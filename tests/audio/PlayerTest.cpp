#include "audio/Player.h"
#include "AudioFixtures.h"
#include "audio/AudioOutputNull.h"
#include "support/TestSupport.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

using namespace murmelo;
using namespace std::chrono_literals;

namespace {

// A player on the silent output, with everything it played kept for inspection.
struct NullPlayer {
    NullAudioOutput *output = nullptr;
    std::unique_ptr<Player> player;
    std::vector<float> heard;
    int finished = 0;

    explicit NullPlayer(const QString &path)
    {
        auto out = std::make_unique<NullAudioOutput>();
        output = out.get();
        output->setSink([this](const float *frames, qint64 count, int channels) {
            heard.insert(heard.end(), frames, frames + count * channels);
        });
        QString error;
        player = Player::open(path, error, std::move(out));
        EXPECT_TRUE(player) << error.toStdString();
        if (player)
            player->setFinishedHandler([this] { ++finished; });
    }

    void playFor(std::chrono::milliseconds time)
    {
        output->advance(time);
        test::drainEvents();
    }
};

test::PcmAudio tone(double seconds, double hertz, int channels = 1, int rate = 44100)
{
    test::PcmAudio audio;
    audio.sampleRate = rate;
    audio.channels = channels;
    const qint64 frames = qint64(seconds * rate);
    for (qint64 i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            audio.samples.push_back(
                qint32(std::lround(16000 * std::sin(2 * M_PI * hertz * i / rate))));
    return audio;
}

// Rising zero crossings per second over the middle half of one channel.
double dominantFrequency(const std::vector<float> &samples, int channels, int rate)
{
    const size_t frames = samples.size() / channels;
    const size_t from = frames / 4, to = 3 * frames / 4;
    int crossings = 0;
    size_t first = 0, last = 0;
    for (size_t i = from + 1; i < to; ++i) {
        if (samples[(i - 1) * channels] < 0 && samples[i * channels] >= 0) {
            if (crossings++ == 0)
                first = i;
            last = i;
        }
    }
    return crossings > 1 ? double(crossings - 1) * rate / double(last - first) : 0;
}

} // namespace

TEST(Player, FilesThatCannotBePlayedGiveNoPlayerAndAReason)
{
    QString error;
    EXPECT_EQ(
        Player::open(test::fixturePath("missing.wav"), error, std::make_unique<NullAudioOutput>()),
        nullptr);
    EXPECT_FALSE(error.isEmpty());

    error.clear();
    const QString text = test::writeBytes("notes.wav", "these are not the droids\n");
    EXPECT_EQ(Player::open(text, error, std::make_unique<NullAudioOutput>()), nullptr);
    EXPECT_FALSE(error.isEmpty());

    error.clear();
    QByteArray header = test::wavHeader(2, 44100, 16, 400);
    header[22] = 0; // no channels
    const QString damaged = test::writeBytes("nochannels.wav", header + QByteArray(400, '\0'));
    EXPECT_EQ(Player::open(damaged, error, std::make_unique<NullAudioOutput>()), nullptr);
    EXPECT_FALSE(error.isEmpty());
}

TEST(Player, EverySampleWidthDecodesExactlyAndRateOnePlaysItUntouched)
{
    for (int bits : {8, 16, 24, 32}) {
        SCOPED_TRACE(bits);
        const QString path = test::writeWav(QStringLiteral("ramp%1.wav").arg(bits),
                                            test::rampAudio(3000, 2, bits, 8000));
        const test::PcmAudio ramp = test::readWav(path);
        NullPlayer p(path);
        ASSERT_TRUE(p.player);
        EXPECT_EQ(p.player->frameCount(), 3000);
        EXPECT_EQ(p.player->channels(), 2);
        p.player->play();
        p.playFor(1000ms);
        ASSERT_EQ(p.heard.size(), ramp.samples.size());
        const double scale = std::ldexp(1.0, bits - 1);
        for (size_t i = 0; i < ramp.samples.size(); ++i)
            ASSERT_EQ(p.heard[i], float(ramp.samples[i] / scale)) << "sample " << i;
    }
}

TEST(Player, DurationAndPositionAreSampleAccurateAndClamped)
{
    NullPlayer p(test::writeWav("second.wav", tone(1.0, 440)));
    ASSERT_TRUE(p.player);
    EXPECT_DOUBLE_EQ(p.player->duration(), 1.0);
    EXPECT_DOUBLE_EQ(p.player->currentTime(), 0.0);

    p.player->setCurrentTime(12345.0 / 44100);
    EXPECT_DOUBLE_EQ(p.player->currentTime(), 12345.0 / 44100);
    p.player->setCurrentTime(-3);
    EXPECT_DOUBLE_EQ(p.player->currentTime(), 0.0);
    p.player->setCurrentTime(7);
    EXPECT_DOUBLE_EQ(p.player->currentTime(), 1.0);

    // Playing starts exactly at the sample asked for.
    p.player->setCurrentTime(22050.0 / 44100);
    p.player->play();
    p.playFor(10ms);
    const test::PcmAudio source = tone(1.0, 440);
    ASSERT_FALSE(p.heard.empty());
    EXPECT_EQ(p.heard[0], float(source.samples[22050] / 32768.0));
}

TEST(Player, TheClockRunsAtTheRateOnlyWhileRateIsEnabledAndStopsOnPause)
{
    NullPlayer p(test::writeWav("ten.wav", tone(10.0, 440)));
    ASSERT_TRUE(p.player);
    p.player->setRate(2.0f); // ignored until rate control is on
    p.player->play();
    EXPECT_TRUE(p.player->isPlaying());
    p.playFor(1000ms);
    EXPECT_DOUBLE_EQ(p.player->currentTime(), 1.0);

    p.player->setEnableRate(true);
    p.playFor(1000ms);
    EXPECT_NEAR(p.player->currentTime(), 3.0, 0.001);

    p.player->pause();
    EXPECT_FALSE(p.player->isPlaying());
    const double paused = p.player->currentTime();
    const qint64 delivered = p.output->framesDelivered();
    p.playFor(1000ms);
    EXPECT_EQ(p.player->currentTime(), paused);
    EXPECT_EQ(p.output->framesDelivered(), delivered);

    p.player->setRate(9.0f);
    EXPECT_EQ(p.player->rate(), 2.0f);
    p.player->setRate(0.1f);
    EXPECT_EQ(p.player->rate(), 0.5f);
    p.player->play();
    p.playFor(1000ms);
    EXPECT_NEAR(p.player->currentTime(), paused + 0.5, 0.001);
    EXPECT_EQ(p.finished, 0);
}

TEST(Player, FinishesOnceAtTheEndAndNotOnPause)
{
    NullPlayer p(test::writeWav("short.wav", tone(1.0, 440)));
    ASSERT_TRUE(p.player);
    p.player->play();
    p.playFor(500ms);
    p.player->pause();
    test::drainEvents();
    EXPECT_EQ(p.finished, 0);

    p.player->play();
    p.playFor(300ms);
    EXPECT_EQ(p.finished, 0);
    p.playFor(300ms);
    EXPECT_EQ(p.finished, 1);
    EXPECT_FALSE(p.player->isPlaying());
    EXPECT_DOUBLE_EQ(p.player->currentTime(), 0.0);
    // Exactly the file was played, once.
    EXPECT_EQ(p.heard.size(), size_t(44100));
    p.playFor(1000ms);
    EXPECT_EQ(p.finished, 1);

    // A finish the player had no part in after being destroyed is not delivered.
    p.player->play();
    p.output->advance(2000ms);
    p.player.reset();
    test::drainEvents();
    EXPECT_EQ(p.finished, 1);
}

TEST(Player, SeeksWhilePlayingReadBackAtOnceAndJumpsFadeWithoutAClick)
{
    // Half a second at +0.5, then half a second at -0.5: a hard cut between them is a step of 1.
    test::PcmAudio halves;
    halves.sampleRate = 44100;
    for (int i = 0; i < 44100; ++i)
        halves.samples.push_back(i < 22050 ? 16384 : -16384);
    NullPlayer p(test::writeWav("halves.wav", halves));
    ASSERT_TRUE(p.player);
    p.player->setCurrentTime(0.1);
    p.player->play();
    p.playFor(100ms);
    EXPECT_NEAR(p.player->currentTime(), 0.2, 1e-9);

    p.player->jumpTo(0.9);
    EXPECT_DOUBLE_EQ(p.player->currentTime(), 0.9);
    const size_t before = p.heard.size();
    p.playFor(20ms);
    EXPECT_NEAR(p.player->currentTime(), 0.92, 1e-9);
    float largestStep = 0;
    for (size_t i = before; i < p.heard.size(); ++i)
        largestStep = std::max(largestStep, std::abs(p.heard[i] - p.heard[i - 1]));
    EXPECT_LT(largestStep, 0.01f);
    EXPECT_FLOAT_EQ(p.heard.back(), -0.5f);
    EXPECT_FLOAT_EQ(p.heard[before + 2],
                    0.5f * std::cos(2.5 / 221 * M_PI / 2) + -0.5f * std::sin(2.5 / 221 * M_PI / 2));

    p.player->setCurrentTime(0.25);
    EXPECT_DOUBLE_EQ(p.player->currentTime(), 0.25);
    p.playFor(10ms);
    EXPECT_NEAR(p.player->currentTime(), 0.26, 1e-9);
}

// A 10 s tone through the engine at three rates: the output lasts 10 s / rate and keeps the pitch.
TEST(Player, RateChangesTheLengthOfTheOutputButNotItsPitch)
{
    const test::PcmAudio source = tone(10.0, 440);
    const QString path = test::writeWav("tone440.wav", source);
    for (float rate : {0.5f, 1.0f, 2.0f}) {
        SCOPED_TRACE(rate);
        NullPlayer p(path);
        ASSERT_TRUE(p.player);
        p.player->setEnableRate(true);
        p.player->setRate(rate);
        p.player->play();
        for (int i = 0; i < 250 && p.finished == 0; ++i)
            p.playFor(100ms);
        ASSERT_EQ(p.finished, 1);

        const double seconds = double(p.heard.size()) / 44100;
        EXPECT_NEAR(seconds, 10.0 / rate, 0.01 * 10.0 / rate);
        EXPECT_NEAR(dominantFrequency(p.heard, 1, 44100), 440.0, 440.0 * 0.02);
        if (rate == 1.0f) {
            ASSERT_EQ(p.heard.size(), source.samples.size());
            for (size_t i = 0; i < source.samples.size(); i += 997)
                ASSERT_EQ(p.heard[i], float(source.samples[i] / 32768.0));
        }
    }
}

namespace {

// A steady signal: any step in what is heard is the player's doing, not the audio's.
test::PcmAudio level(double seconds, qint32 value, int rate = 44100)
{
    test::PcmAudio audio;
    audio.sampleRate = rate;
    audio.samples.assign(size_t(seconds * rate), value);
    return audio;
}

float largestStep(const std::vector<float> &samples, size_t from)
{
    float largest = 0;
    for (size_t i = std::max<size_t>(from, 1); i < samples.size(); ++i)
        largest = std::max(largest, std::abs(samples[i] - samples[i - 1]));
    return largest;
}

constexpr float kFull = 32767 / 32768.0f;
constexpr size_t kFadeFrames = 221; // 5 ms at 44.1 kHz

} // namespace

TEST(Player, SmoothStartRisesFromSilenceAndSmoothPauseFallsToItWhereItWasAsked)
{
    NullPlayer p(test::writeWav("level.wav", level(1.0, 32767)));
    ASSERT_TRUE(p.player);
    p.player->setCurrentTime(0.25);
    p.player->play(Player::Fade::Smooth);
    p.playFor(20ms);
    ASSERT_EQ(p.heard.size(), 882u);
    // Started on a step, the first frame alone would jump by the full scale.
    EXPECT_LT(std::abs(p.heard.front()), 0.01f);
    EXPECT_LT(largestStep(p.heard, 0), 0.01f);
    EXPECT_LT(p.heard[kFadeFrames - 1], kFull);
    EXPECT_EQ(p.heard[kFadeFrames], kFull);
    EXPECT_NEAR(p.player->currentTime(), 0.27, 1e-9);

    const double asked = p.player->currentTime();
    p.player->pause(Player::Fade::Smooth);
    EXPECT_FALSE(p.player->isPlaying());
    EXPECT_NEAR(p.player->currentTime(), asked, 1.0 / 44100);
    const size_t before = p.heard.size();
    p.playFor(20ms);
    // The fade is played, then nothing: the output has stopped by itself.
    EXPECT_EQ(p.heard.size() - before, kFadeFrames);
    EXPECT_LT(std::abs(p.heard.back()), 0.01f);
    EXPECT_LT(largestStep(p.heard, before), 0.01f);
    EXPECT_FALSE(p.output->isRunning());
    EXPECT_EQ(p.finished, 0);
    EXPECT_NEAR(p.player->currentTime(), asked, 1.0 / 44100);

    p.player->play(Player::Fade::Smooth);
    p.playFor(100ms);
    EXPECT_NEAR(p.player->currentTime(), asked + 0.1, 1.0 / 44100);
}

TEST(Player, SmoothPauseEdgesNeverFinishOrLoseThePosition)
{
    const QString path = test::writeWav("level1.wav", level(1.0, 32767));
    {
        SCOPED_TRACE("paused as the file runs out during the fade");
        NullPlayer p(path);
        ASSERT_TRUE(p.player);
        p.player->setCurrentTime(1.0 - 0.002);
        p.player->play();
        p.playFor(1ms);
        p.player->pause(Player::Fade::Smooth);
        p.playFor(20ms);
        EXPECT_EQ(p.finished, 0);
        EXPECT_NEAR(p.player->currentTime(), 0.999, 1.0 / 44100);
        p.player->play();
        p.playFor(20ms);
        EXPECT_EQ(p.finished, 1);
    }
    {
        SCOPED_TRACE("played again before the fade was heard");
        NullPlayer p(path);
        ASSERT_TRUE(p.player);
        p.player->setCurrentTime(0.5);
        p.player->play();
        p.playFor(100ms);
        p.player->pause(Player::Fade::Smooth);
        const size_t before = p.heard.size();
        p.player->play(Player::Fade::Smooth);
        p.playFor(10ms);
        EXPECT_LT(std::abs(p.heard[before]), 0.01f);
        EXPECT_EQ(p.heard.back(), kFull);
        EXPECT_NEAR(p.player->currentTime(), 0.61, 1.0 / 44100);
        test::drainEvents();
        EXPECT_TRUE(p.player->isPlaying());
        EXPECT_EQ(p.finished, 0);
    }
}

TEST(Player, ADelayedStartIsSilentAndHoldsItsPositionUntilItFadesIn)
{
    NullPlayer p(test::writeWav("level2.wav", level(1.0, 32767)));
    ASSERT_TRUE(p.player);
    p.player->setCurrentTime(0.5);
    p.player->play(Player::Fade::Smooth, 0.01);
    p.playFor(10ms);
    ASSERT_EQ(p.heard.size(), 441u);
    EXPECT_TRUE(std::all_of(p.heard.begin(), p.heard.end(), [](float s) { return s == 0; }));
    EXPECT_DOUBLE_EQ(p.player->currentTime(), 0.5);
    p.playFor(10ms);
    EXPECT_LT(largestStep(p.heard, 0), 0.01f);
    EXPECT_EQ(p.heard.back(), kFull);
    EXPECT_NEAR(p.player->currentTime(), 0.51, 1.0 / 44100);
}

TEST(Player, AnEndTimeEndsTheRunThereToTheSampleFadingOutAtAnyRate)
{
    const QString path = test::writeWav("level3.wav", level(1.0, 32767));
    for (float rate : {1.0f, 1.5f}) {
        SCOPED_TRACE(rate);
        NullPlayer p(path);
        ASSERT_TRUE(p.player);
        p.player->setEnableRate(true);
        p.player->setRate(rate);
        p.player->setCurrentTime(0.25);
        p.player->setEndTime(0.5);
        p.player->play(Player::Fade::Smooth);
        p.playFor(1000ms);
        EXPECT_EQ(p.finished, 1);
        EXPECT_FALSE(p.player->isPlaying());
        // Exactly the stretch was played, in output frames at this rate, and it died away.
        EXPECT_EQ(p.heard.size(), size_t(std::ceil(11025 / rate - 1e-9)));
        EXPECT_LT(std::abs(p.heard.back()), 0.01f);
        EXPECT_LT(largestStep(p.heard, 0), 0.01f);
    }

    // Beyond the end time there is nothing to play; without one the file plays out.
    NullPlayer p(path);
    ASSERT_TRUE(p.player);
    p.player->setEndTime(0.5);
    p.player->setCurrentTime(0.75);
    p.player->play();
    p.playFor(100ms);
    EXPECT_EQ(p.finished, 1);
    EXPECT_TRUE(p.heard.empty());
    p.player->setEndTime(std::nullopt);
    p.player->setCurrentTime(0.75);
    p.player->play();
    p.playFor(1000ms);
    EXPECT_EQ(p.finished, 2);
    EXPECT_EQ(p.heard.size(), 11025u);
    EXPECT_EQ(p.heard.back(), kFull);
}
