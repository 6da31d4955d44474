#include "screens/record/RecordViewController.h"
#include "platform/SerialQueue.h"
#include "platform/StandardPaths.h"
#include "screens/playback/PlaybackHandOff.h"
#include "screens/record/ProgressOverlay.h"
#include "support/RecordingAlertPresenter.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

// Stands where the playback screen will stand and keeps what it was handed, in order.
class HandOffRecorder : public ViewController, public PlaybackHandOff {
public:
    QStringList calls;
    bool imported = false;
    QString audioPath, reverseAudioPath;
    QImage image;
    void setImported(bool value) override { calls << "imported", imported = value; }
    void setAudioPath(const QString &path) override { calls << "audioPath", audioPath = path; }
    void setReverseAudioPath(const QString &path) override
    {
        calls << "reverseAudioPath", reverseAudioPath = path;
    }
    void setWaveformImage(const QImage &value) override { calls << "waveformImage", image = value; }
};

class SidebarRecorder : public SidebarSeam {
public:
    QList<bool> buttonStates;
    QList<int> selected;
    void setSidebarButtonEnabled(bool enabled) override { buttonStates << enabled; }
    void selectIndex(int index) override { selected << index; }
};

class RecordScreen : public ::testing::Test {
protected:
    void SetUp() override
    {
        storyboard.registerSegue("Playback", [this] {
            destination = new HandOffRecorder;
            return destination;
        });
        screen.setStoryboard(&storyboard);
        screen.setSidebarViewController(&sidebar);
        screen.resize(320, 568);
    }

    void TearDown() override
    {
        SerialQueue::waitForAllQueues();
        test::drainEvents();
        delete destination;
    }

    // A speech-like test file in the temporary folder, as a recording would be.
    QString makeSource(const QString &soxArgs = "synth 3 sine 300-900 channels 1")
    {
        const QString path =
            StandardPaths::temporaryDirectory() + QString("source-%1.wav").arg(++made);
        EXPECT_EQ(test::runShell(QString("sox -n -r 44100 -b 16 '%1' %2").arg(path, soxArgs)), 0);
        return path;
    }

    bool overlayVisible() const { return screen.progressView()->isVisibleTo(&screen); }

    Storyboard storyboard;
    SidebarRecorder sidebar;
    RecordViewController screen;
    HandOffRecorder *destination = nullptr;
    int made = 0;
};

TEST_F(RecordScreen, FinishedJobHandsTheFourValuesToPlaybackInOrder)
{
    const QString source = makeSource();
    screen.setImported(true);
    screen.reverseAudio(source);

    EXPECT_TRUE(overlayVisible());
    EXPECT_EQ(screen.progressLabel()->text(), QString::fromUtf8("Reversing audio\u2026"));
    EXPECT_EQ(sidebar.buttonStates, QList<bool>{false});

    ASSERT_TRUE(test::waitUntil([&] { return destination != nullptr; }));
    EXPECT_EQ(destination->calls,
              QStringList({"imported", "audioPath", "reverseAudioPath", "waveformImage"}));
    EXPECT_TRUE(destination->imported);
    EXPECT_EQ(destination->audioPath, source);
    EXPECT_TRUE(destination->reverseAudioPath.startsWith(StandardPaths::temporaryDirectory()));
    EXPECT_TRUE(QFile::exists(destination->reverseAudioPath));
    EXPECT_EQ(destination->image.size(), QSize(225, 54));
    EXPECT_FALSE(overlayVisible());
    EXPECT_FALSE(screen.hasCancelAction());
    EXPECT_EQ(sidebar.buttonStates, QList<bool>({false, true}));
}

TEST_F(RecordScreen, TwoJobsInARowWriteTwoDifferentReversals)
{
    screen.reverseAudio(makeSource());
    ASSERT_TRUE(test::waitUntil([&] { return destination != nullptr; }));
    const QString first = destination->reverseAudioPath;
    delete destination;
    destination = nullptr;

    screen.reverseAudio(makeSource());
    ASSERT_TRUE(test::waitUntil([&] { return destination != nullptr; }));
    EXPECT_NE(destination->reverseAudioPath, first);
    EXPECT_TRUE(QFile::exists(first));
}

TEST_F(RecordScreen, CancelDuringTheFlowRemovesBothFilesAndStaysOnTheScreen)
{
    const QString source = makeSource("synth 600 sine 440 channels 2");
    const QStringList before = QDir(StandardPaths::temporaryDirectory()).entryList(QDir::Files);
    screen.reverseAudio(source);
    // Waits for the flow to be under way (the job reports progress), then cancels.
    ASSERT_TRUE(test::waitUntil(
        [&] { return screen.progressView()->findChild<QProgressBar *>()->maximum() > 0; }));
    screen.progressView()->cancelButton()->click();

    EXPECT_FALSE(overlayVisible()); // at once, before the job has stopped
    EXPECT_EQ(sidebar.buttonStates.last(), true);
    SerialQueue::waitForAllQueues();
    test::drainEvents();

    EXPECT_EQ(destination, nullptr);
    EXPECT_FALSE(QFile::exists(source));
    QStringList after = QDir(StandardPaths::temporaryDirectory()).entryList(QDir::Files);
    QStringList expected = before;
    expected.removeAll(QFileInfo(source).fileName());
    EXPECT_EQ(after, expected) << "the partial reversal must be removed";
}

TEST_F(RecordScreen, CancelAfterTheFlowButBeforeTheCompletionStillDiscardsEverything)
{
    const QString source = makeSource();
    const QStringList before = QDir(StandardPaths::temporaryDirectory()).entryList(QDir::Files);
    screen.reverseAudio(source);
    // The job finishes and posts its completion, which has not run yet.
    SerialQueue::waitForAllQueues();
    screen.cancelAction();
    test::drainEvents();

    EXPECT_EQ(destination, nullptr);
    EXPECT_FALSE(QFile::exists(source));
    QStringList expected = before;
    expected.removeAll(QFileInfo(source).fileName());
    EXPECT_EQ(QDir(StandardPaths::temporaryDirectory()).entryList(QDir::Files), expected);
    EXPECT_TRUE(screen.waveformImage().isNull());
}

TEST_F(RecordScreen, UnreadableSourceTellsTheUserAndDoesNotMoveOn)
{
    test::RecordingAlertPresenter alerts;
    const QString source = StandardPaths::temporaryDirectory() + "notes.wav";
    {
        QFile text(source);
        ASSERT_TRUE(text.open(QIODevice::WriteOnly));
        text.write("these are my notes, not audio\n");
    }
    const QStringList before = QDir(StandardPaths::temporaryDirectory()).entryList(QDir::Files);
    screen.reverseAudio(source);
    ASSERT_TRUE(test::waitUntil([&] { return !alerts.alerts().isEmpty(); }));

    EXPECT_FALSE(alerts.alerts().first().message.isEmpty());
    EXPECT_EQ(destination, nullptr);
    EXPECT_FALSE(overlayVisible());
    EXPECT_EQ(sidebar.buttonStates.last(), true);
    EXPECT_EQ(QDir(StandardPaths::temporaryDirectory()).entryList(QDir::Files), before);
}

TEST_F(RecordScreen, AppearingSelectsMenuEntryOne)
{
    screen.show();
    EXPECT_EQ(sidebar.selected, QList<int>{1});
}

} // namespace
