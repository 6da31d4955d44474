#pragma once

#include "audio/Player.h"

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
    Player *currentAudioPlayer() const { return reversed_ ? reverse_.get() : forward_.get(); }
    bool isReversed() const { return reversed_; }
    bool isPlaying() const;

    double currentTime() const { return currentTime_; }
    // The forward file's length; 0 without a forward player.
    double duration() const;
    double reverseDuration() const;

    bool repeat() const { return repeat_; }
    void setRepeat(bool on) { repeat_ = on; }

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
    // Reads the position from the current player and keeps playback inside the crop range.
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
    struct Range {
        double start;
        double end;
    };
    std::optional<Range> cropRange() const;
    double forwardTimeOf(const Player &player) const;
    void positionPlayers();
    void moveCurrentToStart();
    // Fades in, after `delaySeconds` of silence.
    void playCurrent(double delaySeconds = 0);
    void finished(Player *player);
    std::unique_ptr<Player> open(const QString &path, std::optional<float> rate, QString &error);

    PlayerFactory factory_;
    std::unique_ptr<Player> forward_;
    std::unique_ptr<Player> reverse_;
    bool reversed_ = false;
    double currentTime_ = 0;
    bool repeat_ = false;
    std::function<std::optional<CropFractions>()> cropRange_;
    QTimer refresh_;
};

} // namespace murmelo
