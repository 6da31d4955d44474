#pragma once

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QPointer>
#include <QVariantMap>

namespace murmelo {

class PlaybackViewController;
class SidebarViewController;

// The window's player as the desktop sees it: an MPRIS 2 media player on the session bus, so
// media keys and the desktop's sound applets play, pause, stop and seek what the playback
// screen shows, and read its position and title. Without a playback screen there is nothing to
// play and the player says so.
class MprisPlayer : public QObject {
    Q_OBJECT
public:
    static QString serviceName() { return QStringLiteral("org.mpris.MediaPlayer2.murmelo"); }
    static QString objectPath() { return QStringLiteral("/org/mpris/MediaPlayer2"); }

    // Registers on `bus`; check isRegistered() (another Murmelo may hold the name).
    explicit MprisPlayer(SidebarViewController *window,
                         QDBusConnection bus = QDBusConnection::sessionBus());
    ~MprisPlayer() override;
    bool isRegistered() const { return registered_; }

    void play();
    void pause();
    void playPause();
    void stop();
    // Moves by `offset` microseconds, clamped to the recording.
    void seek(qlonglong offset);
    // Moves to `position` microseconds when `track` is the one shown.
    void setPosition(const QDBusObjectPath &track, qlonglong position);
    void raise();

    QString playbackStatus() const;
    qlonglong position() const;
    QVariantMap metadata() const;
    // The playback screen's speed; 1 without one. Setting it moves the speed slider, clamped to
    // its range; a rate of 0 pauses.
    double rate() const;
    void setRate(double rate);
    static constexpr double kMinimumRate = 0.5;
    static constexpr double kMaximumRate = 2.0;
    bool canControl() const { return true; }
    bool hasPlayer() const { return player() != nullptr; }

Q_SIGNALS:
    void seeked(qlonglong position);

private:
    PlaybackViewController *player() const;
    QDBusObjectPath trackId() const;
    void watchContent();
    void announceChanges();

    QPointer<SidebarViewController> window_;
    QDBusConnection bus_;
    bool registered_ = false;
    QPointer<PlaybackViewController> watched_;
    QString announcedStatus_;
    QVariantMap announcedMetadata_;
    double announcedRate_ = 1.0;
    quint64 track_ = 0;
};

} // namespace murmelo
