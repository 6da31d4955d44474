#include "AudioFixtures.h"

#include "audio/MediaImport.h"
#include "audio/MergeAndClip.h"
#include "audio/SoxReversal.h"
#include "audio/WaveformImage.h"
#include "platform/TemporaryFiles.h"

#include <QFile>
#include <QtEndian>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace murmelo {
namespace {

struct BadFile {
    const char *name;
    QByteArray bytes; // null: the file does not exist
};

QByteArray patched(QByteArray header, int offset, quint16 value)
{
    qToLittleEndian<quint16>(value, header.data() + offset);
    return header;
}

QByteArray patched32(QByteArray header, int offset, quint32 value)
{
    qToLittleEndian<quint32>(value, header.data() + offset);
    return header;
}

std::vector<BadFile> badFiles()
{
    const QByteArray data(4000, '\x10');
    const QByteArray header = test::wavHeader(1, 44100, 16, 4000);
    return {
        {"missing.wav", QByteArray()},
        {"truncated-header.wav", header.left(30)},
        {"zero-channels.wav", patched(header, 22, 0) + data},
        {"forty-channels.wav", patched(header, 22, 40) + data},
        {"rate-zero.wav", patched32(header, 24, 0) + data},
        {"rate-huge.wav", patched32(header, 24, 5000000) + data},
        {"bits-12.wav", patched(header, 34, 12) + data},
        {"block-align-mismatch.wav", patched(header, 32, 7) + data},
        {"fmt-chunk-huge.wav", patched32(header, 16, 0x7FFFFFF0) + data},
        {"no-data-chunk.wav", header.left(36)},
        {"text.wav", QByteArray("This is not audio at all, just a note someone saved.\n")},
        {"empty.wav", QByteArray("")},
    };
}

class MalformedInput : public ::testing::TestWithParam<BadFile> {
protected:
    QString path() const
    {
        const BadFile &bad = GetParam();
        if (bad.bytes.isNull())
            return test::fixturePath(QLatin1String(bad.name));
        return test::writeBytes(QLatin1String(bad.name), bad.bytes);
    }
};

TEST_P(MalformedInput, EveryOperationFailsCleanly)
{
    const QString in = path();
    const QStringList before = test::temporaryFolderEntries();

    const QString out = TemporaryFiles::newPath(QStringLiteral(".wav"));
    std::atomic<bool> cancelled{false};
    const AudioJobResult reversal = reverseAudioFile(in, out, cancelled);
    EXPECT_EQ(reversal.status, AudioJobStatus::Failed);
    EXPECT_FALSE(reversal.error.isEmpty());
    EXPECT_FALSE(QFile::exists(out));

    EXPECT_TRUE(waveformImage(in, QSizeF(225, 54), 4).isNull());

    const QString imported = TemporaryFiles::newPath(QStringLiteral(".wav"));
    EXPECT_FALSE(MediaImport::exportToWav(in, imported, cancelled).ok());
    EXPECT_FALSE(QFile::exists(imported));

    const QString good = test::writeWav(QStringLiteral("good.wav"), test::rampAudio(100, 1, 16));
    EXPECT_TRUE(slowAndMergeAudio(in, good, 1.0f).isEmpty());
    EXPECT_TRUE(slowAndMergeAudio(good, in, 1.0f).isEmpty());
    EXPECT_TRUE(clipAudio(in, 0.0f, 1.0f).isEmpty());

    EXPECT_EQ(test::temporaryFolderEntries(), before);
}

INSTANTIATE_TEST_SUITE_P(Files, MalformedInput, ::testing::ValuesIn(badFiles()),
                         [](const auto &info) {
                             std::string name = info.param.name;
                             std::replace_if(
                                 name.begin(), name.end(), [](char c) { return !isalnum(c); }, '_');
                             return name;
                         });

} // namespace
} // namespace murmelo

namespace murmelo {
namespace {

// The application's own jobs (reversal, crop, send, import) go through the same refusals as
// the command line: a FIFO never blocks a job, and an output that is the input under another
// name is never written.
TEST(JobFiles, NonRegularInputsAndOutputsAliasingTheInputAreRefusedBeforeWriting)
{
    const QString input =
        test::writeWav(QStringLiteral("alias-source.wav"), test::rampAudio(4410, 1, 16));
    QFile file(input);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    const QString hard = test::fixturePath(QStringLiteral("alias-hard.wav"));
    QFile::remove(hard);
    ASSERT_EQ(::link(QFile::encodeName(input).constData(), QFile::encodeName(hard).constData()), 0);
    const QString fifo = test::fixturePath(QStringLiteral("alias-fifo.wav"));
    QFile::remove(fifo);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    std::atomic<bool> cancelled{false};

    for (const QString &output : {hard, input}) {
        EXPECT_EQ(reverseAudioFile(input, output, cancelled).status, AudioJobStatus::Failed);
        EXPECT_EQ(clipAudioFile(input, 0, 1, output).status, AudioJobStatus::Failed);
        EXPECT_EQ(mergeAudioFiles(input, input, 1, output).status, AudioJobStatus::Failed);
        EXPECT_FALSE(MediaImport::exportToWav(input, output, cancelled).ok());
    }
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);

    const QString out = test::fixturePath(QStringLiteral("alias-out.wav"));
    const AudioJobResult reversed = reverseAudioFile(fifo, out, cancelled);
    EXPECT_EQ(reversed.status, AudioJobStatus::Failed);
    EXPECT_TRUE(reversed.error.contains(QStringLiteral("not a regular file")));
    EXPECT_EQ(clipAudioFile(fifo, 0, 1, out).status, AudioJobStatus::Failed);
    EXPECT_EQ(mergeAudioFiles(input, fifo, 1, out).status, AudioJobStatus::Failed);
    EXPECT_TRUE(waveformImage(fifo, QSizeF(225, 54), 4).isNull());
    EXPECT_EQ(MediaImport::exportToWav(fifo, out, cancelled).kind,
              MediaImportError::Kind::Unreadable);
    EXPECT_FALSE(QFile::exists(out));
}

} // namespace
} // namespace murmelo
