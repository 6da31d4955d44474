#include "app/UnsavedWork.h"
#include "AppTestSupport.h"
#include "app/MainLayout.h"
#include "app/SpeechSidebarMenuController.h"
#include "audio/AudioOutputNull.h"
#include "library/Library.h"
#include "library/Recording.h"
#include "library/StoreContext.h"
#include "platform/Localized.h"
#include "platform/SerialQueue.h"
#include "platform/StandardPaths.h"
#include "screens/mail/ReportProblemViewController.h"
#include "screens/playback/PlaybackViewController.h"
#include "screens/record/RecordViewController.h"
#include "screens/shell/SettingsViewController.h"
#include "support/RecordingAlertPresenter.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

// A tone of `seconds` written by sox into a fresh temporary name, as a job would leave it.
QString toneInTemporaryFolder(double seconds)
{
    const QString path = Library::temporaryAudioPath();
    EXPECT_EQ(test::runShell(QStringLiteral("sox -n -r 44100 -c 1 -b 16 '%1' synth %2 sine 440")
                                 .arg(path)
                                 .arg(seconds)),
              0);
    return path;
}

QStringList temporaryFiles()
{
    return QDir(StandardPaths::temporaryDirectory()).entryList(QDir::Files | QDir::Hidden);
}

class ClosingTheWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const QString &name : temporaryFiles())
            QFile::remove(StandardPaths::temporaryDirectory() + name);
        const QString path =
            test::scratchRoot() +
            QStringLiteral("/closing-%1.sql").arg(QUuid::createUuid().toString(QUuid::Id128));
        ASSERT_TRUE(store.open(path));
        window.reset(buildMainWindow({.store = [this] { return &store; }}));
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void TearDown() override
    {
        SerialQueue::waitForAllQueues();
        test::drainEventsAndDeletions();
        window.reset();
        test::drainEventsAndDeletions();
    }

    // An unsaved reversal on the playback screen, as the record screen hands it over.
    PlaybackViewController *showUnsavedReversal()
    {
        auto *playback = new PlaybackViewController(store, [](const QString &path, QString &error) {
            return Player::open(path, error, std::make_unique<NullAudioOutput>());
        });
        forward = toneInTemporaryFolder(1);
        reverse = toneInTemporaryFolder(1);
        playback->setAudioPath(forward);
        playback->setReverseAudioPath(reverse);
        playback->setWaveformImage(QImage(225, 54, QImage::Format_ARGB32_Premultiplied));
        window->setContentViewController(playback);
        test::drainEvents();
        return playback;
    }

    // Closes the way the window manager does: a close request on the window itself.
    void requestClose() { window->windowHandle()->close(); }

    StoreContext store;
    test::ScratchDefaults defaults;
    test::RecordingAlertPresenter alerts;
    std::unique_ptr<SidebarViewController> window;
    QString forward;
    QString reverse;
};

TEST_F(ClosingTheWindow, AnUnsavedReversalIsAskedAboutAndCancelKeepsTheWindowAndTheFiles)
{
    showUnsavedReversal();
    requestClose();
    ASSERT_EQ(alerts.pendingCount(), 1);
    EXPECT_EQ(alerts.alerts().first().title, localized("save_recording"));
    EXPECT_EQ(alerts.alerts().first().buttons(), QStringList({"Cancel", "No", "Yes"}));
    EXPECT_EQ(alerts.alerts().first().defaultButton, 2) << "Enter saves rather than discards";
    EXPECT_TRUE(window->isVisible()) << "nothing closes before the answer";

    ASSERT_TRUE(alerts.press(QStringLiteral("Cancel")));
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(QFile::exists(forward) && QFile::exists(reverse));

    requestClose(); // asked again: the answer was not to close
    EXPECT_EQ(alerts.pendingCount(), 1);
}

TEST_F(ClosingTheWindow, NoClosesAndLeavesNoTemporaryFile)
{
    showUnsavedReversal();
    requestClose();
    ASSERT_TRUE(alerts.press(QStringLiteral("No")));
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(temporaryFiles(), QStringList());
    EXPECT_TRUE(store.fetchObjects(Recording::entityName()).empty());
}

TEST_F(ClosingTheWindow, CtrlQAsksAsTheWindowManagersCloseDoes)
{
    showUnsavedReversal();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window->windowHandle(), Qt::Key_Q, Qt::ControlModifier);
    test::drainEvents();
    ASSERT_EQ(alerts.pendingCount(), 1);
    EXPECT_TRUE(window->isVisible());
    ASSERT_TRUE(alerts.press(QStringLiteral("No")));
    EXPECT_FALSE(window->isVisible());
}

TEST_F(ClosingTheWindow, YesStoresTheReversalBeforeClosing)
{
    showUnsavedReversal();
    requestClose();
    ASSERT_TRUE(alerts.press(QStringLiteral("Yes")));
    EXPECT_FALSE(window->isVisible());
    const StoreObjectList records = store.fetchObjects(Recording::entityName());
    ASSERT_EQ(records.size(), 1u);
    const auto recording = std::static_pointer_cast<Recording>(records.front());
    EXPECT_TRUE(QFile::exists(recording->currentAudioPath()));
    EXPECT_EQ(temporaryFiles(), QStringList()) << "the store adopted both files";
}

