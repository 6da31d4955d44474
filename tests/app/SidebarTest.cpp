#include "AppTestSupport.h"
#include "app/MainLayout.h"
#include "app/ReplaceSidebarContainerSegue.h"
#include "app/SidebarViewController.h"
#include "app/SpeechSidebarMenuController.h"
#include "library/Recording.h"
#include "library/StoreContext.h"
#include "platform/Localized.h"
#include "screens/playback/UnsavedReversal.h"
#include "screens/record/RecordViewController.h"
#include "screens/shell/SettingsViewController.h"
#include "support/RecordingAlertPresenter.h"
#include "support/TestSupport.h"

#include <QAbstractButton>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

class SidebarTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window.reset(buildMainWindow({}));
        window->setRevealWidth(47);
        window->show();
        test::drainEvents();
    }

    QList<bool> menuMarks() const
    {
        QList<bool> marks;
        for (QAbstractButton *button : window->menuViewController()->entryButtons())
            marks << button->isChecked();
        return marks;
    }

    std::unique_ptr<SidebarViewController> window;
};

TEST_F(SidebarTest, OpeningLeavesTheRevealStripOfContentVisible)
{
    ASSERT_EQ(window->width(), 320);
    EXPECT_FALSE(window->sidebarVisible());
    window->showSidebar();
    EXPECT_TRUE(window->sidebarVisible());
    EXPECT_TRUE(window->isSliding()) << "the content moves, it does not jump";
    ASSERT_TRUE(test::waitForSlide(*window));
    EXPECT_EQ(window->contentContainerView()->x(), 273);
    EXPECT_EQ(window->contentContainerView()->geometry().center().y(), window->rect().center().y());
    EXPECT_TRUE(window->sidebarButton()->isChecked());

    window->showSidebar(); // already open: nothing moves
    EXPECT_FALSE(window->isSliding());
    EXPECT_EQ(window->contentContainerView()->x(), 273);
}

TEST_F(SidebarTest, ToggleTwiceReturnsTheContentAndHidesTheMenuAfterTheMotion)
{
    window->toggleSidebar();
    ASSERT_TRUE(test::waitForSlide(*window));
    window->toggleSidebar();
    EXPECT_FALSE(window->sidebarButton()->isChecked());
    EXPECT_TRUE(window->sidebarVisible()) << "the menu stays visible while the content returns";
    ASSERT_TRUE(test::waitForSlide(*window));
    EXPECT_EQ(window->contentContainerView()->x(), 0);
    EXPECT_FALSE(window->sidebarVisible());

    window->hideSidebar(); // already closed
    EXPECT_FALSE(window->isSliding());
}

TEST_F(SidebarTest, ReplacingTheContentReleasesTheOldScreen)
{
    QPointer<ViewController> first = window->contentViewController();
    ASSERT_TRUE(qobject_cast<RecordViewController *>(first));
    auto *settings = new SettingsViewController;
    window->setContentViewController(settings);
    window->setContentViewController(settings); // the same screen again changes nothing
    test::drainEventsAndDeletions();
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(window->contentViewController(), settings);
    EXPECT_TRUE(window->contentContainerView()->isAncestorOf(settings));
    EXPECT_TRUE(settings->isVisible());
}

TEST_F(SidebarTest, ScreensFindTheirContainer)
{
    EXPECT_EQ(window->sidebarViewController(), window.get());
    EXPECT_EQ(sidebarOf(window->contentViewController()), window.get());
    EXPECT_EQ(window->menuViewController()->sidebarParentViewController(), window.get());
    SettingsViewController loose;
    EXPECT_EQ(loose.sidebarViewController(), nullptr);
    EXPECT_EQ(sidebarOf(&loose), nullptr);
}

TEST_F(SidebarTest, MarkingEntriesByPosition)
{
    const int count = int(window->menuViewController()->entryButtons().size());
    window->selectIndex(3);
    EXPECT_TRUE(menuMarks().last());
    EXPECT_EQ(menuMarks().count(true), 1);
    window->selectIndex(0);
    EXPECT_TRUE(menuMarks().first());
    window->selectIndex(99);
    EXPECT_EQ(menuMarks(), QList<bool>(count, false));
}

