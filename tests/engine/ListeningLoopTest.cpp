#include "EngineSound.h"
#include "playback/LoopPlan.h"

#include <cmath>

using namespace murmelo;
using namespace murmelo::test;

namespace {

LoopSettings loop(int count, double gap = 0, bool pingPong = false)
{
    LoopSettings settings;
    settings.count = count;
    settings.gap = gap;
    settings.pingPong = pingPong;
    return settings;
}

// Directions and starting points of the passes a plan goes through, up to `limit`.
std::vector<std::pair<bool, double>> passes(LoopPlan plan, int limit = 20)
{
    std::vector<std::pair<bool, double>> seen{{plan.reversed(), plan.from()}};
    while (int(seen.size()) < limit && plan.next())
        seen.emplace_back(plan.reversed(), plan.from());
    return seen;
}

TEST(LoopPlan, CountsPassesAndAlternatesDirectionsForPingPong)
{
    const Stretch stretch{2, 5};
    using Passes = std::vector<std::pair<bool, double>>;
    EXPECT_EQ(passes(LoopPlan(loop(1), stretch, false)), (Passes{{false, 2}}));
    EXPECT_EQ(passes(LoopPlan(loop(3), stretch, true)), (Passes{{true, 5}, {true, 5}, {true, 5}}));
    // Each time is heard both ways, beginning with the direction chosen.
    EXPECT_EQ(passes(LoopPlan(loop(2, 0, true), stretch, true)),
              (Passes{{true, 5}, {false, 2}, {true, 5}, {false, 2}}));
    EXPECT_EQ(passes(LoopPlan(loop(LoopSettings::kForever), stretch, false)).size(), 20u);

    LoopPlan plan(loop(3, 0.5, true), stretch, false);
    EXPECT_EQ(plan.totalPasses(), 6);
    EXPECT_EQ(plan.gapBefore(), 0);
    EXPECT_EQ(plan.to(), 5);
    ASSERT_TRUE(plan.next());
    EXPECT_EQ(plan.gapBefore(), 0.5);
    EXPECT_EQ(plan.to(), 2);
    EXPECT_EQ(plan.time(), 1);
    ASSERT_TRUE(plan.next());
    EXPECT_EQ(plan.time(), 2);
    // Over, it rests where it began: the first direction at the stretch's start in it.
    EXPECT_FALSE(plan.restingReversed());
    EXPECT_EQ(plan.restingPoint(), 2);
}

TEST(LoopPlan, FirstPassStartsAtThePositionOnlyWhenThatLeavesSomethingToPlay)
{
    const Stretch stretch{2, 5};
    EXPECT_EQ(LoopPlan(loop(1), stretch, false, 3.0).from(), 3.0);
    EXPECT_EQ(LoopPlan(loop(1), stretch, true, 3.0).from(), 3.0);
    EXPECT_EQ(LoopPlan(loop(1), stretch, false, 1.0).from(), 2.0);
    EXPECT_EQ(LoopPlan(loop(1), stretch, true, 7.0).from(), 5.0);
    // The finishing point in a direction is the start of the next play in it.
    EXPECT_EQ(LoopPlan(loop(1), stretch, false, 5.0).from(), 2.0);
    EXPECT_EQ(LoopPlan(loop(1), stretch, true, 2.0).from(), 5.0);
    EXPECT_EQ(LoopPlan(loop(1), stretch, true, 5.0).from(), 5.0);

    // Later passes always play the whole stretch.
    LoopPlan plan(loop(2), stretch, false, 4.0);
    ASSERT_TRUE(plan.next());
    EXPECT_EQ(plan.from(), 2.0);
}

TEST(LoopPlan, FollowsTheListenerWhilePlaying)
{
    // Turned around during the second pass of a ping-pong: that pass goes on the other way and
    // the next alternates from it.
    LoopPlan plan(loop(LoopSettings::kForever, 0, true), {2, 5}, true);
    ASSERT_TRUE(plan.next());
    EXPECT_FALSE(plan.reversed());
    plan.switchDirection();
    EXPECT_TRUE(plan.reversed());
    ASSERT_TRUE(plan.next());
    EXPECT_FALSE(plan.reversed());

    // A new count counts from the pass being played, which keeps its direction.
    plan.setSettings(loop(1));
    EXPECT_FALSE(plan.reversed());
    EXPECT_FALSE(plan.next());
    // A new gap alone keeps the count.
    LoopPlan counted(loop(3), {2, 5}, false);
    ASSERT_TRUE(counted.next());
    counted.setSettings(loop(3, 1.0));
    EXPECT_EQ(counted.gapBefore(), 1.0);
    ASSERT_TRUE(counted.next());
    EXPECT_FALSE(counted.next());

    EXPECT_EQ(loop(1).nextCount(), 3);
    EXPECT_EQ(loop(LoopSettings::kForever).nextCount(), 1);
    EXPECT_EQ(loop(1, 2.0).nextGap(), 0.0);
    EXPECT_EQ(loop(1, 0.7).nextGap(), 0.0); // a value not offered starts the round again
}

// What the engine plays of a 2-second file rising steadily from 0.1 to 0.9, whose reversal
// therefore falls: the direction of every pass can be read off the sound.
class ListeningLoopSound : public EngineSound {
protected:
    static constexpr qint64 kFrames = 2 * kRate;
    static constexpr size_t kPass = kRate / 2;

