// The playback screen's collaborators on their own: the loop controller, the speed steps and
// the marker editor, without a screen around them.
#include "PlaybackFixture.h"
#include "library/Library.h"
#include "library/Recording.h"
#include "library/StoreContext.h"
#include "screens/playback/LoopController.h"
#include "screens/playback/MarkerEditor.h"
#include "screens/playback/SpeedSteps.h"

#include <QDateTime>
#include <QDir>
#include <gtest/gtest.h>

using namespace murmelo;
using namespace murmelo::test;

namespace {

PlayerFactory noPlayers()
{
    return [](const QString &, QString &error) -> std::unique_ptr<Player> {
        error = QStringLiteral("no audio here");
        return nullptr;
    };
}

} // namespace

TEST(LoopController, TheSwitchBringsBackTheCountLastChosenAndTheRowSaysWhatIsSet)
{
    PlaybackEngine engine(noPlayers());
    LoopController loops(engine);
    EXPECT_EQ(loops.rowTexts().count, "Once");
    EXPECT_EQ(loops.rowTexts().gap, "No gap");
    // Never chosen: the switch turns on forever.
    loops.toggleRepeat();
    EXPECT_EQ(engine.loopSettings().count, LoopSettings::kForever);
    EXPECT_EQ(loops.rowTexts().count, "Forever");
    loops.nextCount(); // forever -> once
    loops.nextCount(); // once -> 3
    EXPECT_EQ(engine.loopSettings().count, 3);
    loops.toggleRepeat();
    EXPECT_EQ(engine.loopSettings().count, 1);
    loops.toggleRepeat();
    EXPECT_EQ(engine.loopSettings().count, 3);
    EXPECT_EQ(loops.rowTexts().count, "3 times");

    loops.nextGap();
    loops.togglePingPong();
    EXPECT_EQ(engine.loopSettings().gap, 0.5);
    EXPECT_TRUE(engine.loopSettings().pingPong);
    EXPECT_EQ(loops.rowTexts().gap, "0.5 s gap");
    loops.togglePingPong();
    EXPECT_FALSE(engine.loopSettings().pingPong);

    // Without audio a marker has nothing to play.
    loops.playMarker(PhraseMarker{0, {100, 200}, QStringLiteral("x")});
    EXPECT_FALSE(engine.markedStretch());
}

TEST(SpeedSteps, EveryStepMovesTheShownTenthByOneAndAWheelStepsPerWholeNotch)
{
    constexpr int kScale = 100;
    EXPECT_EQ(SpeedSteps::stepFrom(100, 1, kScale), 110);
    EXPECT_EQ(SpeedSteps::stepFrom(100, -1, kScale), 90);
    // A drag left 0.74x, shown as 0.7x: one step shows 0.8x or 0.6x.
    EXPECT_EQ(SpeedSteps::stepFrom(74, 1, kScale), 80);
    EXPECT_EQ(SpeedSteps::stepFrom(74, -1, kScale), 60);

    SpeedSteps wheel;
    EXPECT_EQ(wheel.addWheel({0, 60}), 0); // half a notch waits
    EXPECT_EQ(wheel.addWheel({0, 60}), 1);
    EXPECT_EQ(wheel.addWheel({0, -250}), -2);
    EXPECT_EQ(wheel.addWheel({0, -110}), -1); // with the 10 left over
    // Sideways, a turn to the right counts as down.
    EXPECT_EQ(wheel.addWheel({120, 10}), -1);
}

class MarkerEditorTest : public ::testing::Test {
protected:
    static constexpr int kRate = 8000;

    void SetUp() override
    {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        const QString folder =
            scratchRoot() +
            QStringLiteral("/stores/MarkerEditor.%1").arg(QLatin1String(info->name()));
        QDir().mkpath(folder);
        ASSERT_TRUE(store.open(folder + QStringLiteral("/dbv3.sql")));
    }

    qint64 storedRecording()
    {
        const QString forward = Library::temporaryAudioPath();
        const QString reverse = Library::temporaryAudioPath();
        writeRampWav(forward, 10 * kRate, kRate);
        writeRampWav(reverse, 10 * kRate, kRate, true);
        auto recording = Recording::insertInManagedObjectContext(store);
        recording->setName(QStringLiteral("Stored"));
        recording->setDate(QDateTime::currentDateTime());
        recording->setAudioPath(forward, reverse);
        EXPECT_TRUE(store.save());
        return recording->rowID();
    }

    // A new marker over `stretch` whose text is typed and closed (Enter, or Escape).
    QString type(MarkerEditor &editor, FrameRange stretch, const QString &text, qint64 rowID,
                 bool keep = true)
    {
        editor.beginEditing(editor.addDraft(stretch));
        return editor.applyEdit(editor.endEditing(), keep, text, rowID);
    }

