#include "PlaybackFixture.h"

#include "platform/Defaults.h"
#include "platform/Localized.h"
#include "platform/SerialQueue.h"
#include "platform/StandardPaths.h"
#include "screens/playback/SlidePanel.h"
#include "toolkit/RangeSlider.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPropertyAnimation>
#include <QSlider>
#include <QTextEdit>
#include <QToolButton>

using namespace murmelo;
using namespace murmelo::test;

namespace {

class SaveCropDelete : public PlaybackFixture {
protected:
    qint64 counter() { return Defaults::standard().integerForKey(QStringLiteral("defaultName")); }

    // Cuts [min, max] and waits for the clip queue's answer.
    void cropTo(float min, float max)
    {
        if (!screen->isCropMode())
            screen->crop();
        screen->rangeSlider()->setMin(min);
        screen->rangeSlider()->setMax(max);
        screen->saveCrop();
        SerialQueue::waitForAllQueues();
        drainEvents();
    }

    static QStringList temporaryFiles()
    {
        return QDir(StandardPaths::temporaryDirectory()).entryList(QDir::Files);
    }
};

TEST_F(SaveCropDelete, UntitledSavesCountUpAndNeverReuseANumber)
{
    openFresh();
    screen->saveReversal();
    auto first = screen->recording();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->name(), "Reversal 1");
    EXPECT_EQ(counter(), 1);
    EXPECT_EQ(screen->view().editTitleLabel->text(), "Reversal 1");
    EXPECT_TRUE(screen->view().findReversalView->isHidden());
    EXPECT_FALSE(screen->view().editReversalView->isHidden());
    EXPECT_FALSE(screen->hasUnsavedReversal());
    // The record owns its files now, under permanent names.
    EXPECT_EQ(screen->audioPath(), first->currentAudioPath());
    EXPECT_TRUE(first->currentAudioPath().startsWith(StandardPaths::applicationSupportDirectory()));
    EXPECT_TRUE(QFile::exists(first->currentAudioPath()));
    EXPECT_TRUE(QFile::exists(first->reverseAudioPath()));
    ASSERT_EQ(storedRecordings().size(), 1u);
    EXPECT_EQ(storedRecordings().front()->name(), "Reversal 1");
    EXPECT_FLOAT_EQ(storedRecordings().front()->speedValue(), 1.0f);

    first->deleteObject();
    ASSERT_TRUE(store->save());
    screen = makeScreen();
    openFresh();
    screen->saveReversal();
    EXPECT_EQ(screen->recording()->name(), "Reversal 2");
    EXPECT_EQ(counter(), 2);
}

TEST_F(SaveCropDelete, NamedRecordingKeepsItsNameAndLeavesTheCounter)
{
    openRecording(makeRecording(QStringLiteral("Song")));
    screen->save();
    screen->saveReversal();
    EXPECT_EQ(screen->recording()->name(), "Song");
    EXPECT_FALSE(Defaults::standard().hasKey(QStringLiteral("defaultName")));
}

TEST_F(SaveCropDelete, TypedTitleAndMessageAreStoredButThePromptNever)
{
    openFresh();
    screen->save();
    EXPECT_EQ(screen->view().messageTextView->toPlainText(),
              PlaybackViewController::messagePrompt());
    screen->saveReversal();
    EXPECT_TRUE(screen->recording()->message().isEmpty());
    EXPECT_TRUE(screen->view().messageLabel->text().isEmpty());
    EXPECT_TRUE(screen->view().editMessageButton->isHidden());

    screen->save();
    QTextEdit *message = screen->view().messageTextView;
    screen->textInputDidBeginEditing(message);
    EXPECT_TRUE(message->toPlainText().isEmpty()); // the prompt makes way for typing
    message->setPlainText(QStringLiteral("play it backwards"));
    screen->textInputDidEndEditing(message);
    QLineEdit *title = screen->view().titleTextField;
    screen->textInputDidBeginEditing(title);
    EXPECT_EQ(title->text(), "Reversal 1"); // a stored title is not a prompt
    title->setText(QStringLiteral("Backwards"));
    screen->textInputDidEndEditing(title);
    screen->saveReversal();

    ASSERT_EQ(storedRecordings().size(), 1u);
    EXPECT_EQ(storedRecordings().front()->name(), "Backwards");
    EXPECT_EQ(storedRecordings().front()->message(), "play it backwards");
    EXPECT_EQ(screen->view().messageLabel->text(), "play it backwards");
    EXPECT_FALSE(screen->view().editMessageButton->isHidden());
    EXPECT_EQ(screen->view().editTitleLabel->text(), "Backwards");
}

