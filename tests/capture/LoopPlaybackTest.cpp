// Listening loops played through a real sound server: a private PulseAudio null sink takes what
// the playback engine plays, and its monitor is recorded and measured.
#include "SoundServer.h"

#include "playback/PlaybackEngine.h"
#include "support/TestSupport.h"
#include "support/TestWav.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QProcess>
#include <QtEndian>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace murmelo {
namespace {

constexpr int kRate = 44100;
constexpr auto kPatience = std::chrono::seconds(15);
// Loudness is judged over windows of 5 ms; lengths are right within a few of them.
constexpr int kWindow = kRate / 200;
constexpr double kSlack = 0.02;

QString writeTone(const QString &name, bool reversed)
{
    // One second of a 440 Hz tone whose level rises, so that the reversal differs.
    std::vector<qint16> frames(kRate);
    for (int i = 0; i < kRate; ++i) {
        const double level = 0.2 + 0.4 * i / kRate;
        frames[size_t(i)] =
            qint16(std::lround(32767 * level * std::sin(2 * M_PI * 440 * i / kRate)));
    }
    if (reversed)
        std::reverse(frames.begin(), frames.end());
    return test::writeFileBytes(test::scratchRoot() + QLatin1Char('/') + name,
                                test::monoWav(frames, kRate));
}

class LoopPlayback : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString why = server_.start();
        if (!why.isEmpty())
            GTEST_SKIP() << "no private sound server: " << why.toStdString();
        // Qt's sound-server connection is shared by the process and finds a new server late.
        ASSERT_TRUE(test::waitUntil([] { return !QMediaDevices::defaultAudioOutput().isNull(); },
                                    kPatience));
        engine_ = std::make_unique<PlaybackEngine>(defaultPlayerFactory());
        ASSERT_TRUE(engine_->openForward(writeTone("forward.wav", false), std::nullopt).isEmpty());
        ASSERT_TRUE(engine_->openReverse(writeTone("reverse.wav", true), std::nullopt).isEmpty());
    }

    void TearDown() override
    {
        engine_.reset();
        server_.stop();
    }

    // Everything the sink played while the engine played, as the loudness of each window.
    std::vector<double> recordLoop()
    {
        QProcess monitor;
        monitor.start(QStringLiteral("pacat"),
                      {QStringLiteral("--record"), QStringLiteral("--device=murmelo_test.monitor"),
                       QStringLiteral("--raw"), QStringLiteral("--rate=44100"),
                       QStringLiteral("--channels=1"), QStringLiteral("--format=s16le"),
                       QStringLiteral("--latency-msec=10")});
        EXPECT_TRUE(monitor.waitForStarted());
        QByteArray heard;
        // The monitor runs before the loop starts, so its silence comes first.
        test::waitUntil(
            [&] {
                heard += monitor.readAllStandardOutput();
                return heard.size() > kRate / 5;
            },
            kPatience);
        engine_->pausePlay();
        EXPECT_TRUE(test::waitUntil(
            [&] {
                heard += monitor.readAllStandardOutput();
                return !engine_->isPlaying();
            },
            kPatience));
        const qsizetype until = heard.size() + kRate / 2;
        test::waitUntil(
            [&] {
                heard += monitor.readAllStandardOutput();
                return heard.size() >= until;
            },
            kPatience);
        monitor.terminate();
        monitor.waitForFinished();
        std::vector<double> levels;
        const auto *samples = reinterpret_cast<const qint16 *>(heard.constData());
        for (qsizetype at = 0; at + kWindow <= heard.size() / 2; at += kWindow) {
            double sum = 0;
            for (int i = 0; i < kWindow; ++i)
                sum += double(samples[at + i]) * samples[at + i];
            levels.push_back(std::sqrt(sum / kWindow) / 32768);
        }
        return levels;
    }

    struct Run {
        double start; // seconds
        double length;
    };
    static std::vector<Run> soundRuns(const std::vector<double> &levels)
    {
        std::vector<Run> runs;
        bool inside = false;
        for (size_t i = 0; i < levels.size(); ++i) {
            const bool loud = levels[i] > 0.02;
            const double at = double(i) * kWindow / kRate;
            if (loud && !inside)
                runs.push_back({at, 0});
            if (loud)
                runs.back().length = at + double(kWindow) / kRate - runs.back().start;
            inside = loud;
        }
        return runs;
    }

    test::SoundServer server_;
    std::unique_ptr<PlaybackEngine> engine_;
};

TEST_F(LoopPlayback, TheFileIsHeardToItsLastFrame)
{
    // The sink goes idle as the file runs out while the server still holds its last tenth of a
    // second; the output must wait for it rather than cut it off.
    const std::vector<Run> runs = soundRuns(recordLoop());
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_NEAR(runs[0].length, 1.0, kSlack);
}

TEST_F(LoopPlayback, TheSoundDevicePlaysTheCountedPassesWithTheirGaps)
{
    for (double gap : {0.5, 0.0}) {
        SCOPED_TRACE(gap);
        LoopSettings settings;
        settings.count = 3;
        settings.gap = gap;
        engine_->setLoopSettings(settings);
        engine_->playStretch(0.25, 0.75);
        engine_->pausePlay(); // recordLoop plays it again, from the stretch's start
        const std::vector<Run> runs = soundRuns(recordLoop());
        if (gap == 0) {
            // The passes follow one another in the same output: one sound, three passes long.
            ASSERT_EQ(runs.size(), 1u);
            EXPECT_NEAR(runs[0].length, 1.5, kSlack);
            continue;
        }
        ASSERT_EQ(runs.size(), 3u);
        for (size_t i = 0; i < runs.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_NEAR(runs[i].length, 0.5, kSlack);
            if (i > 0) {
                const double silence = runs[i].start - (runs[i - 1].start + runs[i - 1].length);
                EXPECT_NEAR(silence, gap, kSlack);
            }
        }
    }
}

} // namespace
} // namespace murmelo
