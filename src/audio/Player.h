#pragma once

#include "audio/AudioOutput.h"
#include "audio/PlayerAudio.h"
#include "audio/PlayerStream.h"

#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace murmelo {

// Plays one WAV file, streamed from the disk, through an output at a rate from 0.5 to 2
// with the pitch kept, seekable to the sample. Its position follows what the listener hears,
// not what has been handed to the device. Main thread only; its callbacks arrive on the main
// queue.
class Player {
public:
    // Null, with the reason in `error`, when the file cannot be played. Without an output the
    // player uses the default sound device (or a silent one when there is none).
    static std::unique_ptr<Player> open(const QString &path, QString &error,
                                        std::unique_ptr<AudioOutput> output = nullptr);
    // Plays audio from elsewhere than a file of its own choosing.
    static std::unique_ptr<Player> open(std::shared_ptr<PlayerAudio> audio,
                                        std::unique_ptr<AudioOutput> output = nullptr);
    ~Player();

    double duration() const;
    // Seconds from the start of the file.
    double currentTime() const;
    // Clamped to the file; lands on the nearest sample. Playing goes on from there.
    void setCurrentTime(double seconds);
    // Like setCurrentTime, but a playing jump fades the old position out and the new one in over
    // a few milliseconds, so that it makes no click.
    void jumpTo(double seconds);

    // How a run of sound begins or ends: on a step, or fading over a few milliseconds so that it
    // makes no click.
    enum class Fade { None, Smooth };

    // False when the output could not start (the error callback says why). `delaySeconds` of
    // silence come first, with the position holding still through them, so that this player can
    // take over when another output has played what it still holds. A `mirrored` run plays the
    // mirror (see setMirror) from the same point of the audio.
    bool play(Fade fade = Fade::None, double delaySeconds = 0, bool mirrored = false);
    // Without a fade the sound stops at once and the position is where the listener is. Sound
    // already handed to the output cannot be faded, so a smooth pause fades from where rendering
    // has got to, lets the output play that, and stops it; the position is where the fade
    // begins. Either way isPlaying() is false at once and the finished callback is not called.
    void pause(Fade fade = Fade::None);
    bool isPlaying() const { return playing_; }
    // Playing ends at this time of the file as it does at the file's end (the sound fades out
    // just before it, then the finished callback), so that a stretch can be played to the
    // sample; none plays to the end of the file.
    void setEndTime(std::optional<double> seconds);

    // Seconds of sound handed to the output that the listener has not heard yet.
    double bufferedSeconds() const;

    // The same audio last frame first (the other direction's file), which queued passes may
    // play through this player's output. Refused (false) unless it has this audio's format and
    // length. Whatever is played, times given to and read from the player count on its own file.
    bool setMirror(std::shared_ptr<PlayerAudio> mirror);
    bool hasMirror() const;
    const std::shared_ptr<PlayerAudio> &audio() const { return audio_; }

    // Plays on, once the run being rendered reaches its end, without stopping the output:
    // `leadSeconds` of silence, then from `from` to `end` (none: the file's end), fading in and
    // out, in the mirror when `mirrored`. The finished callback comes only after the last pass.
    // Queued passes are dropped by play(), pause() and clearQueuedPasses().
    void queuePass(double from, std::optional<double> end, bool mirrored, double leadSeconds);
    void clearQueuedPasses();
    int queuedPasses() const;
    // Of the passes queued since play(): how many rendering has begun, and how many the listener
    // has reached (a pass begins with its silence).
    int passesBegun() const;
    int passesHeard() const;
    // Whether what is being rendered now comes from the mirror.
    bool rendersMirror() const;
    // On the main queue, when rendering begins a queued pass: time to queue more.
    void setPassBegunHandler(std::function<void()> handler) { passBegun_ = std::move(handler); }

    // The rate only takes effect while rate control is on, as with the platform player.
    void setEnableRate(bool enabled);
    bool enableRate() const { return rateEnabled_; }
    void setRate(float rate);
    float rate() const { return rate_; }

    // At the end of the file (not on pause); the position is back at the start by then.
    void setFinishedHandler(std::function<void()> handler) { finished_ = std::move(handler); }
    // While playing, the sound output can fail, or the file can no longer be read (cut short, or
    // on a disk that went away); the position is then where the sound stopped.
    void setErrorHandler(std::function<void(const QString &)> handler)
    {
        error_ = std::move(handler);
    }

    int sampleRate() const { return audio_->sampleRate(); }
    int channels() const { return audio_->channels(); }
    qint64 frameCount() const { return audio_->frames(); }
    AudioOutput &output() { return *output_; }

private:
    Player(std::shared_ptr<PlayerAudio> audio, std::unique_ptr<AudioOutput> output);
    double playingPosition() const;
    qint64 toFrame(double seconds) const;
    double effectiveRate() const { return rateEnabled_ ? rate_ : 1.0; }
    void moveTo(double seconds, bool crossfade);
    void outputDrained();
    void outputFailed(const QString &reason);

    std::shared_ptr<PlayerAudio> audio_;
    std::unique_ptr<PlayerStream> stream_;
    std::unique_ptr<AudioOutput> output_;
    std::shared_ptr<int> alive_; // lets posted callbacks see that the player is gone
    qint64 pausedFrame_ = 0;
    bool playing_ = false;
    std::atomic<int> run_ = 0; // which play() a callback from the output belongs to
    bool rateEnabled_ = false;
    float rate_ = 1.0f;
    std::function<void()> finished_;
    std::function<void(const QString &)> error_;
    std::function<void()> passBegun_;
};

} // namespace murmelo
