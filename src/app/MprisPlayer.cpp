#include "app/MprisPlayer.h"

#include "app/SidebarViewController.h"
#include "library/Recording.h"
#include "screens/playback/PlaybackViewController.h"

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QGuiApplication>
#include <QWindow>
#include <algorithm>
#include <cmath>

namespace murmelo {

namespace {

constexpr double kMicroseconds = 1e6;

// org.mpris.MediaPlayer2: who the player is.
class MprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)
public:
    explicit MprisRootAdaptor(MprisPlayer *player) : QDBusAbstractAdaptor(player), player_(player)
    {
    }
    bool canQuit() const { return false; } // quitting is the window's, with its questions
    bool canRaise() const { return true; }
    bool hasTrackList() const { return false; }
    QString identity() const { return QStringLiteral("Murmelo"); }
    QString desktopEntry() const { return QGuiApplication::desktopFileName(); }
    QStringList supportedUriSchemes() const { return {}; }
    QStringList supportedMimeTypes() const { return {}; }

public Q_SLOTS:
    void Raise() { player_->raise(); }
    void Quit() {}

private:
    MprisPlayer *player_;
};

// org.mpris.MediaPlayer2.Player: the transport.
class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(double MinimumRate READ minimumRate)
    Q_PROPERTY(double MaximumRate READ maximumRate)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ no)
    Q_PROPERTY(bool CanGoPrevious READ no)
    Q_PROPERTY(bool CanPlay READ hasPlayer)
    Q_PROPERTY(bool CanPause READ hasPlayer)
    Q_PROPERTY(bool CanSeek READ hasPlayer)
    Q_PROPERTY(bool CanControl READ yes)
public:
    explicit MprisPlayerAdaptor(MprisPlayer *player) : QDBusAbstractAdaptor(player), player_(player)
    {
        connect(player, &MprisPlayer::seeked, this, &MprisPlayerAdaptor::Seeked);
    }
    QString playbackStatus() const { return player_->playbackStatus(); }
    double rate() const { return player_->rate(); }
    void setRate(double rate) { player_->setRate(rate); }
    double minimumRate() const { return MprisPlayer::kMinimumRate; }
    double maximumRate() const { return MprisPlayer::kMaximumRate; }
    QVariantMap metadata() const { return player_->metadata(); }
    double volume() const { return 1.0; }
    qlonglong position() const { return player_->position(); }
    bool no() const { return false; }
    bool yes() const { return true; }
    bool hasPlayer() const { return player_->hasPlayer(); }

public Q_SLOTS:
    void Next() {}
    void Previous() {}
    void Pause() { player_->pause(); }
    void PlayPause() { player_->playPause(); }
    void Stop() { player_->stop(); }
    void Play() { player_->play(); }
    void Seek(qlonglong offset) { player_->seek(offset); }
    void SetPosition(const QDBusObjectPath &track, qlonglong position)
    {
        player_->setPosition(track, position);
    }
    void OpenUri(const QString &) {}

Q_SIGNALS:
    void Seeked(qlonglong position);

private:
    MprisPlayer *player_;
};

} // namespace

MprisPlayer::MprisPlayer(SidebarViewController *window, QDBusConnection bus)
    : QObject(window), window_(window), bus_(std::move(bus))
{
    new MprisRootAdaptor(this);
    new MprisPlayerAdaptor(this);
    if (!bus_.isConnected())
        return;
    if (!bus_.registerObject(objectPath(), this, QDBusConnection::ExportAdaptors))
        return;
    registered_ = bus_.registerService(serviceName());
    if (!registered_) {
        // Another Murmelo owns the name: it answers the media keys.
        bus_.unregisterObject(objectPath());
        return;
    }
    connect(window, &SidebarViewController::contentViewControllerChanged, this,
            &MprisPlayer::watchContent);
    watchContent();
}

MprisPlayer::~MprisPlayer()
{
    if (registered_) {
        bus_.unregisterService(serviceName());
        bus_.unregisterObject(objectPath());
    }
}

PlaybackViewController *MprisPlayer::player() const
{
    return window_ ? qobject_cast<PlaybackViewController *>(window_->contentViewController())
                   : nullptr;
}

void MprisPlayer::watchContent()
{
    PlaybackViewController *current = player();
    if (current != watched_) {
        if (watched_) {
            disconnect(&watched_->engine(), nullptr, this, nullptr);
            disconnect(watched_, nullptr, this, nullptr);
        }
        watched_ = current;
        ++track_;
        if (current) {
            connect(&current->engine(), &PlaybackEngine::updated, this,
                    &MprisPlayer::announceChanges);
            connect(current, &PlaybackViewController::playbackSpeedChanged, this,
                    &MprisPlayer::announceChanges);
        }
    }
    announceChanges();
}

