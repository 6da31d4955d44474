#include "AudioFixtures.h"
#include "support/FileSizeLimit.h"

#include "audio/AudioInputDevice.h"
#include "audio/AudioInputFile.h"
#include "audio/AudioRecorder.h"
#include "audio/WavFile.h"
#include "platform/TemporaryFiles.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMediaDevices>
#include <QProcess>
#include <QtEndian>
#include <cmath>
#include <gtest/gtest.h>

namespace murmelo {
namespace {

constexpr int rate = 44100;

// Waits while the event loop runs, so timers and inputs keep going.
void runFor(int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    test::waitUntil([&] { return clock.elapsed() >= milliseconds; },
                    std::chrono::milliseconds(milliseconds + 1000));
}

WavLayout checkedRecording(const QString &path)
{
    WavLayout layout;
    QString why;
    EXPECT_EQ(WavFile::inspect(path, layout, why), WavFile::Kind::Valid) << why.toStdString();
    EXPECT_TRUE(layout.isIntegerPcm());
    EXPECT_EQ(layout.channels, 1);
    EXPECT_EQ(layout.sampleRate, rate);
    EXPECT_EQ(layout.bitsPerSample, 16);
    return layout;
}

double rms(const test::PcmAudio &audio, qint64 from, qint64 to)
{
    double sum = 0;
    for (qint64 i = from; i < to; ++i)
        sum += double(audio.samples[size_t(i)]) * audio.samples[size_t(i)];
    return std::sqrt(sum / double(std::max<qint64>(1, to - from)));
}

// An input the test speaks through and interrupts by hand.
class ScriptedInput : public AudioInput {
public:
    int starts = 0;
    AudioInputError open() override { return {}; }
    bool start(AudioInputError &) override { return ++starts, true; }
    void pause() override {}
    void close() override {}

