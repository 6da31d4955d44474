// The microphone path end to end: a private PulseAudio server plays a tone into a fake
// microphone, and AudioRecorder records it through AudioInputDevice into a WAV file.
#include "SoundServer.h"

#include "audio/AudioInputDevice.h"
#include "audio/AudioRecorder.h"
#include "audio/WavFile.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QtEndian>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace murmelo {
namespace {

constexpr int rate = AudioInput::sampleRate;
// A recording never waits longer than this for its audio.
constexpr auto patience = std::chrono::seconds(15);
// Full-scale RMS of the 0.5-amplitude tone is about 0.35; silence or noise stays far below this.
constexpr double toneRms = 0.2;

std::vector<qint16> recordedSamples(const QString &path)
{
    WavLayout layout;
    QString why;
    EXPECT_EQ(WavFile::inspect(path, layout, why), WavFile::Kind::Valid) << why.toStdString();
    EXPECT_TRUE(layout.isIntegerPcm());
    EXPECT_EQ(layout.channels, 1);
    EXPECT_EQ(layout.sampleRate, rate);
    EXPECT_EQ(layout.bitsPerSample, 16);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(layout.dataOffset))
        return {};
    const QByteArray data = file.read(layout.frames * 2);
    std::vector<qint16> samples(data.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = qFromLittleEndian<qint16>(data.constData() + 2 * i);
    return samples;
}

double rms(const std::vector<qint16> &samples, size_t from, size_t to)
{
    double sum = 0;
    for (size_t i = from; i < to; ++i)
        sum += double(samples[i]) * samples[i];
    return to > from ? std::sqrt(sum / double(to - from)) / 32768.0 : 0;
}

// The strongest frequency between 100 Hz and 5 kHz, to the hertz, by a Goertzel scan.
int dominantHz(const std::vector<qint16> &samples, size_t from, size_t count)
{
    int best = 0;
    double bestPower = -1;
    for (int hz = 100; hz <= 5000; ++hz) {
        const double coefficient = 2 * std::cos(2 * M_PI * hz / rate);
        double s1 = 0, s2 = 0;
        for (size_t i = from; i < from + count; ++i) {
            const double s0 = samples[i] + coefficient * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
        if (power > bestPower) {
            bestPower = power;
            best = hz;
        }
    }
    return best;
}

// The tone is there, loud and at its own pitch, in the `seconds` of audio starting at `from`.
void expectTone(const std::vector<qint16> &samples, double from, double seconds)
{
    const size_t start = size_t(from * rate);
    const size_t count = size_t(seconds * rate);
    ASSERT_LE(start + count, samples.size());
    EXPECT_GT(rms(samples, start, start + count), toneRms) << "at " << from << " s";
    EXPECT_NEAR(dominantHz(samples, start, count), test::SoundServer::toneHz,
                test::SoundServer::toneHz * 0.02)
        << "at " << from << " s";
}

class DeviceCapture : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString why = server_.start();
        if (!why.isEmpty())
            GTEST_SKIP() << "no private sound server: " << why.toStdString();
        const QString tone = server_.startTone();
        ASSERT_TRUE(tone.isEmpty()) << tone.toStdString();
        path_ = test::scratchRoot() + QStringLiteral("/capture.wav");
        // Qt's sound-server connection is shared by the whole process; after an earlier test
        // stopped its server, Qt needs a few seconds to find this one.
        AudioInputError error;
        QElapsedTimer sinceTry;
        test::waitUntil(
            [&] {
                if (sinceTry.isValid() && sinceTry.elapsed() < 250)
                    return false;
                sinceTry.start();
                recorder_ =
                    AudioRecorder::create(path_, error, std::make_unique<AudioInputDevice>());
                return recorder_ != nullptr;
            },
            patience);
        ASSERT_TRUE(recorder_) << error.description.toStdString();
    }

    void TearDown() override
    {
        recorder_.reset();
        server_.stop();
    }

    // Records until the file holds `seconds` of audio; the wall-clock time it took.
    double recordUntil(double seconds)
    {
        QElapsedTimer clock;
        clock.start();
        EXPECT_TRUE(recorder_->record()) << recorder_->lastError().description.toStdString();
        EXPECT_TRUE(test::waitUntil([&] { return recorder_->currentTime() >= seconds; }, patience))
            << "the microphone delivered " << recorder_->currentTime() << " s";
        recorder_->pause();
        return clock.elapsed() / 1000.0;
    }

