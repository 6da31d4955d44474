// The listening loop as the listener meets it: the whole window on a private PulseAudio server,
// driven by keys (L for the count, G for the gap, P for ping-pong, Up/Down for the speed, Space
// to play), with the null sink's monitor recorded while it plays and the silence between the
// passes measured in what the sound server played.
#include "SoundServer.h"

#include "app/AppTestSupport.h"
#include "app/MainLayout.h"
#include "library/StoreContext.h"
#include "platform/SerialQueue.h"
#include "screens/playback/PlaybackViewController.h"
#include "support/RecordingAlertPresenter.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QMimeData>
#include <QProcess>
#include <QTest>
#include <QUrl>
#include <QWindow>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace murmelo {
namespace {

constexpr int kRate = 44100;
constexpr auto kPatience = std::chrono::seconds(20);
constexpr double kToneSeconds = 0.5;
// Loudness is judged by the peak of each millisecond.
constexpr int kWindow = kRate / 1000;
constexpr double kTolerance = 0.020;

struct Case {
    double rate;
    double gap;
    bool pingPong;
};

std::ostream &operator<<(std::ostream &out, const Case &c)
{
    return out << c.rate << "x, " << c.gap << " s gap" << (c.pingPong ? ", ping-pong" : "");
}

class WindowLoop : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString why = server_.start();
        if (!why.isEmpty())
            GTEST_SKIP() << "no private sound server: " << why.toStdString();
        // Qt's sound-server connection is shared by the process and finds a new server late.
        ASSERT_TRUE(test::waitUntil([] { return !QMediaDevices::defaultAudioOutput().isNull(); },
                                    kPatience));
        ASSERT_TRUE(store_.open(test::scratchRoot() + QStringLiteral("/window-loop.sql")));
        window_.reset(buildMainWindow({.store = [this] { return &store_; }}));
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));

        // Half a second of a steady tone, opened the way a user drops a song on the window.
        const QString song = test::scratchRoot() + QStringLiteral("/loop tone.wav");
        ASSERT_EQ(test::runShell(QStringLiteral("sox -n -r %1 -c 1 -b 16 '%2' synth %3 sine 1000 "
                                                "vol 0.5")
                                     .arg(kRate)
                                     .arg(song)
                                     .arg(kToneSeconds)),
                  0);
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(song)});
        const QPoint centre = window_->rect().center();
        QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window_->windowHandle(), &enter);
        QDropEvent drop(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window_->windowHandle(), &drop);
        ASSERT_TRUE(test::waitUntil(
            [&] {
                playback_ =
                    qobject_cast<PlaybackViewController *>(window_->contentViewController());
                return playback_ && playback_->engine().audioPlayer() &&
                       playback_->engine().reverseAudioPlayer();
            },
            kPatience));
    }

    void TearDown() override
    {
        SerialQueue::waitForAllQueues();
        window_.reset();
        test::drainEventsAndDeletions();
        server_.stop();
    }

    void key(Qt::Key key) { QTest::keyClick(window_->windowHandle(), key); }

    // Presses `key` until the screen shows what the case asks for.
    void pressUntil(Qt::Key which, const std::function<bool()> &done)
    {
        for (int i = 0; i < 20 && !done(); ++i)
            key(which);
        ASSERT_TRUE(done());
    }

    void choose(const Case &c)
    {
        const PlaybackEngine &engine = playback_->engine();
        pressUntil(Qt::Key_L, [&] { return engine.loopSettings().count == 3; });
        pressUntil(Qt::Key_G, [&] { return engine.loopSettings().gap == c.gap; });
        pressUntil(Qt::Key_P, [&] { return engine.loopSettings().pingPong == c.pingPong; });
        const Qt::Key speed = engine.rate() < c.rate ? Qt::Key_Up : Qt::Key_Down;
        pressUntil(speed, [&] { return std::abs(engine.rate() - c.rate) < 0.01; });
    }

    // Peaks of each millisecond the sink played from just before Space until after the loop.
    std::vector<double> playAndRecord()
    {
        QProcess monitor;
        monitor.start(QStringLiteral("parec"),
                      {QStringLiteral("--device=murmelo_test.monitor"), QStringLiteral("--raw"),
                       QStringLiteral("--rate=44100"), QStringLiteral("--channels=1"),
                       QStringLiteral("--format=s16le")});
        EXPECT_TRUE(monitor.waitForStarted());
        QByteArray heard;
        const auto gather = [&] { heard += monitor.readAllStandardOutput(); };
        test::waitUntil(
            [&] {
                gather();
                return heard.size() > kRate / 5;
            },
            kPatience);
        key(Qt::Key_Space);
        EXPECT_TRUE(playback_->engine().isPlaying());
        EXPECT_TRUE(test::waitUntil(
            [&] {
                gather();
                return !playback_->engine().isPlaying();
            },
            kPatience));
        const qsizetype until = heard.size() + kRate;
        test::waitUntil(
            [&] {
                gather();
                return heard.size() >= until;
            },
            kPatience);
        monitor.terminate();
        monitor.waitForFinished();
        std::vector<double> peaks;
        const auto *samples = reinterpret_cast<const qint16 *>(heard.constData());
        for (qsizetype at = 0; at + kWindow <= heard.size() / 2; at += kWindow) {
            int peak = 0;
            for (int i = 0; i < kWindow; ++i)
                peak = std::max(peak, std::abs(int(samples[at + i])));
            peaks.push_back(peak / 32768.0);
        }
        return peaks;
    }

    struct Run {
        double start; // seconds
        double end;
    };
    static std::vector<Run> soundRuns(const std::vector<double> &peaks)
    {
        std::vector<Run> runs;
        for (size_t i = 0; i < peaks.size(); ++i) {
            if (peaks[i] < 0.05)
                continue;
            const double at = double(i) / 1000;
            if (runs.empty() || runs.back().end < at - 1e-9)
                runs.push_back({at, at});
            runs.back().end = at + 0.001;
        }
        return runs;
    }

    test::SoundServer server_;
    StoreContext store_;
    test::ScratchDefaults defaults_;
    test::RecordingAlertPresenter alerts_;
    std::unique_ptr<SidebarViewController> window_;
    PlaybackViewController *playback_ = nullptr;
};