QDBusObjectPath MprisPlayer::trackId() const
{
    if (!player())
        return QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"));
    return QDBusObjectPath(QStringLiteral("/org/murmelo/Murmelo/track/%1").arg(track_));
}

void MprisPlayer::play()
{
    if (PlaybackViewController *screen = player(); screen && !screen->engine().isPlaying())
        screen->pausePlay();
}

void MprisPlayer::pause()
{
    if (PlaybackViewController *screen = player(); screen && screen->engine().isPlaying())
        screen->pausePlay();
}

void MprisPlayer::playPause()
{
    if (PlaybackViewController *screen = player())
        screen->pausePlay();
}

void MprisPlayer::stop()
{
    PlaybackViewController *screen = player();
    if (!screen)
        return;
    pause();
    screen->engine().seek(0);
    Q_EMIT seeked(0);
    announceChanges();
}

void MprisPlayer::seek(qlonglong offset)
{
    PlaybackViewController *screen = player();
    if (!screen)
        return;
    PlaybackEngine &engine = screen->engine();
    const double target =
        std::clamp(engine.currentTime() + double(offset) / kMicroseconds, 0.0, engine.duration());
    engine.seek(target);
    Q_EMIT seeked(position());
}

void MprisPlayer::setPosition(const QDBusObjectPath &track, qlonglong position)
{
    PlaybackViewController *screen = player();
    if (!screen || track != trackId() || position < 0)
        return;
    const double seconds = double(position) / kMicroseconds;
    if (seconds > screen->engine().duration())
        return;
    screen->engine().seek(seconds);
    Q_EMIT seeked(this->position());
}

void MprisPlayer::raise()
{
    if (!window_)
        return;
    window_->showNormal();
    window_->raise();
    window_->activateWindow();
}

QString MprisPlayer::playbackStatus() const
{
    const PlaybackViewController *screen = player();
    if (!screen)
        return QStringLiteral("Stopped");
    return const_cast<PlaybackViewController *>(screen)->engine().isPlaying()
               ? QStringLiteral("Playing")
               : QStringLiteral("Paused");
}

qlonglong MprisPlayer::position() const
{
    PlaybackViewController *screen = player();
    return screen ? qlonglong(std::llround(screen->engine().currentTime() * kMicroseconds)) : 0;
}

double MprisPlayer::rate() const
{
    PlaybackViewController *screen = player();
    return screen ? screen->playbackSpeedValue() : 1.0;
}

void MprisPlayer::setRate(double rate)
{
    PlaybackViewController *screen = player();
    if (!screen || !std::isfinite(rate))
        return;
    // The interface's rule for a rate of 0: pause, as Pause would.
    if (rate <= 0.0) {
        pause();
        return;
    }
    screen->setPlaybackSpeed(std::clamp(rate, kMinimumRate, kMaximumRate));
}

QVariantMap MprisPlayer::metadata() const
{
    PlaybackViewController *screen = player();
    QVariantMap data{{QStringLiteral("mpris:trackid"), QVariant::fromValue(trackId())}};
    if (!screen)
        return data;
    const auto recording = screen->recording();
    const QString name = recording ? recording->name() : QString();
    data.insert(QStringLiteral("xesam:title"), name.isEmpty() ? tr("Unsaved reversal") : name);
    data.insert(QStringLiteral("mpris:length"),
                qlonglong(std::llround(screen->engine().duration() * kMicroseconds)));
    return data;
}

void MprisPlayer::announceChanges()
{
    if (!registered_)
        return;
    QVariantMap changed;
    const QString status = playbackStatus();
    if (status != announcedStatus_) {
        announcedStatus_ = status;
        changed.insert(QStringLiteral("PlaybackStatus"), status);
    }
    const QVariantMap data = metadata();
    if (data != announcedMetadata_) {
        announcedMetadata_ = data;
        changed.insert(QStringLiteral("Metadata"), data);
        for (const char *flag : {"CanPlay", "CanPause", "CanSeek"})
            changed.insert(QLatin1String(flag), hasPlayer());
    }
    const double rate = this->rate();
    if (rate != announcedRate_) {
        announcedRate_ = rate;
        changed.insert(QStringLiteral("Rate"), rate);
    }
    if (changed.isEmpty())
        return;
    QDBusMessage signal =
        QDBusMessage::createSignal(objectPath(), QStringLiteral("org.freedesktop.DBus.Properties"),
                                   QStringLiteral("PropertiesChanged"));
    signal << QStringLiteral("org.mpris.MediaPlayer2.Player") << changed << QStringList();
    bus_.send(signal);
}

} // namespace murmelo

#include "MprisPlayer.moc"
