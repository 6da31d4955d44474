#include "AudioFixtures.h"
#include "support/TestSupport.h"

#include "audio/SoxReversal.h"
#include "audio/WaveformEnvelope.h"
#include "platform/TemporaryFiles.h"

#include <QFile>
#include <gtest/gtest.h>

namespace murmelo {
namespace {

using test::PcmAudio;

struct Shape {
    int channels;
    int bits;
    qint64 frames = 20000;
};

class ReversalShapes : public ::testing::TestWithParam<Shape> {};

// The envelope measured on the way is the one a read of the source from its start gives, to the
// bit, whatever the blocks.
TEST_P(ReversalShapes, WritesTheSourceBackwardsWithItsSignalAndMeasuresItsEnvelope)
{
    const PcmAudio source =
        test::rampAudio(GetParam().frames, GetParam().channels, GetParam().bits, 22050);
    const QString in = test::writeWav(QStringLiteral("ramp.wav"), source);
    const QString out = TemporaryFiles::newPath(QStringLiteral(".wav"));
    std::atomic<bool> cancelled{false};
    double lastFraction = -1;
    bool monotonic = true;
    std::optional<WaveformEnvelope> envelope;
    const AudioJobResult result = reverseAudioFile(
        in, out, cancelled,
        [&](double f) {
            monotonic = monotonic && f >= lastFraction;
            lastFraction = f;
        },
        envelope);
    ASSERT_EQ(result.status, AudioJobStatus::Finished) << result.error.toStdString();
    QString error;
    const std::optional<WaveformEnvelope> read = EnvelopeReader::read(in, error);
    ASSERT_TRUE(read && envelope) << error.toStdString();
    EXPECT_EQ(envelope->channelCount(), read->channelCount());
    EXPECT_EQ(envelope->values(), read->values());
    EXPECT_EQ(envelope->normalizeMax(), read->normalizeMax());

    const PcmAudio reversed = test::readWav(out);
    EXPECT_EQ(reversed.sampleRate, source.sampleRate);
    EXPECT_EQ(reversed.channels, source.channels);
    EXPECT_EQ(reversed.bits, source.bits);
    ASSERT_EQ(reversed.frames(), source.frames());
    for (qint64 f = 0; f < source.frames(); ++f)
        ASSERT_EQ(reversed.frame(f), source.frame(source.frames() - 1 - f)) << "frame " << f;
    EXPECT_TRUE(monotonic);
    EXPECT_DOUBLE_EQ(lastFraction, 1.0);
    QFile::remove(out);
}

// The long ones are read in several blocks, the last of them partly filled; three channels are
// measured on the first.
INSTANTIATE_TEST_SUITE_P(MonoStereo16And24BitShortAndLong, ReversalShapes,
                         ::testing::Values(Shape{1, 16}, Shape{2, 16}, Shape{1, 24}, Shape{2, 24},
                                           Shape{2, 16, 400001}, Shape{1, 24, 262145},
                                           Shape{1, 16, 132300}, Shape{3, 16, 140000}));

TEST(SoxReversal, WritesTheSameFileAsSoxReverseForEveryIntegerPrecision)
{
    // Long enough for several blocks of mono: frames near both ends of every block boundary.
    for (const QString &format :
         {QStringLiteral("-c 1 -b 8 -e unsigned"), QStringLiteral("-c 2 -b 16"),
          QStringLiteral("-c 1 -b 24"), QStringLiteral("-c 3 -b 32")}) {
        const QString in = test::fixturePath(QStringLiteral("noise.wav"));
        const QString expected = test::fixturePath(QStringLiteral("noise-sox.wav"));
        ASSERT_EQ(test::runShell(QStringLiteral("sox -R -n -r 8000 %1 '%2' synth 40 whitenoise"
                                                " && sox '%2' '%3' reverse")
                                     .arg(format, in, expected)),
                  0);
        const QString out = TemporaryFiles::newPath(QStringLiteral(".wav"));
        std::atomic<bool> cancelled{false};
        ASSERT_EQ(reverseAudioFile(in, out, cancelled).status, AudioJobStatus::Finished);
        QFile ours(out), theirs(expected);
        ASSERT_TRUE(ours.open(QIODevice::ReadOnly) && theirs.open(QIODevice::ReadOnly));
        EXPECT_TRUE(ours.readAll() == theirs.readAll()) << format.toStdString();
        QFile::remove(out);
    }
}

TEST(SoxReversal, CancelStopsTheFlowAndLeavesOnlyTheCallersFiles)
{
    const QString in = test::writeWav(QStringLiteral("long.wav"), test::rampAudio(2000000, 2, 16));
    const QStringList before = test::temporaryFolderEntries();
    const QString out = TemporaryFiles::newPath(QStringLiteral(".wav"));
    std::atomic<bool> cancelled{false};
    int calls = 0;
    const AudioJobResult result = reverseAudioFile(in, out, cancelled, [&](double) {
        if (++calls == 2)
            cancelled = true;
    });
    EXPECT_EQ(result.status, AudioJobStatus::Cancelled);
    EXPECT_TRUE(result.error.isEmpty());
    // The caller removes its two files; nothing else of the job may be left behind.
    EXPECT_TRUE(!QFile::exists(out) || QFile::remove(out));
    EXPECT_EQ(test::temporaryFolderEntries(), before);
}

TEST(SoxReversal, TwoJobsInARowWriteTwoFiles)
{
    const QString in = test::writeWav(QStringLiteral("short.wav"), test::rampAudio(1000, 1, 16));
    std::atomic<bool> cancelled{false};
    const QString first = TemporaryFiles::newPath(QStringLiteral(".wav"));
    const QString second = TemporaryFiles::newPath(QStringLiteral(".wav"));
    EXPECT_NE(first, second);
    EXPECT_EQ(reverseAudioFile(in, first, cancelled).status, AudioJobStatus::Finished);
    EXPECT_EQ(reverseAudioFile(in, second, cancelled).status, AudioJobStatus::Finished);
    EXPECT_TRUE(QFile::exists(first));
    EXPECT_TRUE(QFile::exists(second));
    QFile::remove(first);
    QFile::remove(second);
}

TEST(SoxReversal, DataSizeBeyondTheFileReadsTheFramesPresent)
{
    const PcmAudio source = test::rampAudio(5000, 1, 16);
    const QString good = test::writeWav(QStringLiteral("good.wav"), source);
    QFile file(good);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll();
    bytes.replace(40, 4, QByteArray("\xF0\xFF\xFF\x7F", 4)); // a recorder that died mid-write
    const QString in = test::writeBytes(QStringLiteral("unfinished.wav"), bytes);
    const QString out = TemporaryFiles::newPath(QStringLiteral(".wav"));
    std::atomic<bool> cancelled{false};
    ASSERT_EQ(reverseAudioFile(in, out, cancelled).status, AudioJobStatus::Finished);
    EXPECT_EQ(test::readWav(out).frames(), source.frames());
    QFile::remove(out);
}

TEST(SoxReversal, RefusesToOverwriteItsSource)
{
    const QString in = test::writeWav(QStringLiteral("self.wav"), test::rampAudio(100, 1, 16));
    std::atomic<bool> cancelled{false};
    const AudioJobResult result = reverseAudioFile(in, in, cancelled);
    EXPECT_EQ(result.status, AudioJobStatus::Failed);
    EXPECT_EQ(test::readWav(in).frames(), 100);
}

TEST(SoxReversal, UnwritableOutputFailsWithAReason)
{
    const QString in = test::writeWav(QStringLiteral("ok.wav"), test::rampAudio(100, 1, 16));
    std::atomic<bool> cancelled{false};
    const AudioJobResult result = reverseAudioFile(
        in, test::fixturePath(QStringLiteral("no/such/folder/out.wav")), cancelled);
    EXPECT_EQ(result.status, AudioJobStatus::Failed);
    EXPECT_FALSE(result.error.isEmpty());
}

} // namespace
} // namespace murmelo
