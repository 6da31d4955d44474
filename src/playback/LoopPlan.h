#pragma once

#include <array>
#include <optional>

namespace murmelo {

// How the listener wants a stretch repeated.
struct LoopSettings {
    static constexpr int kForever = 0;
    // The choices the screen offers, in the order it steps through them.
    static constexpr std::array<int, 4> kCounts = {1, 3, 5, kForever};
    static constexpr std::array<double, 4> kGaps = {0.0, 0.5, 1.0, 2.0};

    // Times the stretch is heard; kForever until playing stops.
    int count = 1;
    // Seconds of silence before every pass but the first.
    double gap = 0;
    // Each time is two passes: the stretch in the direction chosen, then in the other one.
    bool pingPong = false;

    // The next of the offered counts or gaps after this one, round again after the last.
    int nextCount() const;
    double nextGap() const;

    bool operator==(const LoopSettings &) const = default;
};

// A stretch of the audio on the forward file's time line, in seconds; end after start.
struct Stretch {
    double start = 0;
    double end = 0;

    bool contains(double time) const { return time >= start && time <= end; }
    bool operator==(const Stretch &) const = default;
};

// The course of one listening loop: which stretch, in which direction each pass runs, how much
// silence comes before it, and when it is over. Reversed play runs from the stretch's end
// towards its start, so a pass "starts" at the end of the stretch on the forward time line.
class LoopPlan {
public:
    // The first pass runs from `position` when that lies inside the stretch and is not already
    // its finishing point in this direction, and from the stretch's start otherwise.
    LoopPlan(const LoopSettings &settings, Stretch stretch, bool reversed,
             std::optional<double> position = std::nullopt);

    const LoopSettings &settings() const { return settings_; }
    Stretch stretch() const { return stretch_; }
    // A new stretch for the passes to come (the range was moved while playing).
    void setStretch(Stretch stretch) { stretch_ = stretch; }
    // New settings for the passes after the one being played. A new count or ping-pong choice
    // counts afresh, the pass being played being the first.
    void setSettings(const LoopSettings &settings);

    // The pass being played: counted from 0, its direction, and where on the forward time line
    // it begins and finishes.
    int pass() const { return pass_; }
    bool reversed() const;
    double from() const;
    double to() const;
    // Silence before the pass being played.
    double gapBefore() const { return pass_ == 0 ? 0.0 : settings_.gap; }
    // Passes in all; 0 when the loop runs until stopped.
    int totalPasses() const;
    // The listener's count: which time the stretch is heard (from 1), a ping-pong pair counting
    // once.
    int time() const;

    // The pass being played has finished: true when another follows (it is now the pass being
    // played), false when the loop is over.
    bool next();
    // The listener turned the direction around during the pass: it goes on the other way, and
    // the passes after it alternate from there.
    void switchDirection() { firstReversed_ = !firstReversed_; }

    // Where the loop leaves playback when it is over: its first direction, at the stretch's
    // start in that direction, ready to be played again.
    bool restingReversed() const { return firstReversed_; }
    double restingPoint() const { return startOf(firstReversed_); }

private:
    double startOf(bool reversed) const { return reversed ? stretch_.end : stretch_.start; }

    LoopSettings settings_;
    Stretch stretch_;
    bool firstReversed_;
    int pass_ = 0;
    double firstFrom_;
};

} // namespace murmelo