TEST_F(SidebarTest, ChoosingAnEntryShowsItsScreenMarksItAndClosesTheMenu)
{
    window->showSidebar();
    ASSERT_TRUE(test::waitForSlide(*window));
    window->menuViewController()->choose(SettingsViewController::kMenuPosition);
    test::drainEvents();
    EXPECT_TRUE(qobject_cast<SettingsViewController *>(window->contentViewController()));
    EXPECT_TRUE(menuMarks().last());
    ASSERT_TRUE(test::waitForSlide(*window));
    EXPECT_FALSE(window->sidebarVisible());

    // Back on the record screen, which marks position 1 itself when it appears.
    window->menuViewController()->choose(1);
    test::drainEvents();
    EXPECT_TRUE(qobject_cast<RecordViewController *>(window->contentViewController()));
    EXPECT_EQ(menuMarks().count(true), 1);
    EXPECT_TRUE(window->menuViewController()->entryButtons().at(1)->isChecked());
}

TEST_F(SidebarTest, KeyboardShortcutsToggleTheMenuAndChooseEntries)
{
    const auto actionFor = [&](const QKeySequence &keys) -> QAction * {
        for (QAction *action : window->actions()) {
            if (action->shortcuts().contains(keys))
                return action;
        }
        return nullptr;
    };
    QAction *toggle = actionFor(QKeySequence(Qt::Key_F9));
    ASSERT_NE(toggle, nullptr);
    EXPECT_EQ(toggle, actionFor(QKeySequence(Qt::CTRL | Qt::Key_M)));
    toggle->trigger();
    ASSERT_TRUE(test::waitForSlide(*window));
    EXPECT_TRUE(window->sidebarVisible());

    QAction *settings = actionFor(QKeySequence(Qt::CTRL | Qt::Key_4));
    ASSERT_NE(settings, nullptr);
    settings->trigger();
    test::drainEvents();
    EXPECT_TRUE(qobject_cast<SettingsViewController *>(window->contentViewController()));
    ASSERT_TRUE(test::waitForSlide(*window));
    EXPECT_FALSE(window->sidebarVisible());
}

TEST_F(SidebarTest, ADisabledMenuButtonAlsoLocksTheEntries)
{
    window->setSidebarButtonEnabled(false);
    EXPECT_FALSE(window->sidebarButton()->isEnabled());
    for (QAbstractButton *button : window->menuViewController()->entryButtons())
        EXPECT_FALSE(button->isEnabled());
    for (QAction *action : window->menuViewController()->shortcutActions())
        EXPECT_FALSE(action->isEnabled());
    window->setSidebarButtonEnabled(true);
    EXPECT_TRUE(window->sidebarButton()->isEnabled());
}

// Stands in for the playback screen: its "save" stores a real record.
class FakePlayback : public ViewController, public UnsavedReversal {
public:
    FakePlayback(StoreContext &store, bool saved, bool imported)
        : store_(store), saved_(saved), imported_(imported)
    {
    }
    bool hasUnsavedReversal() const override { return !saved_; }
    void saveReversal() override
    {
        auto recording = Recording::insertInManagedObjectContext(store_);
        recording->setName(QStringLiteral("Reversal"));
        recording->setIsImportedValue(imported_);
        saved_ = store_.save();
    }

private:
    StoreContext &store_;
    bool saved_;
    bool imported_;
};

class LeavingAReversal : public SidebarTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override
    {
        SidebarTest::SetUp();
        const QString path =
            test::scratchRoot() +
            QStringLiteral("/leaving-%1.sql").arg(QUuid::createUuid().toString(QUuid::Id128));
        ASSERT_TRUE(store.open(path));
    }
    StoreContext store;
    test::RecordingAlertPresenter alerts;
};

TEST_P(LeavingAReversal, UnsavedAsksWithTheNewScreenInPlaceAndYesStoresIt)
{
    const bool imported = GetParam();
    QPointer<FakePlayback> left = new FakePlayback(store, false, imported);
    window->setContentViewController(left);
    window->menuViewController()->choose(SettingsViewController::kMenuPosition);
    test::drainEventsAndDeletions();

    ASSERT_EQ(alerts.pendingCount(), 1);
    const Alert &question = alerts.alerts().first();
    EXPECT_EQ(question.title, localized("save_recording"));
    EXPECT_TRUE(question.message.isEmpty());
    EXPECT_EQ(question.buttons(), QStringList({"No", "Yes"}));
    EXPECT_TRUE(qobject_cast<SettingsViewController *>(window->contentViewController()));
    ASSERT_FALSE(left.isNull()) << "the screen left must live until the question is answered";

    ASSERT_TRUE(alerts.press(QStringLiteral("Yes")));
    const StoreObjectList records = store.fetchObjects(Recording::entityName());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(std::static_pointer_cast<Recording>(records.front())->isImportedValue(), imported);
    test::drainEventsAndDeletions();
    EXPECT_TRUE(left.isNull());
}

