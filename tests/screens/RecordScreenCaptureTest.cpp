// The record screen's own recording and import paths, end to end through the real recorder
// (fed from a file) and the real importer.
#include "AudioFixtures.h"
#include "audio/AudioInput.h"
#include "audio/AudioInputFile.h"
#include "audio/AudioRecorder.h"
#include "platform/SerialQueue.h"
#include "platform/StandardPaths.h"
#include "screens/playback/PlaybackHandOff.h"
#include "screens/record/InputLevelMeter.h"
#include "screens/record/MusicPicker.h"
#include "screens/record/ProgressOverlay.h"
#include "screens/record/RecordViewController.h"
#include "support/RecordingAlertPresenter.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

class Destination : public ViewController, public PlaybackHandOff {
public:
    bool imported = false;
    QString audioPath, reverseAudioPath;
    void setImported(bool value) override { imported = value; }
    void setAudioPath(const QString &path) override { audioPath = path; }
    void setReverseAudioPath(const QString &path) override { reverseAudioPath = path; }
    void setWaveformImage(const QImage &) override {}
};

// A microphone that is not there.
class MissingInput : public AudioInput {
public:
    AudioInputError open() override
    {
        return {AudioInputError::Kind::NoDevice, QStringLiteral("no input device")};
    }
    bool start(AudioInputError &error) override
    {
        error = open();
        return false;
    }
    void pause() override {}
    void close() override {}
};

class RecordScreenCapture : public ::testing::Test {
protected:
    void SetUp() override
    {
        storyboard.registerSegue("Playback", [this] { return destination = new Destination; });
        screen.setStoryboard(&storyboard);
        screen.resize(320, 568);
    }
    void TearDown() override
    {
        SerialQueue::waitForAllQueues();
        test::drainEvents();
        delete destination;
    }

    QString makeSong(const QString &name, const QString &soxArgs)
    {
        const QString path = test::fixturePath(name);
        EXPECT_EQ(test::runShell(QString("sox -n -r 48000 '%1' %2").arg(path, soxArgs)), 0);
        return path;
    }

    bool overlayVisible() const { return screen.progressView()->isVisibleTo(&screen); }

    Storyboard storyboard;
    RecordViewController screen;
    Destination *destination = nullptr;
};

TEST(RecordTimeText, MinutesSecondsAndHundredths)
{
    EXPECT_EQ(recordTimeText(0), "00:00:00");
    EXPECT_EQ(recordTimeText(83.456), "01:23:45");
    EXPECT_EQ(recordTimeText(600), "10:00:00");
}

TEST_F(RecordScreenCapture, SecondTapStopsBlinkingAndReversesTheRecording)
{
    screen.setInputFactory([] { return std::make_unique<AudioInputFile>(test::speechSample()); });
    screen.setImported(true); // an earlier import on this screen
    screen.record();
    ASSERT_NE(screen.recorder(), nullptr);
    const QString recorded = screen.recorder()->url();
    EXPECT_TRUE(recorded.startsWith(StandardPaths::temporaryDirectory()));
    EXPECT_TRUE(screen.recordButton()->isChecked()); // first blink phase

    ASSERT_TRUE(test::waitUntil([&] { return screen.recorder()->currentTime() >= 1.0; }));
    EXPECT_NE(screen.messageLabel()->text(), "00:00:00");
    screen.recordButton()->click();

    EXPECT_EQ(screen.recorder(), nullptr);
    EXPECT_FALSE(screen.recordButton()->isChecked());
    EXPECT_TRUE(overlayVisible());
    ASSERT_TRUE(test::waitUntil([&] { return destination != nullptr; }));
    EXPECT_EQ(destination->audioPath, recorded);
    EXPECT_FALSE(destination->imported) << "a recording is not an import";
    const test::PcmAudio audio = test::readWav(recorded);
    EXPECT_EQ(audio.channels, 1);
    EXPECT_EQ(audio.sampleRate, 44100);
    EXPECT_GE(audio.frames(), 44100);
    // The button stays still after the recording.
    test::waitUntil([] { return false; }, std::chrono::milliseconds(600));
    EXPECT_FALSE(screen.recordButton()->isChecked());
}

