#pragma once

#include "library/PhraseMarker.h"

#include <utility>

namespace murmelo {

// Which stretch of the audio the waveform shows and where its points lie across the view.
// Times are seconds on the forward file's time line. Reversed, the view runs as the reversal
// plays: the end of the audio on the left, its start on the right.
class WaveformTimeline {
public:
    // The least stretch a view shows: a syllable still fits, and the bars stay readable.
    static constexpr double kMinimumSpan = 0.25;

    // Shows the whole of the new length.
    void setDuration(double seconds);
    double duration() const { return duration_; }
    void setReversed(bool reversed) { reversed_ = reversed; }
    bool isReversed() const { return reversed_; }

    double visibleStart() const { return start_; }
    double visibleEnd() const { return start_ + span_; }
    double span() const { return span_; }
    bool isZoomed() const { return span_ < duration_; }
    // The shown stretch as fractions of the audio's length.
    double startFraction() const { return duration_ > 0 ? start_ / duration_ : 0; }
    double endFraction() const { return duration_ > 0 ? visibleEnd() / duration_ : 1; }

    // The x of a time across a view `width` wide; outside [0, width] when the time is not shown.
    double xOf(double seconds, double width) const;
    // The time at x; x outside the view gives times outside the shown stretch.
    double timeAt(double x, double width) const;
    bool isVisible(double seconds) const;

    // Shows `factor` times less (more, below 1) of the audio, keeping `anchor` where it is in
    // the view unless an end of the audio would come into view.
    void zoom(double factor, double anchor);
    // Moves the shown stretch by this part of its span in the view's direction: positive
    // moves towards what lies right of the view.
    void pan(double spans);
    // Shows the stretch starting at `seconds` (clamped to the audio).
    void scrollTo(double seconds);
    void showAll();
    // While playing: when `seconds` has left the view, the view moves on so that it lies near
    // the edge the playback comes from. True when the view moved.
    bool follow(double seconds);

private:
    void clamp();

    double duration_ = 0;
    double start_ = 0;
    double span_ = 0;
    bool reversed_ = false;
};

// A marker's place on the forward time line and back. Markers count frames of the reversal;
// the forward twin of a stretch is its mirror, so both directions name the same audio.
struct ReversalFrames {
    qint64 frames = 0;
    int sampleRate = 0;

    bool isValid() const { return frames > 0 && sampleRate > 0; }
    // The stretch in forward seconds, earlier end first.
    std::pair<double, double> forwardSeconds(const FrameRange &reversal) const;
    // The stretch between two forward times (either order), clamped to the audio.
    FrameRange fromForwardSeconds(double a, double b) const;
};

} // namespace murmelo