TEST_F(WindowLoop, PassesFollowEachOtherWithTheChosenSilenceOnly)
{
    const std::vector<Case> cases = {
        {1.0, 0.0, false}, {1.0, 0.5, false}, {0.5, 0.0, false}, {2.0, 0.0, false},
        {2.0, 0.5, false}, {1.0, 0.0, true},  {2.0, 0.5, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c);
        choose(c);
        const std::vector<Run> runs = soundRuns(playAndRecord());
        ASSERT_FALSE(runs.empty());
        const int passes = c.pingPong ? 6 : 3;
        const double pass = kToneSeconds / c.rate;
        std::ostringstream heard;
        for (const Run &run : runs)
            heard << " [" << run.start << ", " << run.end << "]";
        SCOPED_TRACE("sound heard at" + heard.str());
        if (c.gap == 0) {
            // One stretch of sound as long as all the passes, any dip in it a few milliseconds.
            for (size_t i = 1; i < runs.size(); ++i)
                EXPECT_LE(runs[i].start - runs[i - 1].end, kTolerance);
            EXPECT_NEAR(runs.back().end - runs.front().start, passes * pass, 2 * kTolerance);
            continue;
        }
        EXPECT_EQ(runs.size(), size_t(passes));
        for (size_t i = 0; i < runs.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_NEAR(runs[i].end - runs[i].start, pass, kTolerance);
            if (i > 0) {
                EXPECT_NEAR(runs[i].start - runs[i - 1].end, c.gap, kTolerance);
            }
        }
    }
    EXPECT_TRUE(alerts_.alerts().isEmpty());
}

} // namespace
} // namespace murmelo
