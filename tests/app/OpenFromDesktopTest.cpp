#include "AppTestSupport.h"
#include "app/FileDrops.h"
#include "app/MainLayout.h"
#include "app/MprisPlayer.h"
#include "app/SingleInstance.h"
#include "app/SpeechSidebarMenuController.h"
#include "library/StoreContext.h"
#include "platform/Localized.h"
#include "platform/SerialQueue.h"
#include "screens/library/SavedRecordingsViewController.h"
#include "screens/playback/PlaybackViewController.h"
#include "screens/record/RecordViewController.h"
#include "support/RecordingAlertPresenter.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

QString makeSong(const QString &name, double seconds)
{
    const QString path = test::scratchRoot() + QLatin1Char('/') + name;
    const int status = test::runShell(
        QStringLiteral("sox -n -r 44100 -c 2 -b 16 '%1' synth %2 sine 330").arg(path).arg(seconds));
    return status == 0 ? path : QString();
}

TEST(OpeningArguments, BecomeAbsoluteLocalPathsAndRemoteOnesAreRefused)
{
    EXPECT_EQ(SingleInstance::localPath(QStringLiteral("song.mp3")),
              QDir::current().absoluteFilePath(QStringLiteral("song.mp3")));
    EXPECT_EQ(SingleInstance::localPath(QStringLiteral("/music/../music/a b.flac")),
              QStringLiteral("/music/a b.flac"));
    EXPECT_EQ(SingleInstance::localPath(QStringLiteral("file:///music/a%20b.flac")),
              QStringLiteral("/music/a b.flac"));
    EXPECT_TRUE(SingleInstance::localPath(QStringLiteral("https://example.org/a.mp3")).isEmpty());
    EXPECT_TRUE(SingleInstance::localPath(QString()).isEmpty());
    // A name with "://" inside a folder is still a file name.
    EXPECT_EQ(SingleInstance::localPath(QStringLiteral("/odd/x://y.wav")),
              QStringLiteral("/odd/x:/y.wav"));
}

// The window of this process, serving the session bus as the first Murmelo does.
class OpenFromDesktop : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon did not start";
        const QString path =
            test::scratchRoot() +
            QStringLiteral("/open-%1.sql").arg(QUuid::createUuid().toString(QUuid::Id128));
        ASSERT_TRUE(store.open(path));
        window.reset(buildMainWindow({.store = [this] { return &store; }}));
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        first = std::make_unique<SingleInstance>(bus.connect(QStringLiteral("first")));
        ASSERT_EQ(first->claim(), SingleInstance::Claim::First);
        QObject::connect(
            first.get(), &SingleInstance::openRequested, window.get(),
            [this](const QString &file) { window->findChild<FileDrops *>()->open(file); });
        song = makeSong(QStringLiteral("first song.wav"), 1.0);
        other = makeSong(QStringLiteral("second song.wav"), 2.5);
        ASSERT_FALSE(song.isEmpty());
        ASSERT_FALSE(other.isEmpty());
    }
    void TearDown() override
    {
        SerialQueue::waitForAllQueues();
        first.reset();
        window.reset();
        test::drainEventsAndDeletions();
    }
    PlaybackViewController *playbackOn(double seconds)
    {
        PlaybackViewController *shown = nullptr;
        test::waitUntil([&] {
            shown = qobject_cast<PlaybackViewController *>(window->contentViewController());
            return shown && std::abs(shown->engine().duration() - seconds) < 0.05;
        });
        return shown && std::abs(shown->engine().duration() - seconds) < 0.05 ? shown : nullptr;
    }

    test::PrivateSessionBus bus;
    StoreContext store;
    test::ScratchDefaults defaults;
    test::RecordingAlertPresenter alerts;
    std::unique_ptr<SidebarViewController> window;
    std::unique_ptr<SingleInstance> first;
    QString song;
    QString other;
};

TEST_F(OpenFromDesktop, ALaterStartHandsItsFileOverAndAnUnsavedReversalIsAskedAbout)
{
    window->menuViewController()->choose(SavedRecordingsViewController::kMenuIndex);
    test::drainEventsAndDeletions();

    SingleInstance later(bus.connect(QStringLiteral("later")));
    ASSERT_EQ(later.claim(), SingleInstance::Claim::Taken);
    QString error;
    ASSERT_TRUE(later.handOver(song, &error)) << error.toStdString();
    PlaybackViewController *shown = playbackOn(1.0);
    ASSERT_TRUE(shown) << "the playback screen on the handed file";
    EXPECT_TRUE(shown->imported());
    EXPECT_TRUE(alerts.alerts().isEmpty());

    // The reversal shown was never saved: the next file asks about it first.
    ASSERT_TRUE(later.handOver(other, &error)) << error.toStdString();
    ASSERT_TRUE(playbackOn(2.5));
    ASSERT_EQ(alerts.alerts().size(), 1);
    EXPECT_EQ(alerts.alerts().first().title, localized("save_recording"));

    // Only coming forward, with no file: nothing changes.
    ASSERT_TRUE(later.handOver(QString(), &error)) << error.toStdString();
    EXPECT_TRUE(playbackOn(2.5));
}