TEST_F(RecordScreenCapture, InterruptionResumesOnlyWhenAskedAndAnEncodingErrorReturnsToIdle)
{
    test::RecordingAlertPresenter alerts;
    screen.setInputFactory([] { return std::make_unique<AudioInputFile>(test::speechSample()); });
    screen.record();
    AudioRecorder *recorder = screen.recorder();
    ASSERT_NE(recorder, nullptr);

    recorder->pause(); // what an interruption does to the recorder
    Q_EMIT recorder->audioRecorderEndInterruption(recorder, 0);
    EXPECT_FALSE(recorder->isRecording()) << "without the resume option it stays paused";
    Q_EMIT recorder->audioRecorderEndInterruption(recorder,
                                                  AudioRecorder::InterruptionOptionShouldResume);
    EXPECT_TRUE(recorder->isRecording());
    EXPECT_EQ(screen.recorder(), recorder) << "the same recording goes on";

    Q_EMIT recorder->audioRecorderEncodeErrorDidOccur(recorder, QStringLiteral("disk full"));
    EXPECT_EQ(screen.recorder(), nullptr);
    EXPECT_FALSE(screen.recordButton()->isChecked());
    ASSERT_EQ(alerts.alerts().size(), 1);
    EXPECT_TRUE(alerts.alerts()[0].message.contains("disk full"));
    test::drainEvents();
    EXPECT_EQ(destination, nullptr) << "a failed recording is not reversed";
}

TEST_F(RecordScreenCapture, ScreenshotWhileRecording)
{
    screen.setInputFactory([] { return std::make_unique<AudioInputFile>(test::speechSample()); });
    screen.show();
    screen.record();
    ASSERT_TRUE(test::waitUntil([&] { return screen.recorder()->currentTime() >= 1.3; }));
    screen.updateRecordTime();
    const QString path = test::saveScreenshot(&screen, "record-recording");
    ASSERT_FALSE(path.isEmpty());
    EXPECT_EQ(QImage(path).size(), QSize(320, 568));
    EXPECT_EQ(screen.recordButton()->text(), "Stop");
    screen.record();
}

TEST_F(RecordScreenCapture, NoMicrophoneShowsThePermissionAlertAndLeavesTheButtonStill)
{
    test::RecordingAlertPresenter alerts;
    const QStringList before = test::temporaryFolderEntries();
    screen.setInputFactory([] { return std::make_unique<MissingInput>(); });
    screen.record();
    ASSERT_EQ(alerts.alerts().size(), 1);
    EXPECT_EQ(alerts.alerts()[0].title, "App does not have permission to use the microphone");
    EXPECT_EQ(alerts.alerts()[0].message, "Please enable in Privacy settings to use this app");
    EXPECT_EQ(alerts.alerts()[0].buttons(), QStringList{"OK"});
    EXPECT_EQ(screen.recorder(), nullptr);
    EXPECT_FALSE(screen.recordButton()->isChecked());
    EXPECT_EQ(test::temporaryFolderEntries(), before);
}

TEST_F(RecordScreenCapture, UnplayableInputFileIsReportedAsSuchNotAsAPermissionProblem)
{
    test::RecordingAlertPresenter alerts;
    const QString notes = test::writeBytes("notes.txt", "not audio at all\n");
    screen.setInputFactory([notes] { return std::make_unique<AudioInputFile>(notes); });
    screen.record();
    ASSERT_EQ(alerts.alerts().size(), 1);
    EXPECT_EQ(alerts.alerts()[0].title, "Couldn't Start Recording");
    EXPECT_TRUE(alerts.alerts()[0].message.contains("notes.txt"));
    EXPECT_EQ(screen.recorder(), nullptr);
}

TEST_F(RecordScreenCapture, ImportedSongIsConvertedThenReversedAsAnImport)
{
    const QString song = makeSong("song.flac", "synth 3 sine 440 channels 2");
    screen.exportFromLibrary(song);
    EXPECT_EQ(screen.progressLabel()->text(), QString::fromUtf8("Importing from library\u2026"));
    ASSERT_TRUE(test::waitUntil([&] { return destination != nullptr; }, std::chrono::seconds(30)));
    EXPECT_TRUE(destination->imported);
    EXPECT_NE(destination->audioPath, song);
    const test::PcmAudio audio = test::readWav(destination->audioPath);
    EXPECT_EQ(audio.sampleRate, 44100);
    EXPECT_EQ(audio.channels, 2);
    EXPECT_EQ(audio.bits, 16);
    EXPECT_NEAR(audio.frames(), 3 * 44100, 3 * 441);
    EXPECT_TRUE(QFile::exists(song)) << "the user's own file is never touched";
}