TEST_F(SaveCropDelete, SavePanelSlidesUpToTheBottomEdgeAndAwayAgain)
{
    openFresh();
    QWidget *panel = screen->view().saveReversalView;
    screen->save();
    EXPECT_FALSE(panel->isHidden());
    EXPECT_EQ(panel->y(), 568);
    QPropertyAnimation *slide = screen->saveReversalSlide().animation();
    EXPECT_EQ(slide->duration(), 250);
    slide->setCurrentTime(250);
    EXPECT_EQ(panel->y() + panel->height(), 568);

    screen->closeSaveReversal();
    slide->setCurrentTime(250);
    EXPECT_EQ(panel->y(), 568);
    EXPECT_TRUE(panel->isHidden());
    EXPECT_TRUE(storedRecordings().empty());
}

TEST_F(SaveCropDelete, FailedStoreSaveIsReported)
{
    store = std::make_unique<StoreContext>(); // never opened: every save fails
    screen = makeScreen();
    openFresh();
    screen->saveReversal();
    ASSERT_EQ(alerts.alerts().size(), 1);
    EXPECT_EQ(alerts.alerts().front().title, "Couldn't Save the Reversal");
}

TEST_F(SaveCropDelete, SaveOnAFullDiskSaysTheDiskIsFull)
{
    openFresh();
    // A message longer than the room left in the file, which may not grow by a page: SQLite
    // answers as it does on a full disk.
    screen->save();
    QTextEdit *message = screen->view().messageTextView;
    screen->textInputDidBeginEditing(message);
    message->setPlainText(QString(20000, u'm'));
    screen->textInputDidEndEditing(message);
    SqliteDatabase &db = store->database();
    db.exec(QStringLiteral("PRAGMA max_page_count=%1")
                .arg(db.scalar(QStringLiteral("PRAGMA page_count")).toLongLong()));
    screen->saveReversal();
    ASSERT_EQ(alerts.alerts().size(), 1);
    EXPECT_EQ(alerts.alerts().front().title, "Couldn't Save the Reversal");
    EXPECT_EQ(alerts.alerts().front().message.toStdString(),
              "Changes could not be saved: the disk is full");
}

TEST_F(SaveCropDelete, CropIsRefusedForAnUnsavedReversal)
{
    openFresh();
    screen->crop();
    ASSERT_EQ(alerts.alerts().size(), 1);
    EXPECT_EQ(alerts.alerts().front().title, localized("save_before_crop"));
    EXPECT_EQ(alerts.alerts().front().buttons(), QStringList{"OK"});
    EXPECT_FALSE(screen->isCropMode());
}

TEST_F(SaveCropDelete, CropModeShowsTheRangeInsteadOfTheScrubber)
{
    openRecording(makeRecording(QStringLiteral("Song")));
    const RangeSlider *range = screen->rangeSlider();
    ASSERT_TRUE(range);
    EXPECT_EQ(range->controlFrame().size(), QSize(234, 16));
    EXPECT_EQ(QRectF(range->controlFrame()).center(), QPointF(160, 91));
    screen->crop();
    EXPECT_TRUE(screen->view().cropButton->isChecked());
    EXPECT_FALSE(screen->view().saveCropView->isHidden());
    EXPECT_TRUE(screen->view().scrubberSlider->isHidden());
    EXPECT_EQ(screen->view().cropStartLabel->text(), "0:00");
    EXPECT_EQ(screen->view().cropEndLabel->text(), "0:10");
    screen->rangeSlider()->setMin(0.25f);
    screen->cropRangeUpdated();
    EXPECT_EQ(screen->view().cropStartLabel->text(), "0:02");
    // A screen reader hears the kept stretch in times, on the time line the handles count on.
    QAccessibleInterface *reader = QAccessible::queryAccessibleInterface(screen->rangeSlider());
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->text(QAccessible::Value), "from 0:02 to 0:10, forward times");

    screen->crop();
    EXPECT_FALSE(screen->isCropMode());
    EXPECT_FALSE(screen->view().scrubberSlider->isHidden());
}

