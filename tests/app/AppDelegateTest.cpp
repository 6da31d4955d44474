#include "app/AppDelegate.h"
#include "AppTestSupport.h"
#include "app/SpeechSidebarMenuController.h"
#include "library/Library.h"
#include "library/Recording.h"
#include "library/StoreContext.h"
#include "platform/StandardPaths.h"
#include "platform/TemporaryFiles.h"
#include "screens/library/SavedRecordingsViewController.h"
#include "screens/playback/PlaybackViewController.h"
#include "screens/record/RecordViewController.h"
#include "screens/shell/EulaViewController.h"
#include "screens/shell/SliderAppearance.h"
#include "support/RecordingAlertPresenter.h"
#include "toolkit/reachability/Reachability.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace murmelo;

namespace {

class StartUp : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The mail relay the application watches must stay on this machine.
        qputenv("MURMELO_MAIL_RELAY", "localhost:2525");
        QFile::remove(StoreContext::defaultStorePath());
    }
    void TearDown() override
    {
        qunsetenv("MURMELO_MAIL_RELAY");
        QFile::remove(StoreContext::defaultStorePath());
    }
    int agreementsShown(const AppDelegate &app) const
    {
        return int(app.window()->findChildren<EulaViewController *>().size());
    }
    test::ScratchDefaults defaults;
};

TEST_F(StartUp, FirstLaunchBringsUpServicesAndShowsTheAgreementOnceAfterLaunching)
{
    AppDelegate app;
    app.run();
    EXPECT_EQ(agreementsShown(app), 0) << "the agreement waits for a later turn";
    ASSERT_NE(app.mailReachability(), nullptr);
    EXPECT_EQ(app.mailReachability()->hostName(), "localhost");
    ASSERT_NE(app.storeContext(), nullptr);
    EXPECT_TRUE(app.storeContext()->hasStore());
    EXPECT_FLOAT_EQ(app.window()->revealWidth(), 47.0f);
    EXPECT_TRUE(qApp->styleSheet().contains(sliderStyleSheet()));
    EXPECT_TRUE(qobject_cast<RecordViewController *>(app.window()->contentViewController()));

    test::drainEvents();
    EXPECT_EQ(agreementsShown(app), 1);
    test::drainEvents();
    EXPECT_EQ(agreementsShown(app), 1);
}

TEST_F(StartUp, TemporaryFilesOfEndedRunsAreRemovedAndThoseOfRunningOnesKept)
{
    const pid_t ended = fork();
    if (ended == 0)
        _exit(0);
    waitpid(ended, nullptr, 0);
    const QString temporary = StandardPaths::temporaryDirectory();
    const auto leave = [&](qint64 pid) {
        const QString path = temporary + QStringLiteral("murmelo|%1|%2.wav")
                                             .arg(pid)
                                             .arg(QUuid::createUuid().toString(QUuid::Id128));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        return path;
    };
    const QString stale = leave(ended);
    const QString ofRunning = leave(getppid());
    const QString current = Library::temporaryAudioPath();
    QFile(current).open(QIODevice::WriteOnly);

    AppDelegate app;
    app.run();
    EXPECT_FALSE(QFile::exists(stale)) << "the run that wrote it has ended";
    EXPECT_TRUE(QFile::exists(ofRunning)) << "another Murmelo still uses it";
    EXPECT_TRUE(QFile::exists(current));
    QFile::remove(ofRunning);
    QFile::remove(current);
}

TEST_F(StartUp, AnAcceptedAgreementIsNotShownAgain)
{
    defaults->setBool(QStringLiteral("EULA"), true);
    AppDelegate app;
    app.run();
    test::drainEvents();
    EXPECT_EQ(agreementsShown(app), 0);
    EXPECT_TRUE(qobject_cast<RecordViewController *>(app.window()->contentViewController()));
}

TEST_F(StartUp, TheSavedRecordingsEntryOpensTheListOnTheOpenedStore)
{
    defaults->setBool(QStringLiteral("EULA"), true);
    AppDelegate app;
    app.run();
    SpeechSidebarMenuController *menu = app.window()->menuViewController();
    ASSERT_EQ(menu->entryButtons().size(), 4);
    menu->choose(SavedRecordingsViewController::kMenuIndex);
    test::drainEvents();
    EXPECT_TRUE(
        qobject_cast<SavedRecordingsViewController *>(app.window()->contentViewController()));
    EXPECT_TRUE(menu->entryButtons().at(2)->isChecked());
}

TEST_F(StartUp, TheRecordScreenHandsOverToThePlaybackScreen)
{
    defaults->setBool(QStringLiteral("EULA"), true);
    AppDelegate app;
    app.run();
    ViewController *record = app.window()->contentViewController();
    ASSERT_NE(record->performSegue(QStringLiteral("Playback")), nullptr);
    test::drainEvents();
    EXPECT_TRUE(qobject_cast<PlaybackViewController *>(app.window()->contentViewController()));
}

TEST_F(StartUp, ARelayThatCannotBeNamedLeavesNoMonitor)
{
    qputenv("MURMELO_MAIL_RELAY", "not a host");
    AppDelegate app;
    app.run();
    EXPECT_EQ(app.mailReachability(), nullptr);
    EXPECT_EQ(Reachability::statusOf(app.mailReachability()), NotReachable);
}

TEST_F(StartUp, ADamagedLibraryIsReportedAndLeftAlone)
{
    const QByteArray damaged("this is not a database, but it is somebody's file");
    {
        QFile file(StoreContext::defaultStorePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(damaged);
    }
    test::RecordingAlertPresenter alerts;
    defaults->setBool(QStringLiteral("EULA"), true);
    AppDelegate app;
    app.run();
    ASSERT_EQ(alerts.alerts().size(), 1);
    EXPECT_EQ(alerts.alerts().first().title, "Your library cannot be opened");
    EXPECT_FALSE(alerts.alerts().first().message.isEmpty());
    EXPECT_FALSE(app.storeContext()->hasStore());

    QFile file(StoreContext::defaultStorePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), damaged);
}

} // namespace
