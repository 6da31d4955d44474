#pragma once

#include "playback/PlaybackEngine.h"

#include <QString>
#include <functional>

namespace murmelo {

struct PhraseMarker;

// The loop row's commands on the engine: how often a stretch repeats, the silence between its
// passes, ping-pong, the loop switch beside play, and playing a marker's stretch. Widget-free:
// the screen turns clicks and keys into these calls and shows rowTexts().
class LoopController {
public:
    explicit LoopController(PlaybackEngine &engine) : engine_(engine) {}

    // The loop switch: off plays once, on brings back the count last chosen (forever at first).
    void toggleRepeat();
    // The next offered count, the next gap, ping-pong on or off.
    void nextCount();
    void nextGap();
    void togglePingPong();
    // Plays a marker's stretch (held on the reversal's frames) with the loop settings, in the
    // current direction; nothing without audio.
    void playMarker(const PhraseMarker &marker);

    // What the loop row shows: the count, with the pass being heard while a loop plays
    // ("2 of 5", "3 of ∞"), and the gap.
    struct RowTexts {
        QString count;
        QString gap;
    };
    RowTexts rowTexts() const;

private:
    void change(const std::function<void(LoopSettings &)> &change);

    PlaybackEngine &engine_;
    int lastCount_ = LoopSettings::kForever; // what the loop switch turns back on
};

} // namespace murmelo