TEST_F(SaveCropDelete, RangeKeepingNearlyEverythingIsNoCrop)
{
    openRecording(makeRecording(QStringLiteral("Song")));
    cropTo(0.005f, 0.995f);
    EXPECT_EQ(storedRecordings().size(), 1u);
    EXPECT_TRUE(screen->view().waitView->isHidden());
    EXPECT_TRUE(screen->isCropMode());

    cropTo(0.005f, 0.98f);
    EXPECT_EQ(storedRecordings().size(), 2u);
}

TEST_F(SaveCropDelete, CropMakesANewRecordAndLeavesTheOldOne)
{
    auto song = makeRecording(QStringLiteral("Song"), QStringLiteral("hidden words"));
    song->setSpeedValue(0.8f);
    song->setIsImportedValue(false);
    ASSERT_TRUE(store->save());
    const QString oldForward = song->currentAudioPath();
    const QStringList temporaryBefore = temporaryFiles();
    const auto oldFrames = readFrames(oldForward);
    openRecording(song);
    screen->save(); // a title typed earlier is not the crop's
    screen->view().titleTextField->setText(QStringLiteral("Typed"));
    screen->textInputDidEndEditing(screen->view().titleTextField);
    screen->closeSaveReversal();

    cropTo(0.25f, 0.75f);
    auto cropped = screen->recording();
    ASSERT_NE(cropped, song);
    EXPECT_EQ(cropped->name(), "Song Cropped");
    EXPECT_EQ(cropped->message(), "hidden words");
    EXPECT_FLOAT_EQ(cropped->speedValue(), 0.8f);
    EXPECT_EQ(screen->view().editTitleLabel->text(), "Song Cropped");
    EXPECT_FALSE(screen->isCropMode());
    EXPECT_FALSE(screen->view().cropButton->isChecked());
    EXPECT_EQ(screen->rangeSlider()->min(), 0);
    EXPECT_EQ(screen->rangeSlider()->max(), 1);
    EXPECT_TRUE(screen->view().waitView->isHidden());
    EXPECT_EQ(sidebar.buttonStates, (QList<bool>{false, true}));
    EXPECT_EQ(screen->view().audioDurationLabel->text(), "0:05");
    EXPECT_NEAR(screen->engine().duration(), 5.0, 1e-3);
    EXPECT_FALSE(cropped->waveformImage().isNull());

    const auto records = storedRecordings();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0]->name(), "Song");
    EXPECT_EQ(records[0]->currentAudioPath(), oldForward);
    EXPECT_EQ(readFrames(oldForward), oldFrames);
    EXPECT_EQ(records[1]->name(), "Song Cropped");
    EXPECT_TRUE(
        cropped->currentAudioPath().startsWith(StandardPaths::applicationSupportDirectory()));
    EXPECT_EQ(temporaryFiles(), temporaryBefore);

    // The same stretch of audio, counted from each file's own start.
    const qint64 frames = 10 * kRate;
    const auto forward = readFrames(cropped->currentAudioPath());
    const auto reverse = readFrames(cropped->reverseAudioPath());
    ASSERT_EQ(forward.size(), size_t(frames / 2));
    EXPECT_EQ(forward.front(), qint16(frames / 4));
    EXPECT_TRUE(std::equal(forward.begin(), forward.end(), reverse.rbegin(), reverse.rend()));
}

