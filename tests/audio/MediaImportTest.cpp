#include "AudioFixtures.h"
#include "support/FileSizeLimit.h"

#include "audio/MediaImport.h"
#include "audio/WavFile.h"
#include "platform/TemporaryFiles.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <cmath>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>

namespace murmelo {
namespace {

using Kind = MediaImportError::Kind;
constexpr double toneSeconds = 3.0;

// Makes `name` under the fixtures folder with a shell command ({out} is the path) once per run.
QString makeFixture(const QString &name, QString command)
{
    const QString path = test::fixturePath(name);
    if (!QFile::exists(path)) {
        command.replace(QStringLiteral("{out}"), QStringLiteral("'%1'").arg(path));
        EXPECT_EQ(test::runShell(command), 0) << command.toStdString();
    }
    return path;
}

QString ffmpeg(const QString &input, const QString &options)
{
    return QStringLiteral("ffmpeg -nostdin -loglevel error -y %1 %2 {out}").arg(input, options);
}

// A stereo 48 kHz tone that every encoded fixture starts from.
QString stereoTone()
{
    return makeFixture(
        QStringLiteral("tone48k.wav"),
        QStringLiteral("sox -n -r 48000 -c 2 -b 16 {out} synth %1 sine 440").arg(toneSeconds));
}

QString ffmpegFromTone(const QString &name, const QString &options)
{
    return makeFixture(name, ffmpeg(QStringLiteral("-i '%1'").arg(stereoTone()), options));
}

MediaImportError import(const QString &source, const QString &destination)
{
    std::atomic<bool> cancelled{false};
    return MediaImport::exportToWav(source, destination, cancelled);
}

// Checks the export's format and returns its frame count.
qint64 checkedOutputFrames(const QString &path)
{
    WavLayout layout;
    QString why;
    EXPECT_EQ(WavFile::inspect(path, layout, why), WavFile::Kind::Valid) << why.toStdString();
    EXPECT_TRUE(layout.isIntegerPcm());
    EXPECT_EQ(layout.channels, 2);
    EXPECT_EQ(layout.sampleRate, 44100);
    EXPECT_EQ(layout.bitsPerSample, 16);
    // The header's sizes must describe the file exactly, not just a prefix of it.
    EXPECT_EQ(layout.dataOffset + layout.frames * 4, QFileInfo(path).size());
    return layout.frames;
}

struct Source {
    const char *name;
    std::function<QString()> make;
};

void PrintTo(const Source &source, std::ostream *os)
{
    *os << source.name;
}

class ImportFormats : public ::testing::TestWithParam<Source> {};

TEST_P(ImportFormats, EndsAsStereo44kWavOfTheSameDuration)
{
    const QString source = GetParam().make();
    const QString out = TemporaryFiles::newPath(QStringLiteral(".wav"));
    const MediaImportError error = import(source, out);
    ASSERT_TRUE(error.ok()) << error.description.toStdString();
    const qint64 frames = checkedOutputFrames(out);
    EXPECT_NEAR(double(frames), toneSeconds * 44100, toneSeconds * 44100 * 0.01);
}

INSTANTIATE_TEST_SUITE_P(
    Songs, ImportFormats,
    ::testing::Values(
        Source{"mp3", [] { return ffmpegFromTone("tone.mp3", "-c:a libmp3lame -b:a 192k"); }},
        Source{"aac_m4a", [] { return ffmpegFromTone("tone-aac.m4a", "-c:a aac"); }},
        Source{"alac_m4a", [] { return ffmpegFromTone("tone-alac.m4a", "-c:a alac"); }},
        Source{"flac", [] { return ffmpegFromTone("tone.flac", "-c:a flac"); }},
        Source{"ogg_vorbis", [] { return ffmpegFromTone("tone.ogg", "-c:a libvorbis"); }},
        Source{"opus", [] { return ffmpegFromTone("tone.opus", "-c:a libopus"); }},
        Source{"aiff", [] { return ffmpegFromTone("tone.aiff", "-c:a pcm_s16be"); }},
        Source{"wav_8k_mono", [] { return ffmpegFromTone("tone8k.wav", "-ar 8000 -ac 1"); }},
        Source{"wav_22k", [] { return ffmpegFromTone("tone22k.wav", "-ar 22050"); }},
        Source{"wav_48k_float", [] { return ffmpegFromTone("tone48f.wav", "-c:a pcm_f32le"); }},
        Source{"flac_5_1",
               [] { return ffmpegFromTone("tone51.flac", "-af 'pan=5.1|c0=c0|c1=c1|c2=c0'"); }},
        Source{"mp4_with_video_first",
               [] {
                   return makeFixture(
                       "clip.mp4",
                       ffmpeg(QStringLiteral("-f lavfi -i testsrc=size=64x48:rate=10 -i '%1'")
                                  .arg(stereoTone()),
                              "-map 0:v -map 1:a -c:v mpeg4 -c:a aac -shortest"));
               }}),
    [](const auto &info) { return std::string(info.param.name); });

// Peak of one channel of an interleaved stereo export.
int peak(const test::PcmAudio &audio, int channel)
{
    int most = 0;
    for (qint64 i = 0; i < audio.frames(); ++i)
        most = std::max(most, std::abs(int(audio.samples[size_t(i * 2 + channel)])));
    return most;
}

TEST(ImportChannels, MonoReachesBothEarsAtFullLevelAndSurroundKeepsItsSides)
{
    const QString mono =
        makeFixture("mono-half.wav",
                    QStringLiteral("sox -n -r 44100 -c 1 -b 16 {out} synth 1 sine 300 vol 0.5"));
    const QString monoOut = TemporaryFiles::newPath(QStringLiteral(".wav"));
    ASSERT_TRUE(import(mono, monoOut).ok());
    const test::PcmAudio fromMono = test::readWav(monoOut);
    EXPECT_NEAR(peak(fromMono, 0), 16384, 400);
    EXPECT_EQ(peak(fromMono, 0), peak(fromMono, 1));

    // A tone on the front left only: the downmix must keep it on the left.
    const QString surround = ffmpegFromTone("left-only51.flac", "-af 'pan=5.1|c0=c0'");
    const QString surroundOut = TemporaryFiles::newPath(QStringLiteral(".wav"));
    ASSERT_TRUE(import(surround, surroundOut).ok());
    const test::PcmAudio fromSurround = test::readWav(surroundOut);
    EXPECT_GT(peak(fromSurround, 0), 8000);
    EXPECT_LT(peak(fromSurround, 1), 100);
}

// The import decodes with the same libavcodec decoders as the ffmpeg command, so both must give
// the same samples: songs at the import's rate (converted without the resampler, mono spread to
// both sides, as the ffmpeg command does when told to) and one at 48 kHz (through it).
TEST(ImportSamples, AreThoseTheFfmpegCommandGives)
{
    const QString noise =
        makeFixture(QStringLiteral("noise44k.wav"),
                    QStringLiteral("sox -R -n -r 44100 -c 2 -b 16 {out} synth 3 pinknoise "
                                   "synth 3 sine mix 440 vol 0.4"));
    const auto encoded = [&](const char *name, const char *options) {
        return makeFixture(QString::fromLatin1(name),
                           ffmpeg(QStringLiteral("-i '%1'").arg(noise), QLatin1String(options)));
    };
    const QString toStereo = QStringLiteral("-ac 2");
    const QString monoToBoth = QStringLiteral("-af 'pan=stereo|c0=c0|c1=c0'");
    const std::vector<std::pair<QString, QString>> songs = {
        {encoded("noise.mp3", "-c:a libmp3lame -b:a 192k"), toStereo},
        {encoded("noise-vbr-mono.mp3", "-c:a libmp3lame -q:a 6 -ac 1"), monoToBoth},
        {encoded("noise.m4a", "-c:a aac -b:a 256k"), toStereo},
        {encoded("noise.flac", "-c:a flac"), toStereo},
        {encoded("noise.ogg", "-c:a libvorbis"), toStereo},
        {ffmpegFromTone("tone.mp3", "-c:a libmp3lame -b:a 192k"), toStereo},
    };
    for (const auto &[song, channels] : songs) {
        const QString ours = TemporaryFiles::newPath(QStringLiteral(".wav"));
        const QString theirs = TemporaryFiles::newPath(QStringLiteral(".wav"));
        ASSERT_TRUE(import(song, ours).ok()) << song.toStdString();
        ASSERT_EQ(test::runShell(QStringLiteral("ffmpeg -nostdin -loglevel error -y -i '%1' -ar "
                                                "44100 %2 -sample_fmt s16 '%3'")
                                     .arg(song, channels, theirs)),
                  0);
        const test::PcmAudio a = test::readWav(ours), b = test::readWav(theirs);
        EXPECT_EQ(a.frames(), b.frames()) << song.toStdString();
        EXPECT_TRUE(a.samples == b.samples) << song.toStdString();
        QFile::remove(ours);
        QFile::remove(theirs);
    }
}

TEST(ImportFailures, FilesThatCannotBeReadAreProtectedMediaAndLeaveNoFile)
{
    const QString folder = test::fixturePath("folder.mp3");
    QDir().mkpath(folder);
    const QString fifo = test::fixturePath("pipe.m4a");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QByteArray noise(64 * 1024, '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 7919 + (i >> 3) * 104729) & 0xFF);
    const QString garbage = test::writeBytes("noise.mp3", noise);
    const QString videoOnly = makeFixture(
        "video-only.mp4", ffmpeg("-f lavfi -i testsrc=size=64x48:rate=10 -t 1", "-c:v mpeg4"));
    // Without its index (written last by default), an m4a cut in half cannot be opened.
    const QString aac = ffmpegFromTone("cut-source.m4a", "-c:a aac");
    QFile whole(aac);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QString cut = test::writeBytes("cut.m4a", whole.read(whole.size() / 2));

    for (const QString &source :
         {folder, fifo, garbage, videoOnly, cut, test::fixturePath("missing.mp3")}) {
        const QString out = TemporaryFiles::newPath(QStringLiteral(".wav"));
        const MediaImportError error = import(source, out); // a FIFO must not block
        EXPECT_EQ(error.kind, Kind::Unreadable) << source.toStdString();
        EXPECT_FALSE(error.description.isEmpty());
        EXPECT_FALSE(QFile::exists(out)) << source.toStdString();
        EXPECT_TRUE(MediaImport::needsAlert(error));
        EXPECT_EQ(MediaImport::alertMessage(error), "Unable to access DRM protected media.");
    }
}

TEST(ImportFailures, DamagedBodyIsAReadFailureAndLeavesNoFile)
{
    // The stream header is intact but every packet after it is noise.
    const QString flac = ffmpegFromTone("damage-source.flac", "-c:a flac");
    QFile file(flac);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll();
    for (qsizetype i = 8192; i < bytes.size(); ++i)
        bytes[i] = char((i * 2654435761u) >> 13);
    const QString damaged = test::writeBytes("damaged.flac", bytes);
    const QString out = TemporaryFiles::newPath(QStringLiteral(".wav"));
    const MediaImportError error = import(damaged, out);
    EXPECT_EQ(error.kind, Kind::ReadFailed);
    EXPECT_FALSE(QFile::exists(out));
    EXPECT_TRUE(MediaImport::alertMessage(error).contains(error.description));

    // A file that merely ends early still gives what it holds, as players do.
    file.seek(0);
    const QByteArray original = file.readAll();
    const QString cut = test::writeBytes("cut.flac", original.left(original.size() / 2));
    const QString cutOut = TemporaryFiles::newPath(QStringLiteral(".wav"));
    ASSERT_TRUE(import(cut, cutOut).ok());
    EXPECT_NEAR(double(checkedOutputFrames(cutOut)), toneSeconds / 2 * 44100, toneSeconds * 4410);
}

TEST(ImportFailures, WriteFailureStopsAndRemovesTheFile)
{
    const QString source = ffmpegFromTone("tone.flac", "-c:a flac");
    // A link at the destination is replaced by the finished file, never written through.
    const QString link = TemporaryFiles::newPath(QStringLiteral(".wav"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), link));
    MediaImportError error = import(source, link);
    EXPECT_TRUE(error.ok()) << error.description.toStdString();
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    EXPECT_GT(checkedOutputFrames(link), 0);

    error = import(source, test::fixturePath("no/such/folder/out.wav"));
    EXPECT_TRUE(MediaImport::alertMessage(error).contains(error.description));
    EXPECT_EQ(error.kind, Kind::WriteFailed);

    // The disk fills part-way through the song.
    const QString out = TemporaryFiles::newPath(QStringLiteral(".wav"));
    {
        test::FileSizeLimit limit(200 * 1024);
        error = import(source, out);
    }
    EXPECT_EQ(error.kind, Kind::WriteFailed);
    EXPECT_FALSE(QFile::exists(out));
}

TEST(ImportCancel, CancellingMidWayRemovesThePartialFile)
{
    const QString source = ffmpegFromTone("tone.flac", "-c:a flac");
    const QString out = TemporaryFiles::newPath(QStringLiteral(".wav"));
    std::atomic<bool> cancelled{false};
    bool partialWhileRunning = false;
    const QDir folder = QFileInfo(out).absoluteDir();
    const auto partials = [&] {
        return folder.entryList({QStringLiteral(".*.part")}, QDir::Files | QDir::Hidden);
    };
    const MediaImportError error =
        MediaImport::exportToWav(source, out, cancelled, [&](double fraction) {
            if (fraction >= 0.3) {
                // Written under a hidden name: the destination only ever holds a whole file.
                partialWhileRunning = !partials().isEmpty() && !QFile::exists(out);
                cancelled = true;
            }
        });
    EXPECT_EQ(error.kind, Kind::Cancelled);
    EXPECT_TRUE(partialWhileRunning);
    EXPECT_FALSE(QFile::exists(out));
    EXPECT_TRUE(partials().isEmpty());
    EXPECT_FALSE(MediaImport::needsAlert(error));
}

TEST(ImportInBackground, ReportsProgressAndCompletionOnTheMainThread)
{
    const QString source = ffmpegFromTone("tone.ogg", "-c:a libvorbis");
    const QString out = TemporaryFiles::newPath(QStringLiteral(".wav"));
    QList<double> fractions;
    bool allOnMain = true;
    std::optional<MediaImportError> result;
    MediaImport::exportInBackground(
        source, out, std::make_shared<std::atomic<bool>>(false),
        [&](double f) {
            allOnMain =
                allOnMain && QThread::currentThread() == QCoreApplication::instance()->thread();
            fractions << f;
        },
        [&](const MediaImportError &error) {
            allOnMain =
                allOnMain && QThread::currentThread() == QCoreApplication::instance()->thread();
            result = error;
        });
    ASSERT_TRUE(test::waitUntil([&] { return result.has_value(); }));
    EXPECT_TRUE(result->ok());
    EXPECT_TRUE(allOnMain);
    ASSERT_FALSE(fractions.isEmpty());
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
    EXPECT_DOUBLE_EQ(fractions.last(), 1.0);
    EXPECT_NEAR(double(checkedOutputFrames(out)), toneSeconds * 44100, toneSeconds * 441);
}

} // namespace
} // namespace murmelo
