#include "SavedRecordingsTestSupport.h"
#include "platform/Localized.h"
#include "screens/playback/RecordingHandOff.h"
#include "support/RecordingAlertPresenter.h"

#include <QScrollBar>

using namespace murmelo;
using namespace murmelo::test;

namespace {

struct Sidebar : SidebarSeam {
    QList<int> selected;
    void setSidebarButtonEnabled(bool) override {}
    void selectIndex(int index) override { selected << index; }
};

struct PlaybackScreen : ViewController, RecordingHandOff {
    std::shared_ptr<Recording> recording;
    void setRecording(std::shared_ptr<Recording> r) override { recording = std::move(r); }
    void share() override { ++shared; }
    int shared = 0;
};

using SavedRecordings = SavedRecordingsFixture;

TEST_F(SavedRecordings, EmptyStoreShowsAnEmptyListAndMarksItsMenuEntry)
{
    Sidebar sidebar;
    screen = std::make_unique<SavedRecordingsViewController>(*context, players.factory());
    screen->setSidebarViewController(&sidebar);
    screen->resize(320, 568);
    screen->show();
    drainEvents();
    EXPECT_EQ(screen->model().rowCount(), 0);
    EXPECT_EQ(screen->tableView()->cellCount(), 0);
    EXPECT_EQ(sidebar.selected, QList<int>{2});
    // Keys on an empty list do nothing, and in particular ask nothing.
    RecordingAlertPresenter alerts;
    key(Qt::Key_Return);
    key(Qt::Key_Space);
    key(Qt::Key_Delete);
    EXPECT_TRUE(alerts.alerts().isEmpty());
}

TEST_F(SavedRecordings, RowsShowTitleAndShortDateNewestFirst)
{
    add(QStringLiteral("older"), 0);
    auto newer = add(QStringLiteral("newer"), 5);
    save();
    showScreen();
    EXPECT_EQ(shownTitles(), (QStringList{"newer", "older"}));
    EXPECT_EQ(cell(0)->dateLabel()->text(),
              QLocale().toString(newer->date().toLocalTime(), QLocale::ShortFormat));
    EXPECT_FALSE(cell(0)->dateLabel()->text().isEmpty());
    EXPECT_EQ(cell(0)->faceColor(), SavedRecordingsViewController::kFaceColor);
    EXPECT_FALSE(cell(0)->editView()->isVisible());
}

TEST_F(SavedRecordings, SavesElsewhereInsertAtTheTopAndKeepTheOpenRowWithItsRecord)
{
    auto original = add(QStringLiteral("Reversal 1"), 0);
    save();
    showScreen();
    tap(cell(0)->infoView());
    ASSERT_TRUE(waitUntil([&] { return settledOpen(cell(0)); }));

    // A crop saves a second record; the cropped one stays.
    add(QStringLiteral("Reversal 1 Cropped"), 10);
    save();
    drainEvents();
    EXPECT_EQ(shownTitles(), (QStringList{"Reversal 1 Cropped", "Reversal 1"}));
    EXPECT_EQ(screen->selectedPath().row(), 1);
    EXPECT_TRUE(cell(1)->isPanelOpen());
    EXPECT_EQ(cell(1)->recording(), original);
    EXPECT_EQ(cell(1)->faceColor(), SavedRecordingsViewController::kSelectedFaceColor);
    EXPECT_EQ(cell(0)->faceColor(), SavedRecordingsViewController::kFaceColor);
    // The new row fades in rather than popping up.
    EXPECT_NE(cell(0)->graphicsEffect(), nullptr);
    EXPECT_TRUE(waitUntil([&] { return cell(0)->graphicsEffect() == nullptr; }));

    // A rename shows at once; a change of date moves the row.
    original->setName(QStringLiteral("Renamed"));
    save();
    drainEvents();
    EXPECT_EQ(shownTitles(), (QStringList{"Reversal 1 Cropped", "Renamed"}));
    original->setDate(original->date().addDays(1));
    save();
    drainEvents();
    EXPECT_EQ(shownTitles(), (QStringList{"Renamed", "Reversal 1 Cropped"}));
}

TEST_F(SavedRecordings, OneBatchOfEveryKindOfChangeLeavesTheRowsInStepWithTheStore)
{
    std::vector<std::shared_ptr<Recording>> records;
    for (int i = 0; i < 6; ++i)
        records.push_back(add(QStringLiteral("r%1").arg(i), i));
    save();
    showScreen();
    ASSERT_EQ(shownTitles(), (QStringList{"r5", "r4", "r3", "r2", "r1", "r0"}));

    records[4]->deleteObject();
    records[1]->deleteObject();
    records[0]->setDate(records[0]->date().addSecs(3600)); // to the top
    records[3]->setName(QStringLiteral("r3*"));
    add(QStringLiteral("n"), 4);
    save();
    drainEvents();
    EXPECT_EQ(shownTitles(), (QStringList{"r0", "r5", "n", "r3*", "r2"}));
    for (int row = 0; row < 5; ++row)
        EXPECT_EQ(cell(row)->recording(), screen->model().recordingAt(row)) << row;
}

TEST_F(SavedRecordings, TappingRowAThenRowBMovesThePanelAndTheColour)
{
    add(QStringLiteral("A"), 5);
    add(QStringLiteral("B"), 0);
    save();
    showScreen();
    RecordingCell *a = cell(0);
    RecordingCell *b = cell(1);

    tap(a->infoView());
    EXPECT_EQ(screen->selectedRecording(), a->recording());
    ASSERT_TRUE(waitUntil([&] { return settledOpen(a); }));
    EXPECT_EQ(a->faceColor(), SavedRecordingsViewController::kSelectedFaceColor);
    EXPECT_EQ(a->infoView()->geometry().right() + 1, a->width() - RecordingCell::kPanelWidth);
    EXPECT_FALSE(a->infoView()->geometry().intersects(a->editView()->geometry()));

    tap(b->infoView());
    EXPECT_TRUE(b->isPanelOpen());
    ASSERT_TRUE(waitUntil([&] { return settledClosed(a) && settledOpen(b); }));
    EXPECT_EQ(a->faceColor(), SavedRecordingsViewController::kFaceColor);
    EXPECT_EQ(b->faceColor(), SavedRecordingsViewController::kSelectedFaceColor);
    EXPECT_EQ(screen->selectedPath().row(), 1);

    // Tapping B again only closes it; it keeps the selected colour.
    tap(b->infoView());
    ASSERT_TRUE(waitUntil([&] { return settledClosed(b); }));
    EXPECT_EQ(b->faceColor(), SavedRecordingsViewController::kSelectedFaceColor);
    EXPECT_FALSE(a->isPanelOpen());
}

TEST_F(SavedRecordings, PlayStopsAndSwitchesWithOnePlayerAtATime)
{
    add(QStringLiteral("A"), 5);
    add(QStringLiteral("B"), 0);
    save();
    showScreen();
    auto a = cell(0)->recording();
    auto b = cell(1)->recording();

    cell(0)->playButton()->click();
    EXPECT_TRUE(a->playingValue());
    EXPECT_TRUE(cell(0)->playButton()->isChecked());
    EXPECT_EQ(players.current->path, a->reverseAudioPath());
    EXPECT_TRUE(players.current->playing);
    EXPECT_EQ(screen->selectedRecording(), a);

    // The same button stops it.
    cell(0)->playButton()->click();
    EXPECT_FALSE(a->playingValue());
    EXPECT_FALSE(cell(0)->playButton()->isChecked());
    EXPECT_EQ(screen->selectedRecording(), nullptr);
    drainEvents();
    EXPECT_EQ(players.live, 0);

    // Another row's play stops the first, whichever row was tapped in between.
    cell(0)->playButton()->click();
    tap(cell(1)->infoView());
    cell(1)->playButton()->click();
    drainEvents();
    EXPECT_FALSE(a->playingValue());
    EXPECT_TRUE(b->playingValue());
    EXPECT_FALSE(cell(0)->playButton()->isChecked());
    EXPECT_TRUE(cell(1)->playButton()->isChecked());
    EXPECT_EQ(players.live, 1);
    EXPECT_EQ(players.current->path, b->reverseAudioPath());

    // The end of the file lets it go.
    players.finishCurrent();
    drainEvents();
    EXPECT_FALSE(b->playingValue());
    EXPECT_FALSE(cell(1)->playButton()->isChecked());
    EXPECT_EQ(screen->selectedRecording(), nullptr);
    EXPECT_EQ(players.live, 0);
    // The mark is transient: the store has nothing new to write for it.
    EXPECT_EQ(players.opened, 3);
}

TEST_F(SavedRecordings, APlayingMarkLeftInTheFileFromAnEarlierRunIsNotShown)
{
    add(QStringLiteral("was playing"), 0)->setPlayingValue(true);
    save();
    showScreen();
    EXPECT_FALSE(cell(0)->playButton()->isChecked());
    cell(0)->playButton()->click();
    EXPECT_TRUE(cell(0)->recording()->playingValue()) << "the first press plays";
}

TEST_F(SavedRecordings, AReversalThatCannotBeOpenedIsReportedAndNeverLooksPlaying)
{
    add(QStringLiteral("files gone"), 0, false);
    save();
    showScreen();
    RecordingAlertPresenter alerts;
    for (int press = 1; press <= 2; ++press) {
        cell(0)->playButton()->click();
        drainEvents();
        ASSERT_EQ(alerts.alerts().size(), press);
        EXPECT_FALSE(alerts.alerts().last().message.isEmpty());
        EXPECT_FALSE(cell(0)->recording()->playingValue());
        EXPECT_FALSE(cell(0)->playButton()->isChecked());
        alerts.press(QStringLiteral("OK"));
    }
    EXPECT_EQ(players.live, 0);

    // A sound failure in the middle of playing ends it the same way.
    add(QStringLiteral("fine"), 5);
    save();
    drainEvents();
    cell(0)->playButton()->click();
    ASSERT_TRUE(cell(0)->recording()->playingValue());
    players.finishCurrent(QStringLiteral("the sound device went away"));
    drainEvents();
    EXPECT_FALSE(cell(0)->recording()->playingValue());
    EXPECT_EQ(alerts.alerts().last().message, QStringLiteral("the sound device went away"));
}

TEST_F(SavedRecordings, DeleteAsksFirstThenRemovesFilesRecordAndRow)
{
    auto only = add(QStringLiteral("only"), 0);
    save();
    const QStringList files = {only->currentAudioPath(), only->reverseAudioPath()};
    only.reset();
    showScreen();
    RecordingAlertPresenter alerts;
    cell(0)->playButton()->click();

    cell(0)->deleteButton()->click();
    ASSERT_EQ(alerts.pendingCount(), 1);
    EXPECT_EQ(alerts.alerts().last().title, QStringLiteral("Delete \"only\"?"));
    EXPECT_EQ(alerts.alerts().last().message, QStringLiteral("Its audio files are removed too."));
    EXPECT_EQ(alerts.alerts().last().buttons(), (QStringList{"No", "Yes"}));
    alerts.press(QStringLiteral("No"));
    drainEvents();
    EXPECT_EQ(screen->model().rowCount(), 1);
    EXPECT_TRUE(QFileInfo::exists(files[0]));

    cell(0)->deleteButton()->click();
    alerts.press(QStringLiteral("Yes"));
    drainEvents();
    EXPECT_EQ(screen->model().rowCount(), 0);
    EXPECT_FALSE(cell(0));
    EXPECT_EQ(players.live, 0) << "a deleted reversal does not go on playing";
    for (const QString &file : files)
        EXPECT_FALSE(QFileInfo::exists(file)) << file.toStdString();
    EXPECT_TRUE(context->fetchObjects(Recording::entityName()).empty());
}

TEST_F(SavedRecordings, EditOpensThePlaybackScreenOnTheRecordAndStopsTheList)
{
    add(QStringLiteral("A"), 5);
    add(QStringLiteral("B"), 0);
    save();
    Storyboard storyboard;
    PlaybackScreen *opened = nullptr;
    storyboard.registerSegue(QStringLiteral("Playback"), [&] {
        opened = new PlaybackScreen;
        return opened;
    });
    showScreen();
    screen->setStoryboard(&storyboard);
    cell(0)->playButton()->click();

    tap(cell(1)->infoView());
    cell(1)->editButton()->click();
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(opened->recording, cell(1)->recording());
    EXPECT_EQ(opened->shared, 0);
    EXPECT_FALSE(cell(0)->recording()->playingValue());
    delete opened;

    // Share opens the same screen with its share panel; the next edit does not share again.
    opened = nullptr;
    cell(0)->shareButton()->click();
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(opened->recording, cell(0)->recording());
    EXPECT_EQ(opened->shared, 1);
    delete opened;
    cell(0)->editButton()->click();
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(opened->shared, 0);
    delete opened;
}

TEST_F(SavedRecordings, KeysChooseOpenEditPlayAndDelete)
{
    add(QStringLiteral("A"), 5);
    add(QStringLiteral("B"), 0);
    save();
    Storyboard storyboard;
    std::unique_ptr<PlaybackScreen> opened;
    storyboard.registerSegue(QStringLiteral("Playback"), [&] {
        opened = std::make_unique<PlaybackScreen>();
        return opened.get();
    });
    showScreen();
    screen->setStoryboard(&storyboard);

    EXPECT_FALSE(screen->selectedPath().isValid()) << "nothing is chosen until a key or tap";
    key(Qt::Key_Down);
    EXPECT_EQ(screen->selectedPath().row(), 0);
    key(Qt::Key_Down);
    key(Qt::Key_Down);
    EXPECT_EQ(screen->selectedPath().row(), 1);
    EXPECT_EQ(cell(1)->faceColor(), SavedRecordingsViewController::kSelectedFaceColor);
    EXPECT_EQ(cell(0)->faceColor(), SavedRecordingsViewController::kFaceColor);

    key(Qt::Key_Return);
    EXPECT_TRUE(cell(1)->isPanelOpen());
    key(Qt::Key_Space);
    EXPECT_TRUE(cell(1)->recording()->playingValue());
    key(Qt::Key_Space);
    EXPECT_FALSE(cell(1)->recording()->playingValue());
    key(Qt::Key_Return);
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->recording, cell(1)->recording());

