#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>

namespace murmelo {

// Produces the frames an output plays, on whichever thread the output pulls from.
class AudioFrameSource {
public:
    virtual ~AudioFrameSource() = default;
    // Writes up to `frames` interleaved float frames; fewer only once the audio has ended.
    virtual qint64 renderFrames(float *interleaved, qint64 frames) = 0;
};

// Where played frames go: the sound device, or nowhere with a clock of its own.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;

    // Starts pulling from the source (which must outlive the run). False, with `failed` called,
    // when the device cannot play this format.
    virtual bool start(int sampleRate, int channels, AudioFrameSource *source) = 0;
    // Stops at once; frames pulled but not yet heard are dropped.
    virtual void stop() = 0;
    // Frames pulled from the source that the listener has not heard yet.
    virtual qint64 framesPending() const = 0;

    // Called once the source has ended and every frame pulled has been heard.
    std::function<void()> drained;
    // Called when the device gives up; the output is stopped by then.
    std::function<void(const QString &reason)> failed;

protected:
    void reportFailure(const QString &reason)
    {
        if (failed)
            failed(reason);
    }
};

// The default sound device, or, when the system has none, a silent output that keeps time on
// its own (said once in the system log and on standard error).
std::unique_ptr<AudioOutput> createDefaultAudioOutput();

} // namespace murmelo
