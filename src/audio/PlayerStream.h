#pragma once

#include "audio/AudioOutput.h"
#include "audio/PlayerAudio.h"

#include <deque>
#include <functional>
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
// A run can go on through passes queued ahead of it (a listening loop), each after its own
// silence, without the output ever running dry in between. A pass may read the mirror: the same
// audio last frame first (the other direction's file). Frames given to and taken from the stream
// always count on its own audio's time line; frame f of it is frame frames - f of the mirror.
// Thread-safe: the output pulls on its own schedule while the player changes rate or seeks.
class PlayerStream : public AudioFrameSource {
public:
    explicit PlayerStream(std::shared_ptr<PlayerAudio> audio);
    ~PlayerStream() override;

    static constexpr double kMinimumRate = 0.5;
    static constexpr double kMaximumRate = 2.0;
    static constexpr double kCrossfadeSeconds = 0.005;

    qint64 renderFrames(float *interleaved, qint64 frames) override;

    // Starts a new run of output frames at this source frame, dropping the passes queued.
    // `leadFrames` of silence come first (the position holds still through them); with `fadeIn`
    // the sound then rises from silence over the crossfade's length instead of starting on a
    // step. A `mirrored` run reads the mirror.
    void restart(qint64 sourceFrame, bool fadeIn = false, qint64 leadFrames = 0,
                 bool mirrored = false);

    // The other direction's audio. Refused (false) unless it has the same format and length.
    bool setMirror(std::shared_ptr<PlayerAudio> mirror);
    bool hasMirror() const;

    // What plays once the pass being rendered reaches its end: `leadFrames` of silence, then
    // the audio from `from` to `end` (none: the audio's end), fading in and out.
    struct Pass {
        qint64 from;
        std::optional<qint64> end;
        bool mirrored;
        qint64 leadFrames;
    };
    void queue(const Pass &pass);
    // Passes queued that rendering has not reached yet.
    void clearQueue();
    int queuedPasses() const;
    // Queued passes rendering has begun since restart(), and how many of them output frame
    // `outputFrame` has reached (a pass begins with its silence).
    int passesBegun() const;
    int passesReachedBy(qint64 outputFrame);
    // Whether the pass being rendered reads the mirror.
    bool rendersMirror() const;
    // Called, on the rendering thread, when rendering begins a queued pass.
    void setPassBegunHandler(std::function<void()> handler);
    // Continues the output from another source frame. With a crossfade the old position fades
    // out while the new one fades in, so the jump makes no click.
    void seek(qint64 sourceFrame, bool crossfade);
    // The next frames rendered fall to silence over the crossfade's length, and then the run
    // ends, whatever is queued. Returns the source frame the fade begins at.
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
        bool mirrored;
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
    // The audio the pass being rendered reads, and a frame of the own time line on it.
    PlayerAudio &source() const { return mirrored_ ? *mirror_ : *audio_; }
    double onSource(double ownFrame) const;
    void beginQueued();

    std::shared_ptr<PlayerAudio> audio_;
    std::shared_ptr<PlayerAudio> mirror_;
    bool mirrored_ = false;
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

    std::deque<Pass> queue_;
    std::vector<qint64> passStarts_; // output frames where begun passes start, not yet reached
    int passesBegun_ = 0;
    int passesReached_ = 0;
    std::function<void()> passBegun_;

    qint64 lead_ = 0; // output frame where the sound of the pass being rendered begins
    bool fadeIn_ = false;
    bool endingFade_ = false;
    qint64 endingDone_ = 0;          // frames of the ending fade rendered so far
    std::optional<qint64> endFrame_; // on the own time line
};

} // namespace murmelo