    // Moving away closes the open panel.
    key(Qt::Key_Up);
    EXPECT_FALSE(cell(1)->isPanelOpen());
    RecordingAlertPresenter alerts;
    key(Qt::Key_Delete);
    ASSERT_EQ(alerts.pendingCount(), 1);
    alerts.press(QStringLiteral("Yes"));
    drainEvents();
    EXPECT_EQ(shownTitles(), QStringList{"B"});
}

TEST_F(SavedRecordings, ScrollingReusesAScreenfulOfRowsAndReusedRowsAreClosed)
{
    for (int i = 0; i < 300; ++i) {
        auto r = Recording::insertInManagedObjectContext(*context);
        r->setName(QStringLiteral("r%1").arg(i));
        r->setDate(QDateTime(QDate(2024, 1, 1), QTime(0, 0)).addSecs(i * 60));
    }
    save();
    showScreen();
    tap(cell(0)->infoView());
    ASSERT_TRUE(waitUntil([&] { return settledOpen(cell(0)); }));
    const int screenful = 568 / RecordingCell::kHeight + 2;
    EXPECT_LE(screen->tableView()->cellCount(), screenful);

    QScrollBar *bar = screen->tableView()->verticalScrollBar();
    for (int value = 0; value <= bar->maximum(); value += 97)
        bar->setValue(value);
    bar->setValue(bar->maximum());
    drainEvents();
    EXPECT_LE(screen->tableView()->cellCount(), screenful);
    ASSERT_TRUE(cell(299));
    EXPECT_EQ(cell(299)->titleLabel()->text(), QStringLiteral("r0"));
    EXPECT_FALSE(cell(299)->isPanelOpen());
    for (int row = 0; row < 300; ++row) {
        if (RecordingCell *c = cell(row)) {
            EXPECT_FALSE(c->isPanelOpen()) << row;
        }
    }

    bar->setValue(0);
    drainEvents();
    EXPECT_EQ(cell(0)->titleLabel()->text(), QStringLiteral("r299"));
    EXPECT_EQ(cell(0)->faceColor(), SavedRecordingsViewController::kSelectedFaceColor);
}

} // namespace

namespace {

TEST_F(SavedRecordings, ScreenshotWithARowOpen)
{
    const QStringList names = {"Stairway, second verse",
                               "Voicemail from Ana",
                               "Reversal 4",
                               "Reversal 3 Cropped",
                               "Reversal 3",
                               "Radio jingle",
                               "Reversal 2",
                               "Kitchen, late at night",
                               "Reversal 1",
                               "First try"};
    for (int i = 0; i < names.size(); ++i)
        add(names[i], -i * 1500);
    save();
    showScreen();
    tap(cell(1)->infoView());
    cell(1)->playButton()->click();
    ASSERT_TRUE(waitUntil([&] { return settledOpen(cell(1)); }));
    const QString path = saveScreenshot(screen.get(), QStringLiteral("saved-recordings"));
    ASSERT_FALSE(path.isEmpty());
    EXPECT_EQ(QImage(path).size(), QSize(320, 568));
}

} // namespace
