#include "playback/PlaybackEngine.h"

#include <algorithm>
#include <cmath>

namespace murmelo {

namespace {

// Seconds of passes kept queued ahead of the listener: far more than the output holds, so that
// a busy main thread never lets a loop run dry between passes.
constexpr double kQueueSeconds = 1.0;
constexpr int kMostQueued = 64;

} // namespace

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
    player->setPassBegunHandler([this, raw] {
        if (raw == sounding_)
            queueAhead();
    });
    player->setErrorHandler([this, raw](const QString &reason) {
        plan_.reset();
        if (raw == sounding_) {
            // It may have been playing the other direction's file: both follow where it stopped.
            currentTime_ = forwardTimeOf(*raw);
            positionPlayers();
        }
        updateTime();
        emit playbackFailed(reason);
    });
    return player;
}

QString PlaybackEngine::openForward(const QString &path, std::optional<float> rate)
{
    QString error;
    sounding_ = nullptr;
    forward_ = open(path, rate, error);
    linkMirrors();
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
    if (sounding_ == reverse_.get())
        sounding_ = nullptr;
    reverse_ = open(path, rate, error);
    linkMirrors();
    if (reversed_)
        plan_.reset();
    return error;
}

void PlaybackEngine::linkMirrors()
{
    if (forward_ && reverse_) {
        forward_->setMirror(reverse_->audio());
        reverse_->setMirror(forward_->audio());
    }
}

Player *PlaybackEngine::currentAudioPlayer() const
{
    if (sounding_ && sounding_->isPlaying())
        return sounding_;
    return playerFor(reversed_);
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
    if (plan_) {
        followHeardPasses();
        plan_->setSettings(loop_);
        requeue();
    }
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

double PlaybackEngine::ownTimeOf(const Player &player, double seconds) const
{
    return &player == reverse_.get() ? reverseDuration() - seconds : seconds;
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
    playOn(playerFor(reversed_), false, delaySeconds);
}

void PlaybackEngine::playOn(Player *player, bool mirrored, double delaySeconds)
{
    if (player) {
        sounding_ = player;
        heardPasses_ = 0;
        player->play(Player::Fade::Smooth, delaySeconds, mirrored);
        queueAhead();
    }
    updateTime();
}

void PlaybackEngine::pausePlay()
{
    Player *player = currentAudioPlayer();
    if (player && player->isPlaying()) {
        // Stopped at once rather than faded: a fade could only come after what the output still
        // holds, and the listener pausing on a word wants the position to be that word. A loop
        // ends with it, however many passes it had left.
        followHeardPasses();
        player->pause();
        plan_.reset();
        currentTime_ = forwardTimeOf(*player);
        positionPlayers();
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
    applyPassEnd(playerFor(reversed_));
    playCurrent(plan_->gapBefore());
}

void PlaybackEngine::applyPassEnd(Player *player)
{
    if (!player || !plan_)
        return;
    const LoopPlan pass = player == sounding_ && player->isPlaying() ? renderingPlan() : *plan_;
    player->setEndTime(ownTimeOf(*player, pass.to()));
}

LoopPlan PlaybackEngine::renderingPlan() const
{
    LoopPlan plan = *plan_;
    const int begun = sounding_ ? sounding_->passesBegun() - heardPasses_ : 0;
    for (int i = 0; i < begun && plan.next(); ++i) {
    }
    return plan;
}

void PlaybackEngine::queueAhead()
{
    Player *player = sounding_;
    if (!plan_ || !player || !player->isPlaying())
        return;
    followHeardPasses();
    LoopPlan ahead = renderingPlan();
    int queued = player->queuedPasses();
    for (int i = 0; i < queued; ++i) {
        if (!ahead.next())
            return;
    }
    // Counted beyond the pass being rendered, which may end at any moment.
    const Stretch stretch = ahead.stretch();
    const double perPass =
        (stretch.end - stretch.start) / double(player->rate()) + ahead.settings().gap;
    const int wanted =
        std::clamp(int(std::ceil(kQueueSeconds / std::max(perPass, 1e-3))), 1, kMostQueued);
    const bool ownReversed = player == reverse_.get();
    while (queued < wanted && ahead.next()) {
        const bool mirrored = ahead.reversed() != ownReversed;
        // Without the other file the loop goes on as before: the other player starts once this
        // one has finished.
        if (mirrored && !player->hasMirror())
            return;
        player->queuePass(ownTimeOf(*player, ahead.from()), ownTimeOf(*player, ahead.to()),
                          mirrored, ahead.gapBefore());
        ++queued;
    }
}

void PlaybackEngine::requeue()
{
    if (!sounding_ || !sounding_->isPlaying())
        return;
    sounding_->clearQueuedPasses();
    queueAhead();
}

void PlaybackEngine::followHeardPasses()
{
    if (!plan_ || !sounding_)
        return;
    const int heard = sounding_->passesHeard();
    for (; heardPasses_ < heard; ++heardPasses_) {
        if (plan_->next())
            reversed_ = plan_->reversed();
    }
}

void PlaybackEngine::followStretch()
{
    if (!plan_)
        return;
    const Stretch stretch = activeStretch();
    if (stretch == plan_->stretch())
        return;
    plan_->setStretch(stretch);
    if (sounding_ && sounding_->isPlaying()) {
        applyPassEnd(sounding_);
        requeue();
    }
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
    if (playing)
        followHeardPasses();
    plan_.emplace(loop_, *marked_, reversed_);
    if (!playing) {
        beginPass();
        return;
    }
    if (player->rendersMirror() != (reversed_ != (player == reverse_.get()))) {
        // Rendering has already gone into a pass the other way: start afresh.
        player->pause();
        beginPass();
        return;
    }
    // Already playing: the sound moves over without a click and without a pause. Passes begun
    // before belong to the loop that was playing.
    heardPasses_ = player->passesBegun();
    player->clearQueuedPasses();
    currentTime_ = plan_->from();
    applyPassEnd(player);
    jumpPlayers();
    queueAhead();
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
    player->jumpTo(ownTimeOf(*player, reversed_ ? stretch.end : stretch.start));
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
        // silent until then and fades in under it, from the same point of the audio: the point
        // rendering had reached, which may be a pass beyond the one heard.
        followHeardPasses();
        if (plan_)
            *plan_ = renderingPlan();
        handOver = old->bufferedSeconds();
        old->pause(Player::Fade::Smooth);
        currentTime_ = forwardTimeOf(*old);
    }
    reversed_ = !reversed_;
    if (!wasPlaying) {
        emit updated();
        return;
    }
    if (plan_)
        plan_->switchDirection();
    positionPlayers();
    // The new direction plays on the other output than the one fading out: when the old player
    // was reading its mirror, the new direction is its own file, read by the other one as its
    // mirror.
    Player *next = playerFor(reversed_);
    const bool mirrored = next == old;
    if (mirrored)
        next = playerFor(!reversed_);
    if (mirrored && next && !next->hasMirror())
        next = nullptr;
    applyPassEnd(next);
    playOn(next, mirrored, handOver);
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
    if (player->isPlaying()) {
        followHeardPasses();
        followStretch();
    }
    currentTime_ = forwardTimeOf(*player);
    if (!player->isPlaying())
        refresh_.stop();
    else if (!refresh_.isActive())
        refresh_.start();
    emit updated();
}

void PlaybackEngine::finished(Player *player)
{
    if (player != sounding_)
        return;
    followHeardPasses();
    // Only when the queue ran dry (or could not be used) does the next pass start anew.
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
