#include "audio/Player.h"

#include "platform/MainQueue.h"

#include <algorithm>
#include <cmath>

namespace murmelo {

std::unique_ptr<Player> Player::open(const QString &path, QString &error,
                                     std::unique_ptr<AudioOutput> output)
{
    auto audio = PlayerAudio::open(path, error);
    if (!audio)
        return nullptr;
    return open(std::move(audio), std::move(output));
}

std::unique_ptr<Player> Player::open(std::shared_ptr<PlayerAudio> audio,
                                     std::unique_ptr<AudioOutput> output)
{
    if (!output)
        output = createDefaultAudioOutput();
    return std::unique_ptr<Player>(new Player(std::move(audio), std::move(output)));
}

Player::Player(std::shared_ptr<PlayerAudio> audio, std::unique_ptr<AudioOutput> output)
    : audio_(std::move(audio)), stream_(std::make_unique<PlayerStream>(audio_)),
      output_(std::move(output)), alive_(std::make_shared<int>(0))
{
    // The output may call from its own thread; the player's state belongs to the main one.
    const std::weak_ptr<int> alive = alive_;
    output_->drained = [this, alive] {
        const int run = run_;
        postToMainQueue([this, alive, run] {
            if (!alive.expired() && run == run_)
                outputDrained();
        });
    };
    stream_->setPassBegunHandler([this, alive] {
        const int run = run_;
        postToMainQueue([this, alive, run] {
            if (!alive.expired() && run == run_ && passBegun_)
                passBegun_();
        });
    });
    output_->failed = [this, alive](const QString &reason) {
        const int run = run_;
        postToMainQueue([this, alive, run, reason] {
            if (!alive.expired() && run == run_)
                outputFailed(reason);
        });
    };
}

Player::~Player()
{
    output_->stop();
}

double Player::duration() const
{
    return double(audio_->frames()) / audio_->sampleRate();
}

qint64 Player::toFrame(double seconds) const
{
    if (!(seconds > 0))
        return 0;
    return std::min(audio_->frames(), qint64(std::llround(seconds * audio_->sampleRate())));
}

double Player::playingPosition() const
{
    const qint64 heard = stream_->framesRendered() - output_->framesPending();
    return stream_->sourcePositionAt(std::max<qint64>(0, heard));
}

double Player::currentTime() const
{
    const double frame = playing_ ? playingPosition() : double(pausedFrame_);
    return frame / audio_->sampleRate();
}

void Player::setCurrentTime(double seconds)
{
    moveTo(seconds, false);
}

void Player::jumpTo(double seconds)
{
    moveTo(seconds, true);
}

void Player::moveTo(double seconds, bool crossfade)
{
    pausedFrame_ = toFrame(seconds);
    if (playing_)
        stream_->seek(pausedFrame_, crossfade);
}

bool Player::play(Fade fade, double delaySeconds, bool mirrored)
{
    if (playing_)
        return true;
    ++run_;
    output_->stop(); // a smooth pause may still be fading out of this stream
    stream_->setRate(effectiveRate());
    stream_->restart(pausedFrame_, fade == Fade::Smooth,
                     std::llround(std::max(0.0, delaySeconds) * audio_->sampleRate()), mirrored);
    playing_ = true;
    if (!output_->start(audio_->sampleRate(), audio_->channels(), stream_.get())) {
        playing_ = false;
        return false;
    }
    return true;
}

void Player::pause(Fade fade)
{
    if (!playing_)
        return;
    ++run_;
    playing_ = false;
    if (fade == Fade::Smooth) {
        // The output stops by itself once the fade has been played.
        pausedFrame_ = qint64(std::llround(stream_->fadeOutAndEnd()));
        return;
    }
    // Where the listener is, not where rendering got to: the unheard rest is played again.
    pausedFrame_ = qint64(std::llround(playingPosition()));
    output_->stop();
}

void Player::setEndTime(std::optional<double> seconds)
{
    stream_->setEndFrame(seconds ? std::optional<qint64>(toFrame(*seconds)) : std::nullopt);
}

double Player::bufferedSeconds() const
{
    return double(output_->framesPending()) / audio_->sampleRate();
}

bool Player::setMirror(std::shared_ptr<PlayerAudio> mirror)
{
    return stream_->setMirror(std::move(mirror));
}

bool Player::hasMirror() const
{
    return stream_->hasMirror();
}

void Player::queuePass(double from, std::optional<double> end, bool mirrored, double leadSeconds)
{
    stream_->queue({toFrame(from), end ? std::optional<qint64>(toFrame(*end)) : std::nullopt,
                    mirrored, std::llround(std::max(0.0, leadSeconds) * audio_->sampleRate())});
}

void Player::clearQueuedPasses()
{
    stream_->clearQueue();
}

int Player::queuedPasses() const
{
    return stream_->queuedPasses();
}

int Player::passesBegun() const
{
    return stream_->passesBegun();
}

int Player::passesHeard() const
{
    if (!playing_)
        return stream_->passesBegun();
    return stream_->passesReachedBy(stream_->framesRendered() - output_->framesPending());
}

bool Player::rendersMirror() const
{
    return stream_->rendersMirror();
}

void Player::setEnableRate(bool enabled)
{
    rateEnabled_ = enabled;
    stream_->setRate(effectiveRate());
}

void Player::setRate(float rate)
{
    if (std::isnan(rate))
        return;
    rate_ = std::clamp(rate, float(PlayerStream::kMinimumRate), float(PlayerStream::kMaximumRate));
    stream_->setRate(effectiveRate());
}

void Player::outputDrained()
{
    if (!playing_) // the end of a smooth pause's fade, not of the file
        return;
    const QString failure = stream_->failure();
    if (!failure.isEmpty()) {
        // Everything rendered has been heard: the position is where the readable audio ends.
        output_->stop();
        return outputFailed(failure);
    }
    ++run_;
    output_->stop();
    playing_ = false;
    pausedFrame_ = 0;
    if (finished_)
        finished_();
}

void Player::outputFailed(const QString &reason)
{
    if (playing_) {
        pausedFrame_ = qint64(std::llround(playingPosition()));
        ++run_;
        playing_ = false;
    }
    if (error_)
        error_(reason);
}

} // namespace murmelo