    test::SoundServer server_;
    QString path_;
    std::unique_ptr<AudioRecorder> recorder_;
};

TEST_F(DeviceCapture, RecordsWhatTheMicrophoneHearsInRealTime)
{
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(recorder_->record()) << recorder_->lastError().description.toStdString();
    ASSERT_TRUE(test::waitUntil([&] { return recorder_->currentTime() >= 2.0; }, patience))
        << "the microphone delivered " << recorder_->currentTime() << " s";
    recorder_->stop();
    const double wall = clock.elapsed() / 1000.0;

    const std::vector<qint16> samples = recordedSamples(path_);
    const double seconds = double(samples.size()) / rate;
    // Capture may trail the clock by the source's buffering, never run ahead of it, and must
    // not lose stretches of sound.
    EXPECT_LE(seconds, wall + 0.1);
    EXPECT_GE(seconds, wall * 0.75);
    expectTone(samples, 0.1, 0.5);
    expectTone(samples, seconds - 0.6, 0.5);
}

TEST_F(DeviceCapture, PauseLeavesAGapOutAndResumeCapturesAgain)
{
    const double first = recordUntil(1.0);
    const double firstSeconds = recorder_->currentTime();
    // While paused the tone keeps playing; none of it may land in the file.
    QElapsedTimer paused;
    paused.start();
    test::waitUntil([&] { return paused.elapsed() >= 1000; }, std::chrono::seconds(3));
    EXPECT_DOUBLE_EQ(recorder_->currentTime(), firstSeconds);
    const double second = recordUntil(firstSeconds + 1.0);
    recorder_->stop();

    const std::vector<qint16> samples = recordedSamples(path_);
    const double seconds = double(samples.size()) / rate;
    EXPECT_LE(seconds, first + second + 0.1);
    expectTone(samples, firstSeconds + 0.2, 0.5);
}

TEST_F(DeviceCapture, ServerGoingAwayInterruptsAndItsReturnResumesTheSameFile)
{
    int began = 0;
    int resumeOption = -1;
    QObject::connect(recorder_.get(), &AudioRecorder::audioRecorderBeginInterruption,
                     [&] { ++began; });
    QObject::connect(recorder_.get(), &AudioRecorder::audioRecorderEndInterruption,
                     [&](AudioRecorder *, int options) { resumeOption = options; });
    ASSERT_TRUE(recorder_->record());
    ASSERT_TRUE(test::waitUntil([&] { return recorder_->currentTime() >= 1.0; }, patience));

    server_.stop();
    ASSERT_TRUE(test::waitUntil([&] { return began > 0; }, patience));
    EXPECT_FALSE(recorder_->isRecording());
    const double before = recorder_->currentTime();
    // What came before the interruption is already a valid file.
    EXPECT_EQ(recordedSamples(path_).size(), size_t(std::llround(before * rate)));

    // Qt reconnects to a returning server only for a few seconds after losing it.
    ASSERT_TRUE(server_.start().isEmpty());
    ASSERT_TRUE(server_.startTone().isEmpty());
    ASSERT_TRUE(test::waitUntil([&] { return resumeOption >= 0; }, patience))
        << "the return of the sound server went unnoticed";
    EXPECT_EQ(resumeOption, AudioRecorder::InterruptionOptionShouldResume);
    EXPECT_EQ(began, 1);

    recordUntil(before + 1.0);
    recorder_->stop();
    const std::vector<qint16> samples = recordedSamples(path_);
    expectTone(samples, 0.2, 0.5);
    expectTone(samples, before + 0.2, 0.5);
}

TEST_F(DeviceCapture, ServerThatStaysAwayIsNotTakenForItsReturn)
{
    bool ended = false;
    QObject::connect(recorder_.get(), &AudioRecorder::audioRecorderEndInterruption,
                     [&] { ended = true; });
    ASSERT_TRUE(recorder_->record());
    ASSERT_TRUE(test::waitUntil([&] { return recorder_->currentTime() >= 0.5; }, patience));
    server_.stop();
    // Qt still lists the vanished server's microphone; several polls must not believe it.
    QElapsedTimer clock;
    clock.start();
    test::waitUntil([&] { return clock.elapsed() >= 3 * AudioInputDevice::pollMilliseconds; },
                    patience);
    EXPECT_FALSE(ended);
    EXPECT_FALSE(recorder_->record());
    recorder_->stop();
    EXPECT_GT(recordedSamples(path_).size(), size_t(0.5 * rate) - 1);
}

} // namespace
} // namespace murmelo