TEST_F(ClosingTheWindow, LeavingThroughTheMenuAndAnsweringNoRemovesTheFiles)
{
    showUnsavedReversal();
    window->menuViewController()->choose(SettingsViewController::kMenuPosition);
    ASSERT_TRUE(alerts.press(QStringLiteral("No")));
    test::drainEventsAndDeletions();
    EXPECT_EQ(temporaryFiles(), QStringList());
}

TEST_F(ClosingTheWindow, TheReportShortcutAsksAboutAnUnsavedReversalAndYesKeepsIt)
{
    showUnsavedReversal();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window->windowHandle(), Qt::Key_5, Qt::ControlModifier);
    test::drainEvents();
    EXPECT_TRUE(qobject_cast<ReportProblemViewController *>(window->contentViewController()));
    ASSERT_EQ(alerts.pendingCount(), 1);
    EXPECT_EQ(alerts.alerts().first().title, localized("save_recording"));
    ASSERT_TRUE(alerts.press(QStringLiteral("Yes")));
    test::drainEventsAndDeletions();
    EXPECT_EQ(store.fetchObjects(Recording::entityName()).size(), 1u);

    // Pressed again on the report screen it neither asks nor replaces the screen.
    QWidget *report = window->contentViewController();
    QTest::keyClick(window->windowHandle(), Qt::Key_5, Qt::ControlModifier);
    test::drainEvents();
    EXPECT_EQ(window->contentViewController(), report);
    EXPECT_EQ(alerts.pendingCount(), 0);
}

TEST_F(ClosingTheWindow, ARunningReversalIsCancelledAndItsFilesGoBeforeTheWindowCloses)
{
    auto *record = qobject_cast<RecordViewController *>(window->contentViewController());
    ASSERT_NE(record, nullptr);
    record->reverseAudio(toneInTemporaryFolder(60));
    ASSERT_TRUE(record->hasRunningJob());

    requestClose();
    EXPECT_TRUE(alerts.alerts().isEmpty()) << "a job is not a question";
    ASSERT_TRUE(test::waitUntil([&] { return !window->isVisible(); }));
    EXPECT_FALSE(record->hasRunningJob());
    EXPECT_EQ(temporaryFiles(), QStringList()) << "neither the recording nor a partial reversal";
}

TEST_F(ClosingTheWindow, LoggingOutWithoutAskingKeepsTheReversal)
{
    showUnsavedReversal();
    auto *work = window->findChild<UnsavedWork *>();
    ASSERT_NE(work, nullptr);
    EXPECT_TRUE(work->settleForLogout(false));
    EXPECT_TRUE(alerts.alerts().isEmpty());
    EXPECT_EQ(store.fetchObjects(Recording::entityName()).size(), 1u);
}

TEST_F(ClosingTheWindow, LoggingOutAsksAndCancelStopsTheLogout)
{
    showUnsavedReversal();
    auto *work = window->findChild<UnsavedWork *>();
    QTimer::singleShot(0, [&] { alerts.press(QStringLiteral("Cancel")); });
    EXPECT_FALSE(work->settleForLogout(true));
    EXPECT_TRUE(QFile::exists(forward));
}

TEST_F(ClosingTheWindow, SizeAndPlaceAreRememberedForTheNextRun)
{
    window->resize(900, 700);
    test::drainEvents();
    requestClose();
    EXPECT_FALSE(window->isVisible());

    std::unique_ptr<SidebarViewController> next(buildMainWindow({}));
    next->findChild<UnsavedWork *>()->restoreGeometry();
    EXPECT_EQ(next->size(), QSize(900, 700));
    EXPECT_EQ(next->minimumSize(), QSize(320, 568)) << "the phone layout is the smallest";
}

TEST_F(ClosingTheWindow, TheFirstStartTakesADesktopSizeInTheMiddleOfItsScreen)
{
    test::ScratchDefaults defaults;
    std::unique_ptr<SidebarViewController> first(buildMainWindow({}));
    first->findChild<UnsavedWork *>()->restoreGeometry();
    const QRect available = first->screen()->availableGeometry();
    EXPECT_EQ(first->geometry(), firstStartFrame(available));
    EXPECT_TRUE(available.contains(first->geometry()) || available.width() < 320 ||
                available.height() < 568);
    // A stored place that does not read is no reason for a phone-sized window either.
    Defaults::standard().setValue(UnsavedWork::geometryKey(), QByteArray("not a geometry"));
    std::unique_ptr<SidebarViewController> garbled(buildMainWindow({}));
    garbled->findChild<UnsavedWork *>()->restoreGeometry();
    EXPECT_EQ(garbled->geometry(), firstStartFrame(available));
}

TEST(FirstStart, AboutSeventyPercentOfTheScreenAtMost1280x860AndNeverBelowThePhone)
{
    // A full-HD desktop: 70 % of the width is more than the most, 70 % of the height is not.
    EXPECT_EQ(firstStartFrame(QRect(0, 0, 1920, 1040)), QRect(320, 156, 1280, 728));
    // A large second screen to the right: the most, in its middle.
    EXPECT_EQ(firstStartFrame(QRect(1920, 0, 2560, 1400)), QRect(2560, 270, 1280, 860));
    // A small laptop: never shorter than the phone layout.
    EXPECT_EQ(firstStartFrame(QRect(0, 0, 1366, 738)).size(), QSize(956, 568));
    EXPECT_EQ(firstStartFrame(QRect(0, 0, 400, 500)).size(), QSize(320, 568));
}

} // namespace