TEST_F(RecordScreenCapture, UnreadableSongShowsTheProtectedMediaAlertWithoutAnOverlay)
{
    test::RecordingAlertPresenter alerts;
    const QString bogus = test::writeBytes("bogus.mp3", QByteArray(4096, '\x5a'));
    const QStringList before = test::temporaryFolderEntries();
    screen.exportFromLibrary(bogus);
    ASSERT_EQ(alerts.alerts().size(), 1);
    EXPECT_EQ(alerts.alerts()[0].title, "Error accessing media library");
    EXPECT_EQ(alerts.alerts()[0].message, "Unable to access DRM protected media.");
    EXPECT_FALSE(overlayVisible());
    EXPECT_EQ(test::temporaryFolderEntries(), before);
}

TEST_F(RecordScreenCapture, CancelDuringImportRemovesThePartialFileAndStartsNoReversal)
{
    const QString song = makeSong("long.flac", "synth 120 sine 440 channels 2");
    const QStringList before = test::temporaryFolderEntries();
    screen.exportFromLibrary(song);
    ASSERT_TRUE(overlayVisible());
    screen.progressView()->cancelButton()->click();
    EXPECT_FALSE(overlayVisible());
    SerialQueue::waitForAllQueues();
    test::drainEvents();
    EXPECT_EQ(destination, nullptr);
    EXPECT_EQ(test::temporaryFolderEntries(), before);
}

TEST_F(RecordScreenCapture, CancellingThePickerChangesNothing)
{
    test::RecordingAlertPresenter alerts;
    screen.importFromLibrary();
    ASSERT_NE(screen.musicPicker(), nullptr);
    screen.musicPicker()->cancelButton()->click();
    test::drainEvents();
    EXPECT_TRUE(alerts.alerts().isEmpty());
    EXPECT_FALSE(overlayVisible());
    EXPECT_EQ(destination, nullptr);
}

} // namespace

TEST_F(RecordScreenCapture, TheLevelMeterFollowsTheInputWhileRecording)
{
    screen.show();
    EXPECT_FALSE(screen.levelMeter()->isVisible()) << "no meter before a recording";
    screen.setInputFactory([] { return std::make_unique<AudioInputFile>(test::speechSample()); });
    screen.record();
    ASSERT_NE(screen.recorder(), nullptr);
    EXPECT_TRUE(screen.levelMeter()->isVisible());
    ASSERT_TRUE(test::waitUntil([&] { return screen.levelMeter()->level() > 0.05f; }))
        << "speech moves the meter";
    EXPECT_GT(screen.levelMeter()->fill(), 0.3);
    screen.record();
    EXPECT_FALSE(screen.levelMeter()->isVisible());
}

TEST(InputLevel, PeakOfTheLatestSamplesOnADecibelBar)
{
    const QString tone = test::fixturePath(QStringLiteral("half-scale.wav"));
    ASSERT_EQ(
        test::runShell(
            QStringLiteral("sox -n -r 44100 -c 1 -b 16 '%1' synth 0.5 sine 440 vol 0.5").arg(tone)),
        0);
    EXPECT_NEAR(recentPeakLevel(tone), 0.5, 0.01);
    const QString empty = test::fixturePath(QStringLiteral("header-only.wav"));
    ASSERT_EQ(test::runShell(QStringLiteral("head -c 44 '%1' > '%2'").arg(tone, empty)), 0);
    EXPECT_EQ(recentPeakLevel(empty), 0.0f);
    EXPECT_EQ(recentPeakLevel(test::fixturePath(QStringLiteral("missing.wav"))), 0.0f);

    InputLevelMeter meter;
    meter.setLevel(0.5f); // -6 dB
    EXPECT_NEAR(meter.fill(), 0.9, 0.01);
    meter.setLevel(0.001f); // -60 dB and below: dark
    EXPECT_NEAR(meter.fill(), 0.0, 0.01);
    meter.setLevel(0);
    EXPECT_EQ(meter.fill(), 0.0);
}
