#include "AudioFixtures.h"

#include "audio/FileRangeCopy.h"
#include "audio/MediaImport.h"
#include "audio/MediaImportDecoder.h"
#include "audio/MergeAndClip.h"
#include "audio/WavFile.h"
#include "audio/WavSplice.h"
#include "platform/TemporaryFiles.h"
#include "support/TestSupport.h"

#include <QFile>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace murmelo {
namespace {

using test::chunk;
using test::extensibleFmtBody;
using test::fmtBody;
using test::pcmBytes;
using test::riff;

// A LIST chunk as sox and other tools write it before the data.
const QByteArray kInfoList("INFOISFT\x06\0\0\0sox 1\0", 18);

// Interleaved 16-bit stereo 44.1 kHz samples, as FFmpeg decodes the file for the import.
std::vector<qint16> decoded(const QString &path)
{
    MediaImportDecoder decoder;
    std::vector<qint16> all;
    if (MediaImportError e =
            decoder.open(path, MediaImport::outputChannels, MediaImport::outputSampleRate);
        !e.ok()) {
        ADD_FAILURE() << e.description.toStdString();
        return all;
    }
    std::vector<qint16> block;
    for (bool finished = false; !finished;) {
        if (MediaImportError e = decoder.read(block, finished); !e.ok()) {
            ADD_FAILURE() << e.description.toStdString();
            break;
        }
        all.insert(all.end(), block.begin(), block.end());
    }
    return all;
}

std::vector<qint16> samplesOf(const QString &wav)
{
    const test::PcmAudio audio = test::readWav(wav);
    EXPECT_EQ(audio.bits, 16);
    EXPECT_EQ(audio.channels, 2);
    EXPECT_EQ(audio.sampleRate, 44100);
    return {audio.samples.begin(), audio.samples.end()};
}

struct Layout {
    const char *name;
    std::function<QByteArray()> bytes;
    bool copied; // the data is copied as it is rather than decoded
};

const test::PcmAudio kStereo = test::rampAudio(20000, 2, 16);

std::vector<Layout> layouts()
{
    const QByteArray data = pcmBytes(kStereo);
    const QByteArray fmt = chunk("fmt ", fmtBody(2, 44100, 16));
    return {
        {"plain", [=] { return riff(fmt + chunk("data", data)); }, true},
        {"list_before_data",
         [=] { return riff(fmt + chunk("LIST", kInfoList) + chunk("data", data)); }, true},
        {"odd_chunk_before_data",
         [=] { return riff(fmt + chunk("junk", "abc") + chunk("data", data)); }, true},
        {"data_then_trailing_chunk",
         [=] { return riff(fmt + chunk("data", data) + chunk("LIST", "INFOxxxx")); }, true},
        {"data_cut_short",
         [=] {
             QByteArray whole = riff(fmt + chunk("data", data));
             return whole.left(whole.size() - 4001); // a frame and a bit gone
         },
         true},
        {"extensible_front_pair",
         [=] {
             return riff(chunk("fmt ", extensibleFmtBody(2, 44100, 16, 0x3)) + chunk("data", data));
         },
         true},
        {"extensible_no_speakers",
         [=] {
             return riff(chunk("fmt ", extensibleFmtBody(2, 44100, 16, 0x0)) + chunk("data", data));
         },
         true},
        {"extensible_rear_pair",
         [=] {
             return riff(chunk("fmt ", extensibleFmtBody(2, 44100, 16, 0x30)) +
                         chunk("data", data));
         },
         false},
        {"rate_48k",
         [=] { return riff(chunk("fmt ", fmtBody(2, 48000, 16)) + chunk("data", data)); }, false},
        {"mono",
         [] {
             return riff(chunk("fmt ", fmtBody(1, 44100, 16)) +
                         chunk("data", pcmBytes(test::rampAudio(20000, 1, 16))));
         },
         false},
        {"bits_24",
         [] {
             return riff(chunk("fmt ", fmtBody(2, 44100, 24)) +
                         chunk("data", pcmBytes(test::rampAudio(20000, 2, 24))));
         },
         false},
    };
}

class ImportOfWav : public ::testing::TestWithParam<Layout> {};

// Copied or decoded, the import holds exactly what decoding the song gives, under the one header
// every import has.
TEST_P(ImportOfWav, IsSampleIdenticalToTheDecodedSong)
{
    const Layout &layout = GetParam();
    const QString source =
        test::writeBytes(QStringLiteral("layout-%1.wav").arg(layout.name), layout.bytes());
    WavLayout inspected;
    QString error;
    ASSERT_EQ(WavFile::checkInput(source, inspected, error), WavFile::Kind::Valid)
        << error.toStdString();
    EXPECT_EQ(MediaImport::holdsImportLayout(inspected), layout.copied);

    const QString out = TemporaryFiles::newPath(QStringLiteral(".wav"));
    std::atomic<bool> cancelled{false};
    const MediaImportError result = MediaImport::exportToWav(source, out, cancelled);
    ASSERT_TRUE(result.ok()) << result.description.toStdString();
    QFile file(out);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.read(44), WavFile::header(WavFile::pcmFmtChunk(2, 44100, 16), file.size() - 44));
    const std::vector<qint16> expected = decoded(source);
    EXPECT_GT(expected.size(), 10000u);
    EXPECT_EQ(samplesOf(out), expected);
    QFile::remove(out);
}

