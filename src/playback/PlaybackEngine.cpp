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
        plan_.reset();
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
    plan_.reset();
    marked_.reset();
    refresh_.stop();
    return error;
}

QString PlaybackEngine::openReverse(const QString &path, std::optional<float> rate)
{
    QString error;
    reverse_ = open(path, rate, error);
    if (reversed_)
        plan_.reset();
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

void PlaybackEngine::setLoopSettings(LoopSettings settings)
{
    settings.count = std::max(0, settings.count);
    settings.gap = settings.gap > 0 ? settings.gap : 0.0; // and not a NaN
    loop_ = settings;
    if (plan_)
        plan_->setSettings(loop_);
    emit updated();
}

void PlaybackEngine::setRepeat(bool on)
{
    LoopSettings settings = loop_;
    settings.count = on ? LoopSettings::kForever : 1;
    setLoopSettings(settings);
}

std::optional<Stretch> PlaybackEngine::cropRange() const
{
    if (!cropRange_)
        return std::nullopt;
    const auto fractions = cropRange_();
    if (!fractions)
        return std::nullopt;
    return Stretch{duration() * fractions->min, duration() * fractions->max};
}

Stretch PlaybackEngine::activeStretch() const
{
    if (marked_)
        return *marked_;
    if (const auto range = cropRange())
        return *range;
    return {0, duration()};
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

void PlaybackEngine::jumpPlayers()
{
    if (forward_)
        forward_->jumpTo(currentTime_);
    if (reverse_)
        reverse_->jumpTo(reverseDuration() - currentTime_);
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
        // holds, and the listener pausing on a word wants the position to be that word. A loop
        // ends with it, however many passes it had left.
        player->pause();
        plan_.reset();
        updateTime();
        return;
    }
    if (!player)
        return;
    const Stretch stretch = activeStretch();
    if (!(stretch.end > stretch.start))
        return;
    // Playing from outside the stretch would only end at once, so the stretch's own beginning in
    // this direction is where playing starts then.
    plan_.emplace(loop_, stretch, reversed_, currentTime_);
    beginPass();
}

void PlaybackEngine::beginPass()
{
    reversed_ = plan_->reversed();
    currentTime_ = plan_->from();
    positionPlayers();
    applyPassEnd();
    playCurrent(plan_->gapBefore());
}

void PlaybackEngine::applyPassEnd()
{
    Player *player = currentAudioPlayer();
    if (!player || !plan_)
        return;
    const Stretch stretch = plan_->stretch();
    player->setEndTime(reversed_ ? reverseDuration() - stretch.start : stretch.end);
}

void PlaybackEngine::followStretch()
{
    if (!plan_)
        return;
    const Stretch stretch = activeStretch();
    if (stretch == plan_->stretch())
        return;
    plan_->setStretch(stretch);
    applyPassEnd();
}

void PlaybackEngine::playStretch(double start, double end)
{
    start = std::clamp(start, 0.0, duration());
    end = std::clamp(end, 0.0, duration());
    Player *player = currentAudioPlayer();
    if (!(end > start) || !player)
        return;
    marked_ = Stretch{start, end};
    const bool playing = player->isPlaying();
    plan_.emplace(loop_, *marked_, reversed_);
    if (!playing) {
        beginPass();
        return;
    }
    // Already playing: the sound moves over without a click and without a pause.
    currentTime_ = plan_->from();
    applyPassEnd();
    jumpPlayers();
    updateTime();
}

void PlaybackEngine::clearStretch()
{
    marked_.reset();
    followStretch();
    emit updated();
}

void PlaybackEngine::moveCurrentToStart()
{
    Player *player = currentAudioPlayer();
    if (!player)
        return;
    const Stretch stretch = activeStretch();
    if (reversed_)
        player->jumpTo(reverseDuration() - stretch.end);
    else
        player->jumpTo(stretch.start);
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
        if (plan_)
            plan_->switchDirection();
        positionPlayers();
        applyPassEnd();
        playCurrent(handOver);
    } else {
        emit updated();
    }
}

void PlaybackEngine::seek(double seconds)
{
    currentTime_ = std::clamp(seconds, 0.0, duration());
    // Moving away from the chosen stretch leaves it; playing then repeats what it would without.
    if (marked_ && !marked_->contains(currentTime_)) {
        marked_.reset();
        followStretch();
    }
    jumpPlayers();
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
    if (player->isPlaying())
        followStretch();
    currentTime_ = forwardTimeOf(*player);
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
    if (plan_ && plan_->next()) {
        beginPass();
        return;
    }
    finishLoop(player);
}

void PlaybackEngine::finishLoop(Player *player)
{
    if (plan_) {
        // Back in the direction the loop began with, at the stretch's beginning in it: the place
        // to play from again.
        reversed_ = plan_->restingReversed();
        currentTime_ = plan_->restingPoint();
        plan_.reset();
    } else {
        // The player is back at its own start, which for the reversal is the forward file's
        // end: the place to play from again in this direction.
        currentTime_ = forwardTimeOf(*player);
    }
    positionPlayers();
    refresh_.stop();
    emit updated();
}

} // namespace murmelo