    struct Run {
        size_t start;
        size_t length;
    };

    void SetUp() override
    {
        std::vector<qint16> rising(kFrames);
        for (qint64 i = 0; i < kFrames; ++i)
            rising[size_t(i)] = qint16(std::lround(32768 * valueAt(i)));
        const std::vector<qint16> falling(rising.rbegin(), rising.rend());
        open(writeMono(QStringLiteral("forward.wav"), rising),
             writeMono(QStringLiteral("reverse.wav"), falling));
    }

    static double valueAt(qint64 forwardFrame)
    {
        return 0.1 + 0.8 * double(forwardFrame) / kFrames;
    }

    // Stretches of sound in what was heard, between stretches of exact silence.
    std::vector<Run> soundRuns() const
    {
        std::vector<Run> runs;
        for (size_t i = 0; i < mix.size(); ++i) {
            if (mix[i] == 0)
                continue;
            if (runs.empty() || runs.back().start + runs.back().length != i)
                runs.push_back({i, 0});
            ++runs.back().length;
        }
        return runs;
    }

    bool rises(const Run &run) const
    {
        return mix[run.start + run.length / 2 + 100] > mix[run.start + run.length / 2];
    }

    void setLoop(int count, double gap, bool pingPong = false)
    {
        engine->setLoopSettings(loop(count, gap, pingPong));
    }
};

// A join may be a fade of 5 ms (40 frames here) from or to a level of at most 0.9.
constexpr float kNoClick = 0.05f;
// The harness starts a new run in the millisecond after the old one ended.
constexpr size_t kStepFrames = 8;

TEST_F(ListeningLoopSound, CountsAndGapsAreWhatIsHeard)
{
    struct Case {
        int count;
        double gap;
    };
    for (const Case c : {Case{1, 1.0}, Case{3, 0.5}, Case{5, 0.0}, Case{3, 2.0}}) {
        SCOPED_TRACE(testing::Message() << c.count << " times, " << c.gap << " s apart");
        mix.clear();
        setLoop(c.count, c.gap);
        engine->playStretch(0.5, 1.0);
        play(int(1000 * (c.count * 0.5 + (c.count - 1) * c.gap)) + 500);

        // Passes follow one another in one output, so without a gap they are one sound.
        std::vector<Run> runs = soundRuns();
        if (c.gap == 0) {
            ASSERT_EQ(runs.size(), 1u);
            ASSERT_EQ(runs[0].length, c.count * kPass);
            for (int i = c.count - 1; i >= 0; --i)
                runs.insert(runs.begin() + 1, {runs[0].start + i * kPass, kPass});
            runs.erase(runs.begin());
        }
        ASSERT_EQ(runs.size(), size_t(c.count));
        for (size_t i = 0; i < runs.size(); ++i) {
            SCOPED_TRACE(i);
            // The whole stretch, to the frame, forward, after exactly the gap's silence.
            EXPECT_EQ(runs[i].length, kPass);
            EXPECT_TRUE(rises(runs[i]));
            EXPECT_NEAR(mix[runs[i].start + 100], valueAt(kRate / 2 + 100), 0.001);
            EXPECT_NEAR(mix[runs[i].start + 3000], valueAt(kRate / 2 + 3000), 0.001);
            if (i > 0) {
                EXPECT_EQ(runs[i].start - (runs[i - 1].start + runs[i - 1].length),
                          size_t(c.gap * kRate));
            }
        }
        EXPECT_LT(largestStep(), kNoClick);
        // Over, it waits at the stretch's start to be played again.
        EXPECT_FALSE(engine->isPlaying());
        EXPECT_FALSE(engine->isRefreshing());
        EXPECT_EQ(engine->currentTime(), 0.5);
        EXPECT_EQ(engine->audioPlayer()->currentTime(), 0.5);
    }
}

TEST_F(ListeningLoopSound, PingPongPlaysTheStretchReversedThenForward)
{
    engine->switchDirection();
    setLoop(2, 0.25, true);
    engine->playStretch(0.5, 1.0);
    play(3000);

    const std::vector<Run> runs = soundRuns();
    ASSERT_EQ(runs.size(), 4u);
    for (size_t i = 0; i < runs.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(runs[i].length, size_t(kRate / 2));
        const bool forward = i % 2 == 1;
        EXPECT_EQ(rises(runs[i]), forward);
        // Reversed, the stretch is heard from its end: the forward file's frame 8000 backwards.
        EXPECT_NEAR(mix[runs[i].start + 100], valueAt(forward ? kRate / 2 + 100 : kRate - 1 - 100),
                    0.001);
        if (i > 0) {
            EXPECT_EQ(runs[i].start - (runs[i - 1].start + runs[i - 1].length), size_t(kRate / 4));
        }
    }
    EXPECT_LT(largestStep(), kNoClick);
    // Both directions came through the one output that began the loop.
    EXPECT_TRUE(tracks[0]->heard.empty());
    EXPECT_EQ(tracks[1]->heard.size(), runs.back().start + runs.back().length);
    // It ends as it began: reversed, at the stretch's end, ready to go again.
    EXPECT_FALSE(engine->isPlaying());
    EXPECT_TRUE(engine->isReversed());
    EXPECT_EQ(engine->currentTime(), 1.0);
    EXPECT_EQ(engine->reverseAudioPlayer()->currentTime(), 1.0);
}

// With a device that holds a quarter of a second ahead of the listener, the count, direction and
// playhead change when a pass is heard, not when it is handed to the output.
class ListeningLoopHeard : public ListeningLoopSound {
protected:
    static constexpr qint64 kLag = kRate / 4;

