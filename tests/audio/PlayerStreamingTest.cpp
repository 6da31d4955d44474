#include "AudioFixtures.h"
#include "audio/AudioOutputNull.h"
#include "audio/Player.h"
#include "audio/PlayerAudioFile.h"
#include "support/TestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace murmelo;
using namespace std::chrono_literals;

namespace {

constexpr qint64 kBlock = PlayerAudioFile::kBlockFrames;
constexpr int kRate = 8000;

// Longer than the cache holds, so that seeks and reading on reach blocks it has to fetch anew.
constexpr qint64 kLongFrames = kBlock * PlayerAudioFile::kCachedBlocks * 3 + 321;

float expected(const test::PcmAudio &audio, qint64 frame, int channel)
{
    return float(audio.samples[size_t(frame * audio.channels + channel)] / 32768.0);
}

// Frame by frame, so that a mismatch names the frame.
void expectFrames(const float *got, qint64 count, const test::PcmAudio &file, qint64 first)
{
    for (qint64 f = 0; f < count; ++f)
        for (int c = 0; c < file.channels; ++c)
            ASSERT_EQ(got[f * file.channels + c], expected(file, first + f, c))
                << "frame " << first + f << " channel " << c;
}

struct StreamedPlayer {
    NullAudioOutput *output = nullptr;
    std::unique_ptr<Player> player;
    std::vector<float> heard;
    QStringList errors;
    int finished = 0;

    explicit StreamedPlayer(const QString &path)
    {
        auto out = std::make_unique<NullAudioOutput>();
        output = out.get();
        output->setSink([this](const float *frames, qint64 count, int channels) {
            heard.insert(heard.end(), frames, frames + count * channels);
        });
        QString error;
        player = Player::open(path, error, std::move(out));
        EXPECT_TRUE(player) << error.toStdString();
        if (!player)
            return;
        player->setFinishedHandler([this] { ++finished; });
        player->setErrorHandler([this](const QString &reason) { errors << reason; });
    }

    void playFor(std::chrono::milliseconds time)
    {
        output->advance(time);
        test::drainEvents();
    }

    // Plays from `frame` for `frames` frames and returns what was heard.
    std::vector<float> listenAt(qint64 frame, qint64 frames)
    {
        heard.clear();
        player->setCurrentTime(double(frame) / player->sampleRate());
        player->play();
        playFor(std::chrono::milliseconds(frames * 1000 / player->sampleRate()));
        player->pause();
        return heard;
    }
};

} // namespace

TEST(PlayerAudioFile, ReadsSpanningBlocksGiveTheFilesFramesInAnyOrder)
{
    const test::PcmAudio ramp = test::rampAudio(kLongFrames, 2, 16, kRate);
    const QString path = test::writeWav("long-ramp.wav", ramp);
    QString error;
    auto audio = PlayerAudioFile::open(path, error);
    ASSERT_TRUE(audio) << error.toStdString();
    ASSERT_EQ(audio->frames(), kLongFrames);

    struct Read {
        qint64 first, count;
    };
    // Across one boundary, exactly one block, across several, the last frames, from the very end
    // back to the start (blocks the cache has dropped by then).
    const Read reads[] = {
        {kBlock - 5, 10},         {kBlock, kBlock}, {3 * kBlock - 1, 2 * kBlock + 2},
        {kLongFrames - 300, 300}, {0, 7},           {kBlock * 40 + 17, kBlock * 2}};
    for (const Read &r : reads) {
        SCOPED_TRACE(r.first);
        std::vector<float> got(size_t(r.count * 2), -2.0f);
        ASSERT_EQ(audio->read(r.first, r.count, got.data()), r.count);
        expectFrames(got.data(), r.count, ramp, r.first);
    }

    // Past the end comes back short without being a failure.
    std::vector<float> tail(20);
    EXPECT_EQ(audio->read(kLongFrames - 3, 10, tail.data()), 3);
    EXPECT_EQ(audio->read(kLongFrames, 10, tail.data()), 0);
    EXPECT_TRUE(audio->failure().isEmpty());

    // The whole file in one read, after all of that.
    std::vector<float> all(size_t(kLongFrames * 2));
    ASSERT_EQ(audio->read(0, kLongFrames, all.data()), kLongFrames);
    expectFrames(all.data(), kLongFrames, ramp, 0);
}

