#include "AppTestSupport.h"
#include "app/MainLayout.h"
#include "app/MprisPlayer.h"
#include "audio/AudioOutputNull.h"
#include "library/Library.h"
#include "library/Recording.h"
#include "library/StoreContext.h"
#include "platform/SerialQueue.h"
#include "screens/playback/PlaybackViewController.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QLabel>
#include <QProcess>
#include <QTest>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

// Hears PropertiesChanged as an applet does.
class PropertiesListener : public QObject {
    Q_OBJECT
public:
    QList<QVariantMap> announced;
public Q_SLOTS:
    void changed(const QString &, const QVariantMap &properties, const QStringList &)
    {
        announced.append(properties);
    }
};

class Mpris : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon did not start";
        const QString path =
            test::scratchRoot() +
            QStringLiteral("/mpris-%1.sql").arg(QUuid::createUuid().toString(QUuid::Id128));
        ASSERT_TRUE(store.open(path));
        window.reset(buildMainWindow({.store = [this] { return &store; }}));
        window->show();
        player = new MprisPlayer(window.get(), bus.connect(QStringLiteral("murmelo")));
        ASSERT_TRUE(player->isRegistered());
    }
    void TearDown() override
    {
        SerialQueue::waitForAllQueues();
        window.reset();
        test::drainEventsAndDeletions();
    }

    void showRecording(const QString &name)
    {
        const QString forward = Library::temporaryAudioPath();
        const QString reverse = Library::temporaryAudioPath();
        for (const QString &path : {forward, reverse})
            ASSERT_EQ(
                test::runShell(
                    QStringLiteral("sox -n -r 44100 -c 1 -b 16 '%1' synth 4 sine 440").arg(path)),
                0);
        auto recording = Recording::insertInManagedObjectContext(store);
        recording->setName(name);
        recording->setAudioPath(forward, reverse);
        ASSERT_TRUE(store.save());
        screen = new PlaybackViewController(store, [](const QString &p, QString &error) {
            return Player::open(p, error, std::make_unique<NullAudioOutput>());
        });
        screen->setRecording(recording);
        window->setContentViewController(screen);
        test::drainEvents();
    }

    // Reads a property the way an applet does, over the bus; the call runs while this thread's
    // loop serves the player.
    QVariant property(const QString &interface, const QString &name)
    {
        QDBusMessage get = QDBusMessage::createMethodCall(
            MprisPlayer::serviceName(), MprisPlayer::objectPath(),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get << interface << name;
        const QDBusMessage reply = call(get);
        return reply.arguments().isEmpty()
                   ? QVariant()
                   : reply.arguments().first().value<QDBusVariant>().variant();
    }
    QDBusMessage callPlayer(const QString &method, const QVariantList &arguments = {})
    {
        QDBusMessage message =
            QDBusMessage::createMethodCall(MprisPlayer::serviceName(), MprisPlayer::objectPath(),
                                           QStringLiteral("org.mpris.MediaPlayer2.Player"), method);
        message.setArguments(arguments);
        return call(message);
    }
    QDBusMessage call(const QDBusMessage &message)
    {
        QDBusPendingCall pending = applet.asyncCall(message, 5000);
        test::waitUntil([&] { return pending.isFinished(); }, std::chrono::seconds(6));
        return pending.reply();
    }
    QString status()
    {
        return property(QStringLiteral("org.mpris.MediaPlayer2.Player"),
                        QStringLiteral("PlaybackStatus"))
            .toString();
    }
    qlonglong position()
    {
        return property(QStringLiteral("org.mpris.MediaPlayer2.Player"), QStringLiteral("Position"))
            .toLongLong();
    }

    test::PrivateSessionBus bus;
    QDBusConnection applet = bus.connect(QStringLiteral("applet"));
    StoreContext store;
    test::ScratchDefaults defaults;
    std::unique_ptr<SidebarViewController> window;
    MprisPlayer *player = nullptr;
    PlaybackViewController *screen = nullptr;
};