    void SetUp() override
    {
        std::vector<qint16> rising(kFrames);
        for (qint64 i = 0; i < kFrames; ++i)
            rising[size_t(i)] = qint16(std::lround(32768 * valueAt(i)));
        const std::vector<qint16> falling(rising.rbegin(), rising.rend());
        open(writeMono(QStringLiteral("forward.wav"), rising),
             writeMono(QStringLiteral("reverse.wav"), falling), kLag);
    }

    // Plays until the listener is `ms` into the loop, and looks.
    void hearUntil(int ms)
    {
        play(ms + int(kLag * 1000 / kRate) - int(now * 1000 / kRate));
        engine->updateTime();
    }
};

TEST_F(ListeningLoopHeard, CountDirectionAndPlayheadFollowThePassHeard)
{
    setLoop(2, 0, true);
    engine->playStretch(0.5, 1.0);
    hearUntil(400); // the output already holds the second pass's start
    ASSERT_TRUE(engine->loopPlan());
    EXPECT_EQ(engine->loopPlan()->pass(), 0);
    EXPECT_FALSE(engine->isReversed());
    EXPECT_NEAR(engine->currentTime(), 0.9, 0.002);

    hearUntil(600); // 0.1 s into the second pass, heard reversed from the stretch's end
    EXPECT_EQ(engine->loopPlan()->pass(), 1);
    EXPECT_EQ(engine->loopPlan()->time(), 1);
    EXPECT_TRUE(engine->isReversed());
    EXPECT_NEAR(engine->currentTime(), 0.9, 0.002);

    hearUntil(1100);
    EXPECT_EQ(engine->loopPlan()->time(), 2);
    EXPECT_FALSE(engine->isReversed());
    EXPECT_NEAR(engine->currentTime(), 0.6, 0.002);

    // Paused in a pass the output plays from the other file, both players stop where it is.
    hearUntil(1700);
    EXPECT_TRUE(engine->isReversed());
    engine->pausePlay();
    EXPECT_FALSE(engine->isPlaying());
    EXPECT_NEAR(engine->currentTime(), 0.8, 0.002);
    EXPECT_NEAR(engine->reverseAudioPlayer()->currentTime(), 2.0 - 0.8, 0.002);
    EXPECT_NEAR(engine->audioPlayer()->currentTime(), 0.8, 0.002);
}

TEST_F(ListeningLoopHeard, TurningAroundInAPassFromTheOtherFileHandsOverWithoutAGap)
{
    setLoop(LoopSettings::kForever, 0, true);
    engine->playStretch(0.5, 1.5);
    hearUntil(1500); // half way through the second pass, reversed, read by the forward player
    ASSERT_TRUE(engine->isReversed());
    ASSERT_TRUE(engine->audioPlayer()->isPlaying());
    engine->switchDirection();
    EXPECT_FALSE(engine->isReversed());
    // The forward direction now comes from the other output, reading its mirror.
    EXPECT_TRUE(engine->reverseAudioPlayer()->isPlaying());
    EXPECT_FALSE(engine->audioPlayer()->isPlaying());
    // It takes over where rendering had got to, once the old output has played what it holds.
    play(600);
    engine->updateTime();
    EXPECT_TRUE(engine->isPlaying());
    EXPECT_FALSE(engine->isReversed());
    EXPECT_NEAR(engine->currentTime(), 0.85, 0.002);
    EXPECT_LT(largestStep(), kNoClick);
    engine->pausePlay();
    EXPECT_FALSE(engine->isPlaying());
}

TEST_F(ListeningLoopSound, ForeverGoesOnUntilPausedAndThenNothingMoreIsHeard)
{
    setLoop(LoopSettings::kForever, 0.1);
    engine->playStretch(0.5, 0.75);
    play(4000);
    EXPECT_TRUE(engine->isPlaying());
    EXPECT_GE(soundRuns().size(), 11u);
    engine->pausePlay();
    EXPECT_FALSE(engine->isPlaying());
    EXPECT_EQ(engine->loopPlan(), nullptr);
    const size_t paused = mix.size();
    play(1000);
    EXPECT_TRUE(std::all_of(mix.begin() + long(paused), mix.end(), [](float s) { return s == 0; }));

    // Paused in the silence between passes, the next pass never comes.
    engine->pausePlay();
    play(300); // a pass of 0.25 s and the start of the gap
    engine->pausePlay();
    const size_t inGap = mix.size();
    play(1000);
    EXPECT_TRUE(std::all_of(mix.begin() + long(inGap), mix.end(), [](float s) { return s == 0; }));
    EXPECT_FALSE(engine->isPlaying());
}

TEST_F(ListeningLoopSound, ChoosingAStretchWhilePlayingMovesThereWithoutAClick)
{
    setLoop(1, 0);
    engine->pausePlay();
    play(200);
    engine->playStretch(1.0, 1.5);
    EXPECT_TRUE(engine->isPlaying());
    play(1000);
    // 0.2 s of the file's start, then the stretch once, then nothing.
    const std::vector<Run> runs = soundRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_NEAR(double(runs[0].length), 0.7 * kRate, kStepFrames);
    EXPECT_NEAR(mix[size_t(0.2 * kRate) + 100], valueAt(kRate + 100), 0.001);
    EXPECT_LT(largestStep(), kNoClick);
    EXPECT_EQ(engine->currentTime(), 1.0);
    ASSERT_TRUE(engine->markedStretch());

    // Moving away leaves the stretch: playing then goes on to the file's end.
    engine->seek(0.2);
    EXPECT_FALSE(engine->markedStretch());
    mix.clear();
    engine->pausePlay();
    play(2000);
    ASSERT_EQ(soundRuns().size(), 1u);
    EXPECT_EQ(soundRuns()[0].length, size_t(1.8 * kRate));
}

TEST_F(ListeningLoopSound, ALoopChangedWhilePlayingEndsAfterThePassBeingPlayed)
{
    setLoop(LoopSettings::kForever, 0.5);
    engine->playStretch(0.5, 1.0);
    play(700); // into the second pass's silence
    setLoop(1, 0.5);
    play(2000);
    EXPECT_EQ(soundRuns().size(), 2u);
    EXPECT_FALSE(engine->isPlaying());

    // A stretch of nothing plays nothing.
    mix.clear();
    engine->playStretch(1.0, 1.0);
    play(100);
    EXPECT_FALSE(engine->isPlaying());
    EXPECT_TRUE(soundRuns().empty());
}

} // namespace
