#include "playback/PlaybackEngine.h"

#include <algorithm>

namespace murmelo {

PlayerFactory defaultPlayerFactory()
{
    return [](const QString &path, QString &error) { return Player::open(path, error); };
}

PlaybackEngine::PlaybackEngine(PlayerFactory factory, QObject *parent)
    : QObject(parent), factory_(std::move(factory))
{
    refresh_.setInterval(kRefreshInterval);
    refresh_.setTimerType(Qt::PreciseTimer);
    connect(&refresh_, &QTimer::timeout, this, &PlaybackEngine::updateTime);
}

PlaybackEngine::~PlaybackEngine() = default;

std::unique_ptr<Player> PlaybackEngine::open(const QString &path, std::optional<float> rate,
                                             QString &error)
{
    auto player = factory_(path, error);
    if (!player)
        return nullptr;
    player->setEnableRate(true);
    if (rate)
        player->setRate(*rate);
    Player *raw = player.get();
    player->setFinishedHandler([this, raw] { finished(raw); });
    player->setErrorHandler([this](const QString &reason) {
        updateTime();
        emit playbackFailed(reason);
    });
    return player;
}

QString PlaybackEngine::openForward(const QString &path, std::optional<float> rate)
{
    QString error;
    forward_ = open(path, rate, error);
    reversed_ = false;
    currentTime_ = 0;
    refresh_.stop();
    return error;
}

QString PlaybackEngine::openReverse(const QString &path, std::optional<float> rate)
{
    QString error;
    reverse_ = open(path, rate, error);
    return error;
}

bool PlaybackEngine::isPlaying() const
{
    const Player *player = currentAudioPlayer();
    return player && player->isPlaying();
}

double PlaybackEngine::duration() const
{
    return forward_ ? forward_->duration() : 0.0;
}

double PlaybackEngine::reverseDuration() const
{
    return reverse_ ? reverse_->duration() : 0.0;
}

void PlaybackEngine::setRate(float rate)
{
    for (Player *player : {forward_.get(), reverse_.get()}) {
        if (player)
            player->setRate(rate);
    }
}

float PlaybackEngine::rate() const
{
    return forward_ ? forward_->rate() : 1.0f;
}

std::optional<PlaybackEngine::Range> PlaybackEngine::cropRange() const
{
    if (!cropRange_)
        return std::nullopt;
    const auto fractions = cropRange_();
    if (!fractions)
        return std::nullopt;
    return Range{duration() * fractions->min, duration() * fractions->max};
}

double PlaybackEngine::forwardTimeOf(const Player &player) const
{
    return &player == reverse_.get() ? reverseDuration() - player.currentTime()
                                     : player.currentTime();
}

void PlaybackEngine::positionPlayers()
{
    if (forward_)
        forward_->setCurrentTime(currentTime_);
    if (reverse_)
        reverse_->setCurrentTime(reverseDuration() - currentTime_);
}

void PlaybackEngine::playCurrent(double delaySeconds)
{
    if (Player *player = currentAudioPlayer())
        player->play(Player::Fade::Smooth, delaySeconds);
    updateTime();
}

void PlaybackEngine::pausePlay()
{
    Player *player = currentAudioPlayer();
    if (player && player->isPlaying()) {
        // Stopped at once rather than faded: a fade could only come after what the output still
        // holds, and the listener pausing on a word wants the position to be that word.
        player->pause();
        updateTime();
        return;
    }
    if (!player)
        return;
    if (const auto range = cropRange()) {
        // Playing from outside the range would only be cut short at once by the refresh, so the
        // range's own beginning in this direction is where playing starts.
        if (currentTime_ < range->start || currentTime_ > range->end)
            currentTime_ = reversed_ ? range->end : range->start;
    }
    positionPlayers();
    playCurrent();
}

void PlaybackEngine::moveCurrentToStart()
{
    Player *player = currentAudioPlayer();
    if (!player)
        return;
    const auto range = cropRange();
    if (!range)
        player->jumpTo(0);
    else if (reversed_)
        player->jumpTo(reverseDuration() - range->end);
    else
        player->jumpTo(range->start);
}

void PlaybackEngine::restart()
{
    moveCurrentToStart();
    updateTime();
}

void PlaybackEngine::switchDirection()
{
    Player *old = currentAudioPlayer();
    const bool wasPlaying = old && old->isPlaying();
    double handOver = 0;
    if (wasPlaying) {
        // The old direction fades out after what its output still holds; the new one stays
        // silent until then and fades in under it, from the same point of the audio.
        handOver = old->bufferedSeconds();
        old->pause(Player::Fade::Smooth);
        currentTime_ = forwardTimeOf(*old);
    }
    reversed_ = !reversed_;
    if (wasPlaying) {
        positionPlayers();
        playCurrent(handOver);
    } else {
        emit updated();
    }
}

void PlaybackEngine::seek(double seconds)
{
    currentTime_ = std::clamp(seconds, 0.0, duration());
    if (forward_)
        forward_->jumpTo(currentTime_);
    if (reverse_)
        reverse_->jumpTo(reverseDuration() - currentTime_);
    emit updated();
}

void PlaybackEngine::updateTime()
{
    Player *player = currentAudioPlayer();
    if (!player) {
        refresh_.stop();
        emit updated();
        return;
    }
    double time = forwardTimeOf(*player);
    const auto range = player->isPlaying() ? cropRange() : std::nullopt;
    if (range && !reversed_ && time > range->end) {
        time = range->start;
        if (!repeat_)
            player->pause();
        player->jumpTo(time);
    } else if (range && reversed_ && time < range->start) {
        time = range->end;
        if (!repeat_)
            player->pause();
        player->jumpTo(reverseDuration() - range->end);
    }
    currentTime_ = time;
    if (!player->isPlaying())
        refresh_.stop();
    else if (!refresh_.isActive())
        refresh_.start();
    emit updated();
}

void PlaybackEngine::finished(Player *player)
{
    if (player != currentAudioPlayer())
        return;
    // The player is back at its own start, which for the reversal is the forward file's end: the
    // place to play from again in this direction.
    currentTime_ = forwardTimeOf(*player);
    if (repeat_) {
        moveCurrentToStart();
        playCurrent();
        return;
    }
    refresh_.stop();
    emit updated();
}

} // namespace murmelo