    StoreContext store;
};

TEST_F(MarkerEditorTest, MarkersOfAnUnsavedReversalWaitAndGoInWithItsFirstSave)
{
    MarkerEditor editor(store);
    EXPECT_EQ(type(editor, {0, 800}, QStringLiteral("  backwards  "), 0), QString());
    EXPECT_EQ(type(editor, {900, 1000}, QStringLiteral("dropped"), 0, false), QString());
    ASSERT_EQ(editor.markers().size(), 1);
    EXPECT_EQ(editor.markers()[0].text, "backwards");
    EXPECT_EQ(editor.markers()[0].id, 0);
    EXPECT_TRUE(editor.hasUnstored());
    // Escape on a marker that was there keeps its text.
    editor.beginEditing(0);
    editor.applyEdit(editor.endEditing(), false, QStringLiteral("changed"), 0);
    EXPECT_EQ(editor.markers()[0].text, "backwards");

    const qint64 rowID = storedRecording();
    EXPECT_EQ(editor.storeAll(rowID), QString());
    EXPECT_EQ(editor.load(rowID), QString());
    ASSERT_EQ(editor.markers().size(), 1);
    EXPECT_NE(editor.markers()[0].id, 0);
    EXPECT_FALSE(editor.hasUnstored());
    EXPECT_EQ(editor.markers()[0].frames, (FrameRange{0, 800}));
}

TEST_F(MarkerEditorTest, EditsAndRemovalsOfAStoredRecordingReachTheStore)
{
    const qint64 rowID = storedRecording();
    MarkerEditor editor(store);
    ASSERT_EQ(type(editor, {8000, 16000}, QStringLiteral("first"), rowID), QString());
    EXPECT_NE(editor.markers()[0].id, 0);
    editor.beginEditing(0);
    ASSERT_EQ(editor.applyEdit(editor.endEditing(), true, QStringLiteral("second"), rowID),
              QString());

    MarkerEditor reread(store);
    reread.load(rowID);
    ASSERT_EQ(reread.markers().size(), 1);
    EXPECT_EQ(reread.markers()[0].text, "second");

    // Not while a text is open, and not past the end; neither is a failure.
    QString error;
    editor.beginEditing(0);
    EXPECT_FALSE(editor.remove(0, &error));
    EXPECT_TRUE(error.isEmpty());
    editor.endEditing();
    EXPECT_FALSE(editor.remove(5, &error));
    EXPECT_TRUE(error.isEmpty());
    EXPECT_TRUE(editor.remove(0, &error));
    reread.load(rowID);
    EXPECT_TRUE(reread.markers().isEmpty());
}

TEST_F(MarkerEditorTest, MarkingAtThePlayheadTakesTwoDifferentFrames)
{
    MarkerEditor editor(store);
    const ReversalFrames frames{10 * kRate, kRate};
    EXPECT_FALSE(editor.markAt(1.0, frames));
    EXPECT_EQ(editor.pendingStart(), 1.0);
    EXPECT_FALSE(editor.markAt(1.0, frames)); // the same frame: still waiting for an end
    const auto stretch = editor.markAt(2.5, frames);
    ASSERT_TRUE(stretch);
    EXPECT_EQ(*stretch, std::pair(1.0, 2.5));
    EXPECT_FALSE(editor.pendingStart());
    editor.markAt(3.0, frames);
    editor.clear(); // another reversal lets the start go
    EXPECT_FALSE(editor.pendingStart());
}

TEST_F(MarkerEditorTest, RowsAreNumberedLeftToRightInTheDirectionPlayed)
{
    MarkerEditor editor(store);
    const ReversalFrames frames{10 * kRate, kRate};
    // On the reversal: A at 0-1 s (forward 9-10 s), B at 5-6 s (forward 4-5 s).
    type(editor, {0, kRate}, QStringLiteral("A"), 0);
    type(editor, {5 * kRate, 6 * kRate}, QStringLiteral("B"), 0);

    const QList<MarkerEditor::Row> forward = editor.rows(frames, false);
    ASSERT_EQ(forward.size(), 2);
    EXPECT_EQ(forward[0].index, 1);
    EXPECT_DOUBLE_EQ(forward[0].from, 4.0);
    EXPECT_DOUBLE_EQ(forward[1].to, 10.0);
    EXPECT_EQ(editor.number(0), 2);
    EXPECT_EQ(editor.number(1), 1);

    const QList<MarkerEditor::Row> reversed = editor.rows(frames, true);
    EXPECT_EQ(reversed[0].index, 0);
    EXPECT_DOUBLE_EQ(reversed[0].from, 0.0);
    EXPECT_EQ(reversed[1].number, 2);
    EXPECT_EQ(editor.number(0), 1);
}