INSTANTIATE_TEST_SUITE_P(Layouts, ImportOfWav, ::testing::ValuesIn(layouts()),
                         [](const auto &info) { return std::string(info.param.name); });

// The mixer has no rule for a pair marked as the rear speakers; the song is not refused for it
// but heard as the usual pair.
TEST(ImportOfWav, PairMarkedAsRearSpeakersIsImportedAsTheUsualPair)
{
    const QString source = test::writeBytes(
        QStringLiteral("rear-pair.wav"), riff(chunk("fmt ", extensibleFmtBody(2, 44100, 16, 0x30)) +
                                              chunk("data", pcmBytes(kStereo))));
    const QString out = TemporaryFiles::newPath(QStringLiteral(".wav"));
    std::atomic<bool> cancelled{false};
    const MediaImportError result = MediaImport::exportToWav(source, out, cancelled);
    ASSERT_TRUE(result.ok()) << result.description.toStdString();
    EXPECT_EQ(samplesOf(out), std::vector<qint16>(kStereo.samples.begin(), kStereo.samples.end()));
    QFile::remove(out);
}

TEST(ImportOfWav, CancelDuringTheCopyLeavesNothing)
{
    const QString source = test::writeWav(QStringLiteral("cancel-copy.wav"), kStereo);
    const QStringList before = test::temporaryFolderEntries();
    const QString out = TemporaryFiles::newPath(QStringLiteral(".wav"));
    std::atomic<bool> cancelled{false};
    QList<double> fractions;
    const MediaImportError result =
        MediaImport::exportToWav(source, out, cancelled, [&](double fraction) {
            fractions << fraction;
            cancelled = true;
        });
    EXPECT_EQ(result.kind, MediaImportError::Kind::Cancelled);
    EXPECT_EQ(fractions, QList<double>{0.0});
    EXPECT_FALSE(QFile::exists(out));
    EXPECT_EQ(test::temporaryFolderEntries(), before);
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

// Through the kernel or through our buffer, unaligned ranges arrive byte for byte, and an input
// shorter than the range is a failure, not a short file.
TEST(FileRangeCopy, BothMethodsCopyUnalignedRangesExactlyAndRefuseShortInput)
{
    QByteArray bytes(3 * 1024 * 1024 + 77, '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 131 % 251);
    const QString source = test::writeBytes(QStringLiteral("range-source.bin"), bytes);
    for (const auto method : {FileRangeCopy::Method::Kernel, FileRangeCopy::Method::Buffered}) {
        const QString target = test::fixturePath(QStringLiteral("range-target.bin"));
        QFile::remove(target);
        const int in = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC);
        const int out =
            ::open(QFile::encodeName(target).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(in, 0);
        ASSERT_GE(out, 0);
        ASSERT_EQ(::pwrite(out, "head", 4, 0), 4);
        FileRangeCopy copier(method);
        QString error;
        EXPECT_TRUE(copier.copy(in, 13, out, 4, bytes.size() - 13, error)) << error.toStdString();
        EXPECT_TRUE(error.isEmpty());
        EXPECT_FALSE(copier.copy(in, bytes.size() - 10, out, bytes.size(), 20, error));
        EXPECT_FALSE(error.isEmpty());
        ::close(in);
        ::close(out);
        const QByteArray copied = readAll(target);
        EXPECT_EQ(copied.left(4), "head");
        EXPECT_TRUE(copied.mid(4, bytes.size() - 13) == bytes.mid(13));
    }
}

// Between two file systems the kernel refuses on this kernel, and the copy goes on through the
// buffer without the caller noticing.
TEST(FileRangeCopy, FallsBackToTheBufferAcrossFileSystems)
{
    struct stat shm {};
    struct stat scratch {};
    const QString other = QStringLiteral("/dev/shm");
    if (::stat("/dev/shm", &shm) != 0 ||
        ::stat(QFile::encodeName(test::fixturePath({})).constData(), &scratch) != 0 ||
        shm.st_dev == scratch.st_dev)
        GTEST_SKIP() << "no second file system to copy from";
    const QString source = other + QStringLiteral("/murmelo-range-%1.bin").arg(::getpid());
    QByteArray bytes(100000, 'x');
    bytes[99999] = 'y';
    {
        QFile file(source);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    const QString target = test::fixturePath(QStringLiteral("range-across.bin"));
    QFile::remove(target);
    const int in = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC);
    const int out =
        ::open(QFile::encodeName(target).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    FileRangeCopy copier;
    QString error;
    const bool ok = copier.copy(in, 0, out, 0, bytes.size(), error);
    ::close(in);
    ::close(out);
    QFile::remove(source);
    EXPECT_TRUE(ok) << error.toStdString();
    EXPECT_EQ(readAll(target), bytes);
}

// At normal speed the merge joins the two data chunks under one header, and the file is the one
// sox writes for the same two files, byte for byte.
TEST(MergeCopy, FactorOneIsByteIdenticalToSoxForMonoAndStereo)
{
    for (int channels : {1, 2}) {
        test::PcmAudio b = test::rampAudio(7001, channels, 16);
        for (qint32 &s : b.samples)
            s = -s;
        const QString a = test::writeBytes(
            QStringLiteral("merge-a-%1.wav").arg(channels),
            riff(chunk("fmt ", fmtBody(channels, 44100, 16)) + chunk("LIST", kInfoList) +
                 chunk("data", pcmBytes(test::rampAudio(3000, channels, 16)))));
        const QString second = test::writeWav(QStringLiteral("merge-b-%1.wav").arg(channels), b);
        const QString ours = test::fixturePath(QStringLiteral("merge-ours.wav"));
        const QString sox = test::fixturePath(QStringLiteral("merge-sox.wav"));
        QFile::remove(ours);
        const AudioJobResult result = mergeAudioFiles(a, second, 1.0f, ours);
        ASSERT_EQ(result.status, AudioJobStatus::Finished) << result.error.toStdString();
        ASSERT_EQ(test::runShell(QStringLiteral("sox '%1' '%2' '%3'").arg(a, second, sox)), 0);
        EXPECT_TRUE(readAll(ours) == readAll(sox)) << channels << " channels";
    }
}

} // namespace
} // namespace murmelo