TEST_F(OpenFromDesktop, AFileThatArrivesWhileAJobRunsIsNotLostSilently)
{
    window->setSidebarButtonEnabled(false); // what a running job does
    SingleInstance later(bus.connect(QStringLiteral("later")));
    ASSERT_EQ(later.claim(), SingleInstance::Claim::Taken);
    ASSERT_TRUE(later.handOver(song));
    ASSERT_TRUE(test::waitUntil([&] { return !alerts.alerts().isEmpty(); }));
    EXPECT_EQ(alerts.alerts().first().title, QStringLiteral("Murmelo is busy"));
    EXPECT_TRUE(alerts.alerts().first().message.contains(QStringLiteral("first song.wav")));
    EXPECT_TRUE(qobject_cast<RecordViewController *>(window->contentViewController()));
}

TEST_F(OpenFromDesktop, CtrlOOpensThePickerFromAnyScreen)
{
    window->menuViewController()->choose(SavedRecordingsViewController::kMenuIndex);
    test::drainEventsAndDeletions();
    QTest::keyClick(window->windowHandle(), Qt::Key_O, Qt::ControlModifier);
    test::drainEventsAndDeletions();
    auto *record = qobject_cast<RecordViewController *>(window->contentViewController());
    ASSERT_TRUE(record);
    ASSERT_TRUE(record->musicPicker());
    EXPECT_TRUE(record->musicPicker()->isVisible());
    record->musicPicker()->cancelButton()->click();
    test::drainEventsAndDeletions();
    // On the record screen itself too, once the picker is gone.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window->windowHandle(), Qt::Key_O, Qt::ControlModifier);
    test::drainEventsAndDeletions();
    ASSERT_TRUE(record->musicPicker());
    record->musicPicker()->cancelButton()->click();
}

// Two real starts of the application on a session bus of the test's own.
class OpenFromDesktopProcesses : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon did not start";
        // The agreement was accepted in an earlier run.
        QSettings(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/murmelo/murmelo.conf"),
                  QSettings::IniFormat)
            .setValue(QStringLiteral("EULA"), true);
        song = makeSong(QStringLiteral("first song.wav"), 1.0);
        other = makeSong(QStringLiteral("second song.wav"), 2.5);
        ASSERT_FALSE(song.isEmpty());
        ASSERT_FALSE(other.isEmpty());
    }
    void TearDown() override { test::stopProcess(&running); }

    QString binary() const
    {
        return qEnvironmentVariable("MURMELO_BINARY_DIR") + QStringLiteral("/src/app/murmelo");
    }
    // The length of what the running Murmelo's playback screen shows, read as the desktop's
    // sound applet reads it; 0 without a playback screen.
    qlonglong shownLength()
    {
        QDBusMessage get = QDBusMessage::createMethodCall(
            MprisPlayer::serviceName(), MprisPlayer::objectPath(),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get << QStringLiteral("org.mpris.MediaPlayer2.Player") << QStringLiteral("Metadata");
        const QDBusMessage reply = applet.call(get, QDBus::Block, 2000);
        if (reply.arguments().isEmpty())
            return 0;
        const QVariantMap metadata =
            qdbus_cast<QVariantMap>(reply.arguments().first().value<QDBusVariant>().variant());
        return metadata.value(QStringLiteral("mpris:length")).toLongLong();
    }
    bool shows(double seconds)
    {
        return test::waitUntil([&] { return std::abs(shownLength() - seconds * 1e6) < 50000; },
                               std::chrono::seconds(30));
    }
    QString owner()
    {
        return applet.interface()->serviceOwner(SingleInstance::serviceName()).value();
    }

    test::PrivateSessionBus bus;
    QDBusConnection applet = bus.connect(QStringLiteral("applet"));
    QProcess running;
    QString song;
    QString other;
};

TEST_F(OpenFromDesktopProcesses, TheFileOpensInTheWindowAndALaterStartHandsItsFileThere)
{
    running.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    running.setWorkingDirectory(test::scratchRoot());
    // A path relative to the working folder, as a terminal gives it.
    running.start(binary(), {QStringLiteral("first song.wav")});
    ASSERT_TRUE(running.waitForStarted());
    ASSERT_TRUE(shows(1.0)) << "the playback screen on the first file";
    const QString firstOwner = owner();
    ASSERT_FALSE(firstOwner.isEmpty());

    const test::ProcessOutcome later = test::runMurmelo({QUrl::fromLocalFile(other).toString()});
    EXPECT_EQ(later.exitCode, 0) << later.err.toStdString();
    EXPECT_TRUE(shows(2.5)) << "the first window shows the second file";
    EXPECT_EQ(owner(), firstOwner) << "still the first process";
    EXPECT_EQ(running.state(), QProcess::Running);

    // A remote address is refused by the later start itself.
    const test::ProcessOutcome remote = test::runMurmelo({QStringLiteral("https://example.org/a")});
    EXPECT_EQ(remote.exitCode, 2);
    EXPECT_TRUE(remote.err.contains(QStringLiteral("not a file")));
}

} // namespace
