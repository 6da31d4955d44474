#include "AppTestSupport.h"
#include "app/MainLayout.h"
#include "app/SpeechSidebarMenuController.h"
#include "audio/AudioOutputNull.h"
#include "library/Library.h"
#include "library/Recording.h"
#include "library/StoreContext.h"
#include "platform/SerialQueue.h"
#include "screens/library/SavedRecordingsViewController.h"
#include "screens/mail/ReportProblemViewController.h"
#include "screens/playback/PlaybackViewController.h"
#include "screens/record/RecordViewController.h"
#include "screens/shell/GettingStartedViewController.h"
#include "screens/shell/SettingsViewController.h"
#include "support/RecordingAlertPresenter.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <QWindow>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

class MenuKeyboard : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString path =
            test::scratchRoot() +
            QStringLiteral("/menu-%1.sql").arg(QUuid::createUuid().toString(QUuid::Id128));
        ASSERT_TRUE(store.open(path));
        window.reset(buildMainWindow({.store = [this] { return &store; }}));
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void TearDown() override
    {
        SerialQueue::waitForAllQueues();
        window.reset();
        test::drainEventsAndDeletions();
    }

    // A saved reversal on the playback screen, which takes Up and Down as speed steps.
    PlaybackViewController *showPlayback()
    {
        const QString forward = Library::temporaryAudioPath();
        const QString reverse = Library::temporaryAudioPath();
        for (const QString &path : {forward, reverse})
            EXPECT_EQ(
                test::runShell(
                    QStringLiteral("sox -n -r 44100 -c 1 -b 16 '%1' synth 1 sine 440").arg(path)),
                0);
        auto recording = Recording::insertInManagedObjectContext(store);
        recording->setName(QStringLiteral("Menu keys"));
        recording->setAudioPath(forward, reverse);
        EXPECT_TRUE(store.save());
        auto *playback = new PlaybackViewController(store, [](const QString &p, QString &error) {
            return Player::open(p, error, std::make_unique<NullAudioOutput>());
        });
        playback->setRecording(recording);
        window->setContentViewController(playback);
        test::drainEvents();
        playback->setFocus();
        return playback;
    }

    void key(Qt::Key key) { QTest::keyClick(window->windowHandle(), key); }
    void openMenu()
    {
        key(Qt::Key_F9);
        ASSERT_TRUE(test::waitForSlide(*window));
        ASSERT_TRUE(window->sidebarVisible());
    }

    StoreContext store;
    test::ScratchDefaults defaults;
    test::RecordingAlertPresenter alerts;
    std::unique_ptr<SidebarViewController> window;
};

TEST_F(MenuKeyboard, ArrowsAndEscapeStayInTheMenuAndLeaveTheSpeedAlone)
{
    PlaybackViewController *playback = showPlayback();
    key(Qt::Key_Up); // the screen itself takes Up while the menu is closed
    const float speed = playback->engine().rate();
    ASSERT_NE(speed, 1.0f);

    openMenu();
    key(Qt::Key_Up);
    key(Qt::Key_Down);
    key(Qt::Key_Down);
    key(Qt::Key_Escape);
    EXPECT_FALSE(window->sidebarButton()->isChecked());
    ASSERT_TRUE(test::waitForSlide(*window));
    EXPECT_FALSE(window->sidebarVisible()) << "Escape closes the menu";
    EXPECT_EQ(playback->engine().rate(), speed) << "no key reached the screen behind the menu";
    EXPECT_EQ(window->contentViewController(), playback);

    key(Qt::Key_Down); // the screen has the keyboard back
    EXPECT_LT(playback->engine().rate(), speed);
}

TEST_F(MenuKeyboard, DownAndEnterChooseTheNextEntry)
{
    openMenu(); // the record screen's entry is marked and has the keyboard
    QAbstractButton *marked = window->menuViewController()->entryButtons().at(1);
    EXPECT_TRUE(marked->hasFocus());
    key(Qt::Key_Up);
    key(Qt::Key_Return);
    ASSERT_TRUE(test::waitForSlide(*window));
    EXPECT_FALSE(window->sidebarVisible());
    EXPECT_TRUE(qobject_cast<GettingStartedViewController *>(window->contentViewController()));
}

TEST_F(MenuKeyboard, OnAWideWindowTheMenuKeepsAPhoneWidthAndTheContentStaysInSight)
{
    window->resize(1024, 768);
    test::drainEvents();
    openMenu();
    EXPECT_EQ(window->menuViewController()->width(), SidebarViewController::kWideMenuWidth);
    EXPECT_EQ(window->contentContainerView()->x(), SidebarViewController::kWideMenuWidth);
}

TEST_F(MenuKeyboard, MenuShortcutsWorkWhileTheMailStripShows)
{
    showPlayback();
    window->startMailProgress(QStringLiteral("Sending\u2026"));
    QTest::keyClick(window->windowHandle(), Qt::Key_3, Qt::ControlModifier);
    test::drainEventsAndDeletions();
    EXPECT_TRUE(qobject_cast<SavedRecordingsViewController *>(window->contentViewController()));

    window->mailDone(QStringLiteral("Reversal Sent."));
    // The strip's Done button may hold the keyboard: the shortcuts still reach the menu.
    window->mailCancelButton()->setFocus();
    for (const auto &[key, isThere] :
         std::initializer_list<std::pair<Qt::Key, bool (*)(QObject *)>>{
             {Qt::Key_1,
              [](QObject *o) {
                  return qobject_cast<GettingStartedViewController *>(o) != nullptr;
              }},
             {Qt::Key_2,
              [](QObject *o) { return qobject_cast<RecordViewController *>(o) != nullptr; }},
             {Qt::Key_5,
              [](QObject *o) { return qobject_cast<ReportProblemViewController *>(o) != nullptr; }},
             {Qt::Key_4,
              [](QObject *o) { return qobject_cast<SettingsViewController *>(o) != nullptr; }}}) {
        QTest::keyClick(window->windowHandle(), key, Qt::ControlModifier);
        test::drainEventsAndDeletions();
        EXPECT_TRUE(isThere(window->contentViewController())) << int(key);
        EXPECT_TRUE(window->mailCancelButton()->isVisible()) << "the strip stays until Done";
    }
}

} // namespace
