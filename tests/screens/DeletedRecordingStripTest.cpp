// A recording deleted from the list comes back whole through the strip's Undo, clicked on the
// window or by Ctrl+Z, and its files go for good once the strip has gone.
#include "SavedRecordingsTestSupport.h"
#include "library/PhraseMarkerStore.h"
#include "library/RecordingHold.h"
#include "support/RecordingAlertPresenter.h"
#include "support/StoreSnapshot.h"

#include <QPushButton>
#include <QTest>
#include <QWindow>

using namespace murmelo;
using namespace murmelo::test;

namespace {

class DeletedStrip : public SavedRecordingsFixture {
protected:
    void SetUp() override
    {
        SavedRecordingsFixture::SetUp();
        add(QStringLiteral("older"), 0);
        auto newest = add(QStringLiteral("Newest"), 5);
        save();
        ASSERT_TRUE(PhraseMarkerStore(*context).addMarker(newest->rowID(),
                                                          {0, {10, 20}, QStringLiteral("said")}));
        showScreen();
        screen->activateWindow();
        ASSERT_TRUE(waitUntil([&] { return screen->isActiveWindow(); }));
        before = snapshot();
    }
    StoreSnapshot snapshot() const { return librarySnapshot(storePath); }
    void deleteNewest()
    {
        cell(0)->deleteButton()->click();
        ASSERT_TRUE(alerts.press(QStringLiteral("Yes")));
        drainEvents();
    }
    static QStringList held()
    {
        return QDir(RecordingHold::holdingDirectory())
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    RecordingAlertPresenter alerts;
    StoreSnapshot before;
};

TEST_F(DeletedStrip, UndoClickedOnTheWindowBringsTheRecordingBackExactly)
{
    deleteNewest();
    DeletedRecordingStrip *strip = screen->deletedStrip();
    ASSERT_TRUE(strip->isVisible());
    EXPECT_EQ(strip->label()->text(), QStringLiteral("Deleted \"Newest\""));
    EXPECT_EQ(shownTitles(), QStringList{QStringLiteral("older")});
    EXPECT_EQ(snapshot().files.size(), 2);

    QPushButton *undo = strip->undoButton();
    QTest::mouseClick(screen->windowHandle(), Qt::LeftButton, {},
                      undo->mapTo(screen.get(), undo->rect().center()));
    drainEvents();
    EXPECT_FALSE(strip->isVisible());
    EXPECT_EQ(shownTitles(), (QStringList{QStringLiteral("Newest"), QStringLiteral("older")}));
    EXPECT_EQ(snapshot(), before);
    EXPECT_TRUE(held().isEmpty());
}

TEST_F(DeletedStrip, CtrlZWhileTheStripShowsUndoes)
{
    deleteNewest();
    screen->tableView()->setFocus();
    QTest::keyClick(screen->windowHandle(), Qt::Key_Z, Qt::ControlModifier);
    drainEvents();
    EXPECT_EQ(snapshot(), before);
    // Gone with the strip: another Ctrl+Z deletes nothing and brings nothing.
    QTest::keyClick(screen->windowHandle(), Qt::Key_Z, Qt::ControlModifier);
    drainEvents();
    EXPECT_EQ(snapshot(), before);
}

TEST_F(DeletedStrip, FilesGoWhenTheStripGoesOrTheApplicationQuits)
{
    deleteNewest();
    const StoreSnapshot deleted = snapshot();
    EXPECT_FALSE(held().isEmpty());
    screen->deletedStrip()->setShownFor(std::chrono::milliseconds(50));
    ASSERT_TRUE(waitUntil([&] { return !screen->deletedStrip()->isVisible(); }));
    EXPECT_TRUE(held().isEmpty());
    EXPECT_EQ(snapshot(), deleted);

    // Quitting lets a recording still held go.
    screen->deletedStrip()->setShownFor(DeletedRecordingStrip::kShownFor);
    cell(0)->deleteButton()->click();
    ASSERT_TRUE(alerts.press(QStringLiteral("Yes")));
    drainEvents();
    EXPECT_EQ(held().size(), 1);
    QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit");
    EXPECT_TRUE(held().isEmpty());
    EXPECT_FALSE(screen->deletedStrip()->isVisible());
    EXPECT_TRUE(snapshot().files.isEmpty());
}

} // namespace