TEST(PlayerStreaming, SeeksLandOnTheExactFrameAnywhereInALongFile)
{
    const test::PcmAudio ramp = test::rampAudio(kLongFrames, 2, 16, kRate);
    StreamedPlayer p(test::writeWav("seek-ramp.wav", ramp));
    ASSERT_TRUE(p.player);

    // Far ahead, back to the start, onto and just before block boundaries, near the end.
    const qint64 targets[] = {
        kLongFrames - 2 * kBlock, 0, 50 * kBlock, 50 * kBlock - 1, 7 * kBlock + 1, kLongFrames / 2,
        kLongFrames - 80};
    for (qint64 target : targets) {
        SCOPED_TRACE(target);
        const std::vector<float> heard = p.listenAt(target, 80);
        ASSERT_EQ(heard.size(), size_t(80 * 2));
        expectFrames(heard.data(), 80, ramp, target);
    }

    // A seek while playing: what follows it is the file from the target on.
    p.heard.clear();
    p.player->setCurrentTime(0);
    p.player->play();
    p.playFor(10ms);
    const size_t before = p.heard.size();
    const qint64 target = 60 * kBlock + 3;
    p.player->setCurrentTime(double(target) / kRate);
    EXPECT_NEAR(p.player->currentTime(), double(target) / kRate, 1e-9);
    p.playFor(20ms);
    ASSERT_EQ(p.heard.size() - before, size_t(160 * 2));
    expectFrames(p.heard.data() + before, 160, ramp, target);
}

TEST(PlayerStreaming, SwitchingDirectionTakesUpTheMirrorOfTheLastFrameHeard)
{
    const test::PcmAudio forward = test::rampAudio(kLongFrames, 1, 16, kRate);
    test::PcmAudio reversed = forward;
    std::reverse(reversed.samples.begin(), reversed.samples.end());
    StreamedPlayer ahead(test::writeWav("switch-forward.wav", forward));
    StreamedPlayer back(test::writeWav("switch-reversed.wav", reversed));
    ASSERT_TRUE(ahead.player && back.player);

    // Deep into the file, so that the reversal's side of it is far from where it was opened.
    ahead.player->setCurrentTime(double(kLongFrames - 5 * kBlock) / kRate);
    ahead.player->play();
    ahead.playFor(250ms);
    ahead.player->pause();
    const double at = ahead.player->currentTime();
    back.player->setCurrentTime(back.player->duration() - at);
    back.player->play();
    back.playFor(10ms);

    ASSERT_FALSE(ahead.heard.empty());
    ASSERT_EQ(back.heard.size(), size_t(80));
    EXPECT_EQ(back.heard.front(), ahead.heard.back());
    // And on backwards through the forward file's frames before it.
    const qint64 last = kLongFrames - 5 * kBlock + qint64(ahead.heard.size()) - 1;
    for (qint64 i = 0; i < 80; ++i)
        ASSERT_EQ(back.heard[size_t(i)], expected(forward, last - i, 0)) << "frame " << i;
}

TEST(PlayerStreaming, AFileCutShortWhilePlayingEndsWithAnErrorWhereItsSoundEnds)
{
    for (float rate : {1.0f, 1.5f}) {
        SCOPED_TRACE(rate);
        const test::PcmAudio ramp = test::rampAudio(kLongFrames, 1, 16, kRate);
        const QString path = test::writeWav(QStringLiteral("cut-%1.wav").arg(rate), ramp);
        StreamedPlayer p(path);
        ASSERT_TRUE(p.player);
        p.player->setEnableRate(true);
        p.player->setRate(rate);
        p.player->play();
        p.playFor(1000ms);

        // Well past what has been read ahead by now.
        const qint64 keep = kLongFrames / 2;
        QFile file(path);
        ASSERT_TRUE(file.resize(44 + keep * 2));
        for (int second = 0; second < 60 && p.player->isPlaying(); ++second)
            p.playFor(1000ms);

        EXPECT_FALSE(p.player->isPlaying());
        EXPECT_EQ(p.finished, 0);
        ASSERT_EQ(p.errors.size(), 1);
        EXPECT_TRUE(p.errors.front().contains(QStringLiteral("could not be read")))
            << p.errors.front().toStdString();
        EXPECT_TRUE(p.errors.front().contains(path));
        EXPECT_NEAR(p.player->currentTime(), double(keep) / kRate, 0.05);
        if (rate == 1.0f) {
            ASSERT_EQ(p.heard.size(), size_t(keep));
            expectFrames(p.heard.data(), keep, ramp, 0);
        }

        // Playing again fails the same way instead of passing the end off as finished.
        p.errors.clear();
        ASSERT_TRUE(p.player->play());
        p.playFor(100ms);
        EXPECT_EQ(p.errors.size(), 1);
        EXPECT_EQ(p.finished, 0);
    }
}

TEST(PlayerStreaming, AFileDeletedWhilePlayingStillPlaysToItsEnd)
{
    const test::PcmAudio ramp = test::rampAudio(3 * kBlock, 1, 16, kRate);
    const QString path = test::writeWav("deleted.wav", ramp);
    StreamedPlayer p(path);
    ASSERT_TRUE(p.player);
    p.player->play();
    p.playFor(100ms);
    ASSERT_TRUE(QFile::remove(path));
    p.playFor(5000ms);
    EXPECT_EQ(p.finished, 1);
    EXPECT_TRUE(p.errors.isEmpty());
    ASSERT_EQ(p.heard.size(), size_t(3 * kBlock));
    expectFrames(p.heard.data(), 3 * kBlock, ramp, 0);
}