TEST_F(SaveCropDelete, ReversalIsCutFromTheMirroredRange)
{
    openRecording(makeRecording(QStringLiteral("Song")));
    screen->crop();
    screen->view().croppedNameTextField->setText(QStringLiteral("The bit"));
    cropTo(0.1f, 0.4f);
    auto cropped = screen->recording();
    EXPECT_EQ(cropped->name(), "The bit");
    EXPECT_TRUE(screen->view().croppedNameTextField->text().isEmpty());

    // Frame positions in single precision, as the cut computes them.
    const qint64 frames = 10 * kRate;
    const float length = float(frames);
    const float reverseFrom = 1 - 0.4f, reverseTo = 1 - 0.1f;
    const auto reverseStart = qint64(reverseFrom * length);
    const auto reverseCount = qint64((reverseTo - reverseFrom) * length);
    const auto reverse = readFrames(cropped->reverseAudioPath());
    ASSERT_EQ(qint64(reverse.size()), reverseCount);
    // Reversal frame k holds forward frame (frames - 1 - k); its cut starts at 0.6.
    EXPECT_EQ(reverse.front(), qint16(frames - 1 - reverseStart));
    EXPECT_EQ(reverse.back(), qint16(frames - reverseStart - reverseCount));
    const auto forward = readFrames(cropped->currentAudioPath());
    ASSERT_EQ(qint64(forward.size()), qint64((0.4f - 0.1f) * length));
    EXPECT_EQ(forward.front(), qint16(qint64(0.1f * length)));
}

TEST_F(SaveCropDelete, UnreadableAudioGivesAnAlertAndNoRecord)
{
    auto song = makeRecording(QStringLiteral("Song"));
    openRecording(song);
    QFile damaged(song->reverseAudioPath());
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
    damaged.write("not audio at all");
    damaged.close();
    const QStringList temporaryBefore = temporaryFiles();

    cropTo(0.2f, 0.6f);
    ASSERT_EQ(alerts.alerts().size(), 1);
    EXPECT_EQ(alerts.alerts().front().title, "Couldn't Crop the Reversal");
    EXPECT_FALSE(alerts.alerts().front().message.isEmpty());
    EXPECT_EQ(storedRecordings().size(), 1u);
    EXPECT_EQ(screen->recording(), song);
    EXPECT_TRUE(screen->view().waitView->isHidden());
    EXPECT_EQ(temporaryFiles(), temporaryBefore); // the forward cut went with the failure
    EXPECT_EQ(sidebar.buttonStates.last(), true);
}

TEST_F(SaveCropDelete, DeleteAsksThenRemovesRecordAndFilesAndGoesToRecord)
{
    auto song = makeRecording(QStringLiteral("Song"));
    const QString forward = song->currentAudioPath();
    const QString reverse = song->reverseAudioPath();
    openRecording(song);
    screen->pausePlay();

    screen->deleteReversal();
    ASSERT_EQ(alerts.pendingCount(), 1);
    EXPECT_EQ(alerts.alerts().back().title, QStringLiteral("Delete \"Song\"?"));
    EXPECT_EQ(alerts.alerts().back().buttons(), (QStringList{"No", "Yes"}));
    EXPECT_EQ(alerts.alerts().back().defaultButton, 0) << "Enter keeps the reversal";
    ASSERT_TRUE(alerts.press(QStringLiteral("No")));
    EXPECT_EQ(storedRecordings().size(), 1u);
    EXPECT_TRUE(performed.isEmpty());

    screen->deleteReversal();
    ASSERT_TRUE(alerts.press(QStringLiteral("Yes")));
    EXPECT_TRUE(storedRecordings().empty());
    EXPECT_FALSE(QFile::exists(forward));
    EXPECT_FALSE(QFile::exists(reverse));
    // Nor under the hidden names deletions wait under.
    for (const QString &left :
         QDir(StandardPaths::applicationSupportDirectory()).entryList(QDir::Files | QDir::Hidden)) {
        EXPECT_FALSE(forward.contains(left.mid(1).section(QLatin1Char('.'), 0, 0)));
        EXPECT_FALSE(reverse.contains(left.mid(1).section(QLatin1Char('.'), 0, 0)));
    }
    EXPECT_EQ(performed, QStringList{"Record"});
    EXPECT_FALSE(screen->engine().isPlaying());
    EXPECT_FALSE(screen->hasUnsavedReversal());
}

} // namespace
