#include "AudioFixtures.h"

#include "audio/MergeAndClip.h"
#include "audio/SoxReversal.h"
#include "audio/WavFile.h"
#include "platform/StandardPaths.h"
#include "platform/TemporaryFiles.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace murmelo {
namespace {

using test::PcmAudio;

QByteArray fmtChunkOf(const QString &path)
{
    WavLayout layout;
    QString error;
    EXPECT_EQ(WavFile::inspect(path, layout, error), WavFile::Kind::Valid);
    return layout.fmtChunk;
}

std::vector<qint32> framesOf(const PcmAudio &audio, qint64 first, qint64 count)
{
    const auto begin = audio.samples.begin() + first * audio.channels;
    return {begin, begin + count * audio.channels};
}

TEST(Merge, FactorOneJoinsBothFilesFrameForFrame)
{
    const PcmAudio a = test::rampAudio(3000, 2, 16);
    PcmAudio b = test::rampAudio(5000, 2, 16);
    for (qint32 &s : b.samples)
        s = -s;
    const QString merged = slowAndMergeAudio(test::writeWav(QStringLiteral("a.wav"), a),
                                             test::writeWav(QStringLiteral("b.wav"), b), 1.0f);
    ASSERT_FALSE(merged.isEmpty());
    EXPECT_TRUE(merged.startsWith(StandardPaths::temporaryDirectory()));
    const PcmAudio out = test::readWav(merged);
    EXPECT_EQ(out.sampleRate, a.sampleRate);
    ASSERT_EQ(out.frames(), 8000);
    EXPECT_EQ(framesOf(out, 0, 3000), a.samples);
    EXPECT_EQ(framesOf(out, 3000, 5000), b.samples);
    QFile::remove(merged);
}

TEST(Merge, HeaderOfALongMergeCountsBothFiles)
{
    // Long enough for libsox to write the header before the second file is read.
    const QString a = test::writeWav(QStringLiteral("long-a.wav"), test::rampAudio(88200, 2, 16));
    const QString b = test::writeWav(QStringLiteral("long-b.wav"), test::rampAudio(88200, 2, 16));
    const QString merged = slowAndMergeAudio(a, b, 1.0f);
    ASSERT_FALSE(merged.isEmpty());
    EXPECT_EQ(test::readWav(merged).frames(), 2 * 88200);
    EXPECT_EQ(QFileInfo(merged).size(), 44 + 2 * 88200 * 4);
    QFile::remove(merged);
}

TEST(Merge, SlowerFactorIsAudibleAtTheFirstFilesRate)
{
    const QString a = test::writeWav(QStringLiteral("a.wav"), test::rampAudio(10000, 1, 16));
    const QString b = test::writeWav(QStringLiteral("b.wav"), test::rampAudio(10000, 1, 16));
    const QString merged = slowAndMergeAudio(a, b, 0.5f);
    ASSERT_FALSE(merged.isEmpty());
    const PcmAudio out = test::readWav(merged);
    EXPECT_EQ(out.sampleRate, 44100);
    EXPECT_NEAR(double(out.frames()), 40000.0, 50.0);
    QFile::remove(merged);
}

TEST(Merge, FactorIsWrittenShortest)
{
    EXPECT_EQ(speedFactorText(1.0f), QStringLiteral("1"));
    EXPECT_EQ(speedFactorText(0.75f), QStringLiteral("0.75"));
    EXPECT_EQ(speedFactorText(0.1f), QStringLiteral("0.1"));
    EXPECT_EQ(speedFactorText(1.2345678f), QStringLiteral("1.234568"));
}

TEST(Merge, RefusesFilesOfDifferentSignalOrAbsurdFactorsAndLeavesNothing)
{
    const QString mono = test::writeWav(QStringLiteral("mono.wav"), test::rampAudio(100, 1, 16));
    const QString stereo =
        test::writeWav(QStringLiteral("stereo.wav"), test::rampAudio(100, 2, 16));
    const QString slowRate =
        test::writeWav(QStringLiteral("8k.wav"), test::rampAudio(100, 1, 16, 8000));
    const QStringList before = test::temporaryFolderEntries();
    EXPECT_TRUE(slowAndMergeAudio(mono, stereo, 1.0f).isEmpty());
    EXPECT_TRUE(slowAndMergeAudio(mono, slowRate, 1.0f).isEmpty());
    EXPECT_TRUE(slowAndMergeAudio(mono, mono, 0.0f).isEmpty());
    EXPECT_TRUE(slowAndMergeAudio(mono, mono, std::nanf("")).isEmpty());
    const AudioJobResult result = mergeAudioFiles(mono, stereo, 1.0f, test::fixturePath("x.wav"));
    EXPECT_EQ(result.status, AudioJobStatus::Failed);
    EXPECT_TRUE(result.error.contains(QStringLiteral("channels")));
    EXPECT_EQ(test::temporaryFolderEntries(), before);
}

TEST(Clip, QuarterToHalfOf441000FramesIsFrameExact)
{
    const PcmAudio audio = test::rampAudio(441000, 1, 16);
    const QString clip = clipAudio(test::writeWav(QStringLiteral("long.wav"), audio), 0.25f, 0.5f);
    ASSERT_FALSE(clip.isEmpty());
    const PcmAudio out = test::readWav(clip);
    ASSERT_EQ(out.frames(), 110250);
    EXPECT_EQ(out.samples, framesOf(audio, 110250, 110250));
    QFile::remove(clip);
}

TEST(Clip, FullRangeCopiesEveryFrameAndTheExactFormat)
{
    // sox writes 24-bit stereo as WAVE_FORMAT_EXTENSIBLE, with its 40-byte fmt chunk.
    const QString in = test::fixturePath(QStringLiteral("ext.wav"));
    ASSERT_EQ(test::runShell(
                  QStringLiteral("sox -n -b 24 -c 2 -r 48000 '%1' synth 0.5 sine 440").arg(in)),
              0);
    ASSERT_EQ(fmtChunkOf(in).size(), 40);
    const QString clip = clipAudio(in, 0.0f, 1.0f);
    ASSERT_FALSE(clip.isEmpty());
    EXPECT_EQ(fmtChunkOf(clip), fmtChunkOf(in));
    EXPECT_EQ(test::readWav(clip).samples, test::readWav(in).samples);
    QFile::remove(clip);
}

TEST(Clip, EmptyAndOutOfFileRangesWriteAnEmptyWav)
{
    const QString in = test::writeWav(QStringLiteral("short.wav"), test::rampAudio(1000, 1, 16));
    for (auto [start, end] : {std::pair{0.5f, 0.5f}, {0.7f, 0.2f}, {1.0f, 1.0f}}) {
        const QString clip = clipAudio(in, start, end);
        ASSERT_FALSE(clip.isEmpty());
        EXPECT_EQ(test::readWav(clip).frames(), 0);
        QFile::remove(clip);
    }
}

TEST(Clip, MirroredRangeOfTheReversalIsTheReversedClip)
{
    const PcmAudio audio = test::rampAudio(40000, 2, 16);
    const QString forward = test::writeWav(QStringLiteral("forward.wav"), audio);
    const QString reversed = TemporaryFiles::newPath(QStringLiteral(".wav"));
    std::atomic<bool> cancelled{false};
    ASSERT_EQ(reverseAudioFile(forward, reversed, cancelled).status, AudioJobStatus::Finished);

    const float min = 0.25f, max = 0.75f;
    const PcmAudio forwardClip = test::readWav(clipAudio(forward, min, max));
    const PcmAudio reverseClip = test::readWav(clipAudio(reversed, 1 - max, 1 - min));
    ASSERT_EQ(forwardClip.frames(), reverseClip.frames());
    ASSERT_GT(forwardClip.frames(), 0);
    for (qint64 f = 0; f < forwardClip.frames(); ++f)
        ASSERT_EQ(forwardClip.frame(f), reverseClip.frame(reverseClip.frames() - 1 - f));
}

} // namespace
} // namespace murmelo