TEST_P(LeavingAReversal, NoLetsItGo)
{
    QPointer<FakePlayback> left = new FakePlayback(store, false, GetParam());
    window->setContentViewController(left);
    window->menuViewController()->choose(1);
    ASSERT_TRUE(alerts.press(QStringLiteral("No")));
    test::drainEventsAndDeletions();
    EXPECT_TRUE(left.isNull());
    EXPECT_TRUE(store.fetchObjects(Recording::entityName()).empty());
}

TEST_P(LeavingAReversal, SavedAsksNothing)
{
    QPointer<FakePlayback> left = new FakePlayback(store, true, GetParam());
    window->setContentViewController(left);
    window->menuViewController()->choose(SettingsViewController::kMenuPosition);
    test::drainEventsAndDeletions();
    EXPECT_TRUE(alerts.alerts().isEmpty());
    EXPECT_TRUE(left.isNull());
}

INSTANTIATE_TEST_SUITE_P(RecordedOrImported, LeavingAReversal, ::testing::Bool());

TEST_F(SidebarTest, MailProgressStrip)
{
    QList<int> cancels;
    window->setCancelMailHandler([&](int mail) { cancels << mail; });
    EXPECT_FALSE(window->progressView()->isVisible());

    window->startMailProgress(QStringLiteral("Sending reversal…"));
    EXPECT_TRUE(window->progressView()->isVisible());
    EXPECT_EQ(window->mailCancelButton()->text(), "Cancel");
    EXPECT_EQ(window->progressIndicator()->maximum(), 0) << "turning";
    EXPECT_EQ(window->progressLabel()->text(), "Sending reversal…");

    window->updateMailMessage(QStringLiteral("\tSending\tdata\t 40%"));
    EXPECT_EQ(window->progressLabel()->text(), "Sendingdata 40%");

    window->mailDone(QStringLiteral("Sent"));
    EXPECT_EQ(window->mailCancelButton()->text(), "Done");
    EXPECT_NE(window->progressIndicator()->maximum(), 0);
    EXPECT_EQ(window->progressLabel()->text(), "Sent");

    // Done ends a mail that has ended: nothing is cancelled.
    window->mailCancelButton()->click();
    EXPECT_FALSE(window->progressView()->isVisible());
    EXPECT_TRUE(cancels.isEmpty());

    window->startMailProgress(QStringLiteral("Sending Bug Report…"), 9);
    window->mailCancelButton()->click();
    EXPECT_FALSE(window->progressView()->isVisible());
    EXPECT_EQ(cancels, QList<int>{9});
}

TEST_F(SidebarTest, EachMailKeepsItsOwnStripAndDoneCancelsNoOther)
{
    QList<int> cancels;
    window->setCancelMailHandler([&](int mail) { cancels << mail; });
    const auto clickStripButton = [&] {
        QPushButton *button = window->mailCancelButton();
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                          button->mapTo(window.get(), button->rect().center()));
        test::drainEvents();
    };
    window->startMailProgress(QStringLiteral("Sending Reversal…"), 1);
    window->startMailProgress(QStringLiteral("Sending Bug Report…"), 2);
    EXPECT_EQ(window->mailStrips(), 2);
    // The later mail ends first: its outcome comes forward and waits for its Done.
    window->mailDone(QStringLiteral("Report sent."), 2);
    EXPECT_EQ(window->progressLabel()->text(), "Report sent.");
    EXPECT_EQ(window->mailCancelButton()->text(), "Done");
    clickStripButton();
    EXPECT_TRUE(cancels.isEmpty()) << "Done on one mail stops no other";
    // The mail still sending keeps its strip.
    EXPECT_TRUE(window->progressView()->isVisible());
    EXPECT_EQ(window->progressLabel()->text(), "Sending Reversal…");
    EXPECT_EQ(window->mailCancelButton()->text(), "Cancel");
    EXPECT_EQ(window->progressIndicator()->maximum(), 0);

    window->startMailProgress(QStringLiteral("Sending Reversal…"), 3);
    clickStripButton(); // Cancel on the oldest still sending
    EXPECT_EQ(cancels, QList<int>{1});
    EXPECT_TRUE(window->progressView()->isVisible());
    window->mailDone(QStringLiteral("Reversal Sent."), 3);
    clickStripButton();
    EXPECT_EQ(cancels, QList<int>{1});
    EXPECT_FALSE(window->progressView()->isVisible());
    EXPECT_EQ(window->mailStrips(), 0);
}

} // namespace
