#include "AppTestSupport.h"
#include "app/MainLayout.h"
#include "app/SpeechSidebarMenuController.h"
#include "library/StoreContext.h"
#include "platform/SerialQueue.h"
#include "screens/library/SavedRecordingsViewController.h"
#include "screens/playback/PlaybackViewController.h"
#include "screens/record/RecordViewController.h"
#include "support/RecordingAlertPresenter.h"

#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <QWindow>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

class DroppingAFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString path =
            test::scratchRoot() +
            QStringLiteral("/drops-%1.sql").arg(QUuid::createUuid().toString(QUuid::Id128));
        ASSERT_TRUE(store.open(path));
        window.reset(buildMainWindow({.store = [this] { return &store; }}));
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        song = test::scratchRoot() + QStringLiteral("/dropped song.wav");
        ASSERT_EQ(test::runShell(
                      QStringLiteral("sox -n -r 44100 -c 2 -b 16 '%1' synth 1 sine 330").arg(song)),
                  0);
    }
    void TearDown() override
    {
        SerialQueue::waitForAllQueues();
        window.reset();
        test::drainEventsAndDeletions();
    }

    // Drags the file over the window and lets go at `point`, as the window system delivers it.
    bool dropAt(const QPoint &point, const QList<QUrl> &urls)
    {
        QMimeData data;
        data.setUrls(urls);
        QWindow *handle = window->windowHandle();
        QDragEnterEvent enter(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(handle, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent drop(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(handle, &drop);
        return drop.isAccepted();
    }

    StoreContext store;
    test::ScratchDefaults defaults;
    test::RecordingAlertPresenter alerts;
    std::unique_ptr<SidebarViewController> window;
    QString song;
};

TEST_F(DroppingAFile, OnTheLibraryItIsImportedAndReversed)
{
    window->menuViewController()->choose(SavedRecordingsViewController::kMenuIndex);
    test::drainEventsAndDeletions();
    ASSERT_TRUE(qobject_cast<SavedRecordingsViewController *>(window->contentViewController()));

    ASSERT_TRUE(dropAt(window->rect().center(), {QUrl::fromLocalFile(song)}));
    ASSERT_TRUE(test::waitUntil([&] {
        return qobject_cast<PlaybackViewController *>(window->contentViewController()) != nullptr;
    }));
    auto *playback = qobject_cast<PlaybackViewController *>(window->contentViewController());
    EXPECT_TRUE(playback->imported());
    EXPECT_TRUE(alerts.alerts().isEmpty());
}

TEST_F(DroppingAFile, SeveralFilesOrARemoteOneAreRefused)
{
    window->menuViewController()->choose(SavedRecordingsViewController::kMenuIndex);
    test::drainEventsAndDeletions();
    EXPECT_FALSE(
        dropAt(window->rect().center(), {QUrl::fromLocalFile(song), QUrl::fromLocalFile(song)}));
    EXPECT_FALSE(dropAt(window->rect().center(), {QUrl(QStringLiteral("https://example.org/a"))}));
    EXPECT_TRUE(qobject_cast<SavedRecordingsViewController *>(window->contentViewController()));
}

} // namespace
