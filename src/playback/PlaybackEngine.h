#pragma once

#include "audio/Player.h"
#include "playback/LoopPlan.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

namespace murmelo {

// Makes the player of one file; null, with the reason in `error`, when the file cannot be played.
using PlayerFactory = std::function<std::unique_ptr<Player>(const QString &path, QString &error)>;

// Players on the default sound device.
PlayerFactory defaultPlayerFactory();

// The part of the audio that crop mode confines playback to, as fractions of its length.
struct CropFractions {
    float min;
    float max;
};

// Two players of the same audio, one forward and one reversed, sharing one position. The
// position is always counted on the forward file's time line; the reversal player's time r and
// the forward time t name the same point of the audio when r = reversal duration - t.
// A listening loop plays all its passes through one player's output, queued ahead of the
// listener, so that the sound server hears each pass follow the last without a break; a pass in
// the other direction reads that player's mirror (the other file).
class PlaybackEngine : public QObject {
    Q_OBJECT
public:
    explicit PlaybackEngine(PlayerFactory factory, QObject *parent = nullptr);
    ~PlaybackEngine() override;

    // Each returns the reason when the file cannot be played; that player is then absent and
    // every request to it does nothing. A new forward file always starts in forward direction.
    QString openForward(const QString &path, std::optional<float> rate);
    QString openReverse(const QString &path, std::optional<float> rate);

    Player *audioPlayer() const { return forward_.get(); }
    Player *reverseAudioPlayer() const { return reverse_.get(); }
    // The player whose output sounds while playing (it may be playing the other direction's file
    // as its mirror); else the player of the current direction.
    Player *currentAudioPlayer() const;
    bool isReversed() const { return reversed_; }
    bool isPlaying() const;

    double currentTime() const { return currentTime_; }
    // The forward file's length; 0 without a forward player.
    double duration() const;
    double reverseDuration() const;

    // How the stretch being listened to repeats. A change while playing applies from the pass
    // after the one being played (a new count or direction counts afresh from it).
    const LoopSettings &loopSettings() const { return loop_; }
    void setLoopSettings(LoopSettings settings);
    // Whether the stretch plays more than once: the loop switch of the transport.
    bool repeat() const { return loop_.count != 1; }
    // On loops until stopped; off plays once.
    void setRepeat(bool on);

    // Plays the stretch from `start` to `end` (forward time line, seconds) with the loop settings,
    // from its start in the current direction, even when something else is playing. It stays the
    // stretch that playing repeats until a seek leaves it or clearStretch(); a stretch of nothing
    // is ignored.
    void playStretch(double start, double end);
    void clearStretch();
    // The stretch chosen by playStretch, if any.
    std::optional<Stretch> markedStretch() const { return marked_; }
    // What playing repeats: the chosen stretch, else the crop range, else the whole audio.
    Stretch activeStretch() const;
    // The loop being played, at the pass the listener hears; null while nothing plays.
    const LoopPlan *loopPlan() const { return plan_ ? &*plan_ : nullptr; }

    // Applied to both players at once.
    void setRate(float rate);
    // The forward player's rate (1 without one).
    float rate() const;

    // Asked whenever play, restart or the refresh needs to know whether crop mode is on.
    void setCropRangeProvider(std::function<std::optional<CropFractions>()> provider)
    {
        cropRange_ = std::move(provider);
    }

    void pausePlay();
    void restart();
    void switchDirection();
    // Moves both players to forward time `seconds`; playing goes on from there.
    void seek(double seconds);
    // Reads the position from the current player and keeps the loop's end where the stretch ends
    // (the crop range may move while playing).
    void updateTime();

    // Milliseconds between refreshes while playing: a 60 Hz display's frame.
    static constexpr int kRefreshInterval = 16;
    bool isRefreshing() const { return refresh_.isActive(); }

signals:
    // The position or the play state may have changed.
    void updated();
    // The sound output gave up; playback has stopped.
    void playbackFailed(const QString &reason);

private:
    std::optional<Stretch> cropRange() const;
    double forwardTimeOf(const Player &player) const;
    // Forward time `seconds` on the player's own time line.
    double ownTimeOf(const Player &player, double seconds) const;
    Player *playerFor(bool reversed) const { return reversed ? reverse_.get() : forward_.get(); }
    void linkMirrors();
    void positionPlayers();
    // Like positionPlayers, but a playing player moves without a click.
    void jumpPlayers();
    void moveCurrentToStart();
    // Fades in, after `delaySeconds` of silence, on the player of the current direction.
    void playCurrent(double delaySeconds = 0);
    // The same on `player`, reading its mirror when `mirrored`.
    void playOn(Player *player, bool mirrored, double delaySeconds);
    void beginPass();
    // Ends the player's run where the pass it renders finishes.
    void applyPassEnd(Player *player);
    // The plan at the pass the sounding player is rendering (ahead of the one heard).
    LoopPlan renderingPlan() const;
    // Keeps about a second of passes queued on the sounding player beyond the one it renders.
    void queueAhead();
    // Drops the queued passes and queues them afresh from the plan.
    void requeue();
    // Moves the plan on to the pass the listener has reached.
    void followHeardPasses();
    void followStretch();
    void finishLoop(Player *player);
    void finished(Player *player);
    std::unique_ptr<Player> open(const QString &path, std::optional<float> rate, QString &error);

    PlayerFactory factory_;
    std::unique_ptr<Player> forward_;
    std::unique_ptr<Player> reverse_;
    Player *sounding_ = nullptr; // the player last told to play
    int heardPasses_ = 0;        // of sounding_'s queued passes, those the plan has followed
    bool reversed_ = false;
    double currentTime_ = 0;
    LoopSettings loop_;
    std::optional<Stretch> marked_;
    std::optional<LoopPlan> plan_;
    std::function<std::optional<CropFractions>()> cropRange_;
    QTimer refresh_;
};

} // namespace murmelo