TEST_F(Mpris, TheBusPlaysPausesAndSeeksThePlaybackScreensPlayer)
{
    EXPECT_EQ(property(QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("Identity")),
              QStringLiteral("Murmelo"));
    EXPECT_EQ(status(), QStringLiteral("Stopped")) << "the record screen has nothing to play";

    showRecording(QStringLiteral("Kitchen, late at night"));
    const QVariantMap metadata = qdbus_cast<QVariantMap>(
        property(QStringLiteral("org.mpris.MediaPlayer2.Player"), QStringLiteral("Metadata")));
    EXPECT_EQ(metadata.value(QStringLiteral("xesam:title")).toString(),
              QStringLiteral("Kitchen, late at night"));
    EXPECT_NEAR(metadata.value(QStringLiteral("mpris:length")).toLongLong(), 4000000, 50000);
    EXPECT_EQ(status(), QStringLiteral("Paused"));

    EXPECT_EQ(callPlayer(QStringLiteral("Play")).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(status(), QStringLiteral("Playing"));
    EXPECT_TRUE(screen->engine().isPlaying());
    callPlayer(QStringLiteral("Pause"));
    EXPECT_EQ(status(), QStringLiteral("Paused"));
    EXPECT_FALSE(screen->engine().isPlaying());

    const qlonglong before = position();
    callPlayer(QStringLiteral("Seek"), {QVariant::fromValue(qlonglong(1500000))});
    EXPECT_NEAR(position(), before + 1500000, 20000);
    EXPECT_NEAR(screen->engine().currentTime(), (before + 1500000) / 1e6, 0.02);

    const QDBusObjectPath track =
        qdbus_cast<QDBusObjectPath>(metadata.value(QStringLiteral("mpris:trackid")));
    callPlayer(QStringLiteral("SetPosition"),
               {QVariant::fromValue(track), QVariant::fromValue(qlonglong(3000000))});
    EXPECT_NEAR(position(), 3000000, 20000);
    callPlayer(QStringLiteral("SetPosition"), // past the end: ignored
               {QVariant::fromValue(track), QVariant::fromValue(qlonglong(90000000))});
    EXPECT_NEAR(position(), 3000000, 20000);
    callPlayer(QStringLiteral("Seek"), {QVariant::fromValue(qlonglong(-60000000))});
    EXPECT_EQ(position(), 0) << "a seek before the start stops at the start";

    callPlayer(QStringLiteral("PlayPause"));
    EXPECT_EQ(status(), QStringLiteral("Playing"));
    callPlayer(QStringLiteral("Stop"));
    EXPECT_FALSE(screen->engine().isPlaying());
    EXPECT_EQ(position(), 0);
}

TEST_F(Mpris, RateShowsAndSetsTheSpeedWithinItsRangeAndIsAnnounced)
{
    const QString player = QStringLiteral("org.mpris.MediaPlayer2.Player");
    EXPECT_EQ(property(player, QStringLiteral("MinimumRate")).toDouble(), 0.5);
    EXPECT_EQ(property(player, QStringLiteral("MaximumRate")).toDouble(), 2.0);
    showRecording(QStringLiteral("Radio jingle"));
    EXPECT_EQ(property(player, QStringLiteral("Rate")).toDouble(), 1.0);

    PropertiesListener listener;
    const QList<QVariantMap> &announced = listener.announced;
    ASSERT_TRUE(applet.connect(QString(), MprisPlayer::objectPath(),
                               QStringLiteral("org.freedesktop.DBus.Properties"),
                               QStringLiteral("PropertiesChanged"), &listener,
                               SLOT(changed(QString, QVariantMap, QStringList))));
    const auto setRate = [&](double rate) {
        QDBusMessage set = QDBusMessage::createMethodCall(
            MprisPlayer::serviceName(), MprisPlayer::objectPath(),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
        set << player << QStringLiteral("Rate") << QVariant::fromValue(QDBusVariant(rate));
        return call(set).type();
    };
    const auto lastAnnouncedRate = [&] {
        for (auto it = announced.crbegin(); it != announced.crend(); ++it)
            if (it->contains(QStringLiteral("Rate")))
                return it->value(QStringLiteral("Rate")).toDouble();
        return -1.0;
    };

    EXPECT_EQ(setRate(1.5), QDBusMessage::ReplyMessage);
    EXPECT_EQ(screen->view().speedLabel->text(), QStringLiteral("1.5\u00d7"));
    EXPECT_FLOAT_EQ(screen->engine().rate(), 1.5f);
    EXPECT_EQ(property(player, QStringLiteral("Rate")).toDouble(), 1.5);
    EXPECT_TRUE(test::waitUntil([&] { return lastAnnouncedRate() == 1.5; }));

    setRate(7.0); // beyond the range: the fastest there is
    EXPECT_EQ(property(player, QStringLiteral("Rate")).toDouble(), 2.0);
    setRate(0.1);
    EXPECT_EQ(property(player, QStringLiteral("Rate")).toDouble(), 0.5);

    // A change on the screen reaches the desktop too.
    QTest::keyClick(window->windowHandle(), Qt::Key_Up);
    EXPECT_EQ(property(player, QStringLiteral("Rate")).toDouble(), 0.6);
    EXPECT_TRUE(test::waitUntil([&] { return qFuzzyCompare(lastAnnouncedRate(), 0.6); }));

    // Rate 0 pauses, as the interface asks, and leaves the speed alone.
    callPlayer(QStringLiteral("Play"));
    setRate(0.0);
    EXPECT_EQ(status(), QStringLiteral("Paused"));
    EXPECT_EQ(property(player, QStringLiteral("Rate")).toDouble(), 0.6);
}

TEST_F(Mpris, ASecondPlayerCannotTakeTheNameAndSaysSo)
{
    SidebarViewController other;
    MprisPlayer second(&other, bus.connect(QStringLiteral("second")));
    EXPECT_FALSE(second.isRegistered());
    EXPECT_TRUE(player->isRegistered());
}

} // namespace

#include "MprisTest.moc"
