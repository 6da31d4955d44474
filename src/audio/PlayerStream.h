#pragma once

#include "audio/AudioOutput.h"
#include "audio/PlayerAudio.h"

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace soundtouch {
class SoundTouch;
}

namespace murmelo {

// Turns audio into output frames at a playback rate, keeping the pitch (SoundTouch; rate
// 1 copies the frames untouched), and remembers which source frame every output frame stands for
// so that the player can tell where the listener is. Output frames are counted from restart().
// Thread-safe: the output pulls on its own schedule while the player changes rate or seeks.
class PlayerStream : public AudioFrameSource {
public:
    explicit PlayerStream(std::shared_ptr<PlayerAudio> audio);
    ~PlayerStream() override;

    static constexpr double kMinimumRate = 0.5;
    static constexpr double kMaximumRate = 2.0;
    static constexpr double kCrossfadeSeconds = 0.005;

    qint64 renderFrames(float *interleaved, qint64 frames) override;

    // Starts a new run of output frames at this source frame. `leadFrames` of silence come first
    // (the position holds still through them); with `fadeIn` the sound then rises from silence
    // over the crossfade's length instead of starting on a step.
    void restart(qint64 sourceFrame, bool fadeIn = false, qint64 leadFrames = 0);
    // Continues the output from another source frame. With a crossfade the old position fades
    // out while the new one fades in, so the jump makes no click.
    void seek(qint64 sourceFrame, bool crossfade);
    // The next frames rendered fall to silence over the crossfade's length, and then the run
    // ends. Returns the source frame the fade begins at.
    double fadeOutAndEnd();
    // Clamped to [0.5, 2]; applies from the next frame rendered.
    void setRate(double rate);
    // The run ends at this source frame instead of the audio's end, falling to silence over the
    // crossfade's length just before it; none plays to the end.
    void setEndFrame(std::optional<qint64> frame);

    // The source frame (fractional between rate steps) that output frame `outputFrame` of this
    // run stands for. A seek not yet reached by the listener reads as its target.
    double sourcePositionAt(qint64 outputFrame);
    qint64 framesRendered() const;
    // Why the run ended before the audio's end, when the audio could no longer be read; empty
    // when it ended where it should.
    QString failure() const;

private:
    struct Segment {
        qint64 outputStart;
        double sourceStart;
        double rate;
        bool isSeek;
    };

    qint64 renderAtRate(float *out, qint64 frames);
    qint64 renderStretched(float *out, qint64 frames);
    void moveTo(double sourceFrame, bool isSeek);
    void mixCrossfade(float *out, qint64 frames);
    void applyFades(float *out, qint64 frames, qint64 firstFrame);
    void applyEndFade(float *out, qint64 frames, qint64 framesToEnd);
    double endFrame() const;
    qint64 outputFramesToEnd() const;
    qint64 fadeFrames() const;

    qint64 readFrames(qint64 first, qint64 count, float *out);

    std::shared_ptr<PlayerAudio> audio_;
    std::unique_ptr<soundtouch::SoundTouch> stretcher_;
    mutable std::mutex mutex_;

    double rate_ = 1.0;
    double position_ = 0;  // source frame the next output frame stands for
    qint64 fedFrames_ = 0; // next source frame to hand the stretcher
    bool stretcherFlushed_ = false;
    std::vector<float> feed_; // source frames on their way into the stretcher
    bool cutShort_ = false;   // the audio could not be read further in this run
    qint64 rendered_ = 0;
    std::vector<Segment> segments_;

    std::vector<float> fadeOut_; // the old position's next frames, faded under the new ones
    qint64 fadeDone_ = 0;

    qint64 lead_ = 0; // output frames of silence before the run's sound
    bool fadeIn_ = false;
    bool endingFade_ = false;
    qint64 endingDone_ = 0; // frames of the ending fade rendered so far
    std::optional<qint64> endFrame_;
};

} // namespace murmelo