    void speak(double seconds, qint16 value)
    {
        QByteArray pcm(qsizetype(seconds * rate) * 2, '\0');
        for (qsizetype i = 0; i < pcm.size(); i += 2)
            qToLittleEndian(value, pcm.data() + i);
        emit audioAvailable(pcm);
    }
    void interrupt() { emit interruptionBegan(); }
    void comeBack(bool resume) { emit interruptionEnded(resume); }
};

struct Scripted {
    ScriptedInput *input;
    std::unique_ptr<AudioRecorder> recorder;
};

Scripted scriptedRecorder(const QString &path)
{
    auto input = std::make_unique<ScriptedInput>();
    ScriptedInput *raw = input.get();
    AudioInputError error;
    auto recorder = AudioRecorder::create(path, error, std::move(input));
    EXPECT_TRUE(error.ok()) << error.description.toStdString();
    return {raw, std::move(recorder)};
}

TEST(AudioRecorder, RecordsAFileFedInputForAsLongAsItRan)
{
    const QString path = TemporaryFiles::newPath(QStringLiteral(".wav"));
    AudioInputError error;
    auto recorder =
        AudioRecorder::create(path, error, std::make_unique<AudioInputFile>(test::speechSample()));
    ASSERT_TRUE(recorder) << error.description.toStdString();
    QList<bool> finished;
    QObject::connect(recorder.get(), &AudioRecorder::audioRecorderDidFinishRecording,
                     [&](AudioRecorder *r, bool ok) {
                         EXPECT_EQ(r, recorder.get());
                         finished << ok;
                     });

    QElapsedTimer clock;
    ASSERT_TRUE(recorder->record());
    clock.start();
    runFor(1000);
    EXPECT_NEAR(recorder->currentTime(), 1.0, 0.1); // the clock moves while recording
    runFor(1000);
    recorder->stop();
    const double recordedSeconds = clock.elapsed() / 1000.0;

    ASSERT_EQ(finished, QList<bool>{true}); // from inside stop()
    const WavLayout layout = checkedRecording(path);
    EXPECT_NEAR(double(layout.frames) / rate, recordedSeconds, 0.05);
    EXPECT_DOUBLE_EQ(recorder->currentTime(), double(layout.frames) / rate);
    EXPECT_EQ(layout.dataOffset + layout.frames * 2, QFileInfo(path).size());
    // The speech itself went in, not silence.
    const test::PcmAudio audio = test::readWav(path);
    EXPECT_GT(rms(audio, 0, rate), 500);
    EXPECT_FALSE(recorder->record()); // a finished recording does not start again
}

TEST(AudioRecorder, PausedTimeIsNotRecorded)
{
    const QString path = TemporaryFiles::newPath(QStringLiteral(".wav"));
    AudioInputError error;
    auto recorder =
        AudioRecorder::create(path, error, std::make_unique<AudioInputFile>(test::speechSample()));
    ASSERT_TRUE(recorder);
    ASSERT_TRUE(recorder->record());
    runFor(400);
    recorder->pause();
    const double atPause = recorder->currentTime();
    runFor(500);
    EXPECT_DOUBLE_EQ(recorder->currentTime(), atPause);
    EXPECT_NEAR(double(checkedRecording(path).frames) / rate, atPause, 1e-9); // header patched
    ASSERT_TRUE(recorder->record());
    runFor(400);
    recorder->stop();
    EXPECT_NEAR(double(checkedRecording(path).frames) / rate, 0.8, 0.05);
}

TEST(AudioRecorder, InterruptionThenResumeContinuesTheSameFile)
{
    const QString path = TemporaryFiles::newPath(QStringLiteral(".wav"));
    auto [input, recorder] = scriptedRecorder(path);
    int began = 0;
    QList<int> ended; // options
    QObject::connect(recorder.get(), &AudioRecorder::audioRecorderBeginInterruption,
                     [&] { ++began; });
    QObject::connect(recorder.get(), &AudioRecorder::audioRecorderEndInterruption,
                     [&](AudioRecorder *, int options) { ended << options; });

    ASSERT_TRUE(recorder->record());
    input->speak(0.3, 1000);
    input->interrupt();
    ASSERT_EQ(began, 1);
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_EQ(checkedRecording(path).frames, qint64(0.3 * rate)); // on disk at the interruption
    input->speak(0.1, 5);                                         // not ours to keep
    input->comeBack(true);
    ASSERT_EQ(ended, QList<int>{AudioRecorder::InterruptionOptionShouldResume});

    ASSERT_TRUE(recorder->record());
    EXPECT_EQ(input->starts, 2);
    input->speak(0.2, 2000);
    input->interrupt();
    input->comeBack(false);
    EXPECT_EQ(ended, (QList<int>{AudioRecorder::InterruptionOptionShouldResume, 0}));
    recorder->stop();

    const test::PcmAudio audio = test::readWav(path);
    ASSERT_EQ(audio.frames(), qint64(0.5 * rate));
    EXPECT_EQ(audio.samples.front(), 1000);
    EXPECT_EQ(audio.samples[size_t(0.3 * rate) - 1], 1000);
    EXPECT_EQ(audio.samples[size_t(0.3 * rate)], 2000);
    EXPECT_EQ(audio.samples.back(), 2000);
}

TEST(AudioRecorder, WriteFailureGivesTheEncodeErrorAndEndsTheRecording)
{
    const QString path = TemporaryFiles::newPath(QStringLiteral(".wav"));
    auto [input, recorder] = scriptedRecorder(path);
    QStringList encodeErrors;
    int finished = 0;
    QObject::connect(recorder.get(), &AudioRecorder::audioRecorderEncodeErrorDidOccur,
                     [&](AudioRecorder *, const QString &why) { encodeErrors << why; });
    QObject::connect(recorder.get(), &AudioRecorder::audioRecorderDidFinishRecording,
                     [&] { ++finished; });
    ASSERT_TRUE(recorder->record());
    {
        test::FileSizeLimit limit(32 * 1024); // the disk fills after about a third of a second
        input->speak(0.6, 700);
    }
    ASSERT_EQ(encodeErrors.size(), 1);
    EXPECT_FALSE(encodeErrors.front().isEmpty());
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_FALSE(recorder->record());
    recorder->stop();
    EXPECT_EQ(finished, 0);
    EXPECT_TRUE(QFile::exists(path)); // left in the temporary folder, not reversed
}

TEST(AudioRecorder, CreationTellsPermissionProblemsFromFileProblems)
{
    // A file-fed input whose file cannot be read is a device that refuses.
    const QString path = TemporaryFiles::newPath(QStringLiteral(".wav"));
    AudioInputError error;
    EXPECT_FALSE(AudioRecorder::create(
        path, error, std::make_unique<AudioInputFile>(test::fixturePath("no-such.wav"))));
    // An input file that cannot be played is not a permission matter either.
    EXPECT_EQ(error.kind, AudioInputError::Kind::SourceUnreadable);
    EXPECT_FALSE(error.isPermissionDenied());
    EXPECT_FALSE(QFile::exists(path));

    // The recording's own file cannot be made: not a permission matter.
    EXPECT_FALSE(AudioRecorder::create(test::fixturePath("no/such/folder/r.wav"), error,
                                       std::make_unique<ScriptedInput>()));
    EXPECT_EQ(error.kind, AudioInputError::Kind::FileFailed);
    EXPECT_FALSE(error.isPermissionDenied());

    // Something already at the name, a link above all, is never recorded into nor removed.
    const QString target = test::scratchRoot() + QStringLiteral("/recorder-link-target");
    QFile::remove(target);
    const QString link = TemporaryFiles::newPath(QStringLiteral(".wav"));
    ASSERT_TRUE(QFile::link(target, link));
    EXPECT_FALSE(AudioRecorder::create(link, error, std::make_unique<ScriptedInput>()));
    EXPECT_EQ(error.kind, AudioInputError::Kind::FileFailed);
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    QFile::remove(link);
}

TEST(AudioRecorder, NoInputDeviceIsReportedAsSuch)
{
    if (!QMediaDevices::audioInputs().isEmpty())
        GTEST_SKIP() << "this machine has an audio input";
    AudioInputDevice device;
    const AudioInputError error = device.open();
    EXPECT_EQ(error.kind, AudioInputError::Kind::NoDevice);
    EXPECT_TRUE(error.isPermissionDenied());
    AudioInputError startError;
    EXPECT_FALSE(device.start(startError));
}

// Run by HeaderSurvivesAKill in a child process: records until it is killed.
TEST(AudioRecorderChild, RecordsUntilKilled)
{
    const QString path = qEnvironmentVariable("MURMELO_RECORDER_CHILD_OUTPUT");
    if (path.isEmpty())
        GTEST_SKIP() << "only run as a child of HeaderSurvivesAKill";
    AudioInputError error;
    auto recorder = AudioRecorder::create(path, error); // the file input named by the variable
    ASSERT_TRUE(recorder) << error.description.toStdString();
    ASSERT_TRUE(recorder->record());
    runFor(60000);
}

TEST(AudioRecorder, HeaderSurvivesAKill)
{
    const QString path = test::fixturePath("killed.wav");
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("MURMELO_RECORDER_CHILD_OUTPUT", path);
    env.insert("MURMELO_AUDIO_INPUT_FILE", test::speechSample());
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=AudioRecorderChild.*")});
    ASSERT_TRUE(child.waitForStarted());
    const qint64 enough = 44 + qint64(1.3 * rate) * 2;
    ASSERT_TRUE(
        test::waitUntil([&] { return QFileInfo(path).size() > enough; }, std::chrono::seconds(20)));
    child.kill(); // SIGKILL: nothing gets to finish the file
    ASSERT_TRUE(child.waitForFinished());

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray header = file.read(44);
    const quint32 riffBytes = qFromLittleEndian<quint32>(header.constData() + 4);
    const quint32 dataBytes = qFromLittleEndian<quint32>(header.constData() + 40);
    EXPECT_EQ(riffBytes, 36 + dataBytes);
    EXPECT_GE(dataBytes, quint32(rate * 2)); // at least a second counted
    const qint64 uncounted = file.size() - 44 - qint64(dataBytes);
    EXPECT_GE(uncounted, 0); // never claims more than was written
    EXPECT_LE(uncounted, qint64(AudioRecorder::headerPatchSeconds * rate * 2) + 4096);
    checkedRecording(path);
}

} // namespace
} // namespace murmelo
