#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <gtest/gtest.h>

namespace murmelo {
namespace {

using Outcome = test::ProcessOutcome;

Outcome murmelo(const QStringList &arguments)
{
    const Outcome outcome = test::runMurmelo(arguments);
    EXPECT_NE(outcome.exitCode, -1) << "murmelo crashed or hung";
    return outcome;
}

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder =
            test::scratchRoot() + QStringLiteral("/cli-") +
            QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name());
        QDir().mkpath(folder);
    }

    QString path(const QString &name) const { return folder + QLatin1Char('/') + name; }

    QString soxFile(const QString &name, const QString &options)
    {
        const QString file = path(name);
        EXPECT_EQ(
            test::runShell(QStringLiteral("sox -n %1 '%2' synth 1 sine 440").arg(options, file)),
            0);
        return file;
    }

    // Frame count as sox reads it: an outside check of what we wrote.
    qint64 soxFrames(const QString &file)
    {
        QProcess soxi;
        soxi.start(QStringLiteral("soxi"), {QStringLiteral("-s"), file});
        soxi.waitForFinished();
        return soxi.exitCode() == 0 ? soxi.readAllStandardOutput().trimmed().toLongLong() : -1;
    }

    QString folder;
};

TEST_F(CommandLine, ReverseWritesBesideTheInputWithoutReplacingAnything)
{
    const QString in = soxFile(QStringLiteral("voice.wav"), QStringLiteral("-r 44100 -c 2"));
    const Outcome first = murmelo({QStringLiteral("reverse"), in});
    ASSERT_EQ(first.exitCode, 0) << first.err.toStdString();
    EXPECT_EQ(first.out.trimmed(), path(QStringLiteral("voice-reversed.wav")));
    EXPECT_TRUE(first.err.isEmpty()) << "no progress bar when stderr is not a terminal";
    const Outcome second = murmelo({QStringLiteral("reverse"), in});
    EXPECT_EQ(second.out.trimmed(), path(QStringLiteral("voice-reversed-2.wav")));
    EXPECT_EQ(soxFrames(second.out.trimmed()), 44100);
    EXPECT_EQ(soxFrames(in), 44100);
}

TEST_F(CommandLine, ReverseWithOutputAndWaveform)
{
    const QString in = soxFile(QStringLiteral("in.wav"), QStringLiteral("-r 22050 -c 1 -b 24"));
    const Outcome run = murmelo({QStringLiteral("reverse"), in, QStringLiteral("-o"),
                                 path(QStringLiteral("out.wav")), QStringLiteral("--waveform"),
                                 path(QStringLiteral("out.png"))});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_EQ(soxFrames(path(QStringLiteral("out.wav"))), 22050);
    EXPECT_EQ(QImage(path(QStringLiteral("out.png"))).size(), QSize(225, 54));
}

TEST_F(CommandLine, WaveformMergeAndClip)
{
    const QString a = soxFile(QStringLiteral("a.wav"), QStringLiteral("-r 8000 -c 1"));
    const QString b = soxFile(QStringLiteral("b.wav"), QStringLiteral("-r 8000 -c 1"));

    EXPECT_EQ(
        murmelo({QStringLiteral("waveform"), a, QStringLiteral("-o"), path(QStringLiteral("w.png")),
                 QStringLiteral("--size"), QStringLiteral("100x40"), QStringLiteral("--bar-width"),
                 QStringLiteral("5")})
            .exitCode,
        0);
    EXPECT_EQ(QImage(path(QStringLiteral("w.png"))).size(), QSize(100, 40));

    EXPECT_EQ(murmelo({QStringLiteral("merge"), a, b, QStringLiteral("-o"),
                       path(QStringLiteral("m.wav"))})
                  .exitCode,
              0);
    EXPECT_EQ(soxFrames(path(QStringLiteral("m.wav"))), 16000);
    EXPECT_EQ(murmelo({QStringLiteral("merge"), a, b, QStringLiteral("--factor"),
                       QStringLiteral("2"), QStringLiteral("-o"), path(QStringLiteral("f.wav"))})
                  .exitCode,
              0);
    EXPECT_NEAR(double(soxFrames(path(QStringLiteral("f.wav")))), 8000.0, 20.0);

    EXPECT_EQ(murmelo({QStringLiteral("clip"), a, QStringLiteral("--start"), QStringLiteral("0.25"),
                       QStringLiteral("--end"), QStringLiteral("0.5"), QStringLiteral("-o"),
                       path(QStringLiteral("c.wav"))})
                  .exitCode,
              0);
    EXPECT_EQ(soxFrames(path(QStringLiteral("c.wav"))), 2000);
}

TEST_F(CommandLine, SongsAreImportedBeforeTheyAreReversed)
{
    const QString song = soxFile(QStringLiteral("song.flac"), QStringLiteral("-r 48000 -c 2"));
    const Outcome imported = murmelo(
        {QStringLiteral("import"), song, QStringLiteral("-o"), path(QStringLiteral("song.wav"))});
    ASSERT_EQ(imported.exitCode, 0) << imported.err.toStdString();
    EXPECT_EQ(soxFrames(path(QStringLiteral("song.wav"))), 44100);

    const Outcome reversed = murmelo({QStringLiteral("reverse"), song, QStringLiteral("-o"),
                                      path(QStringLiteral("r.wav")), QStringLiteral("--waveform"),
                                      path(QStringLiteral("r.png"))});
    ASSERT_EQ(reversed.exitCode, 0) << reversed.err.toStdString();
    EXPECT_EQ(soxFrames(path(QStringLiteral("r.wav"))), 44100);
    EXPECT_EQ(QImage(path(QStringLiteral("r.png"))).size(), QSize(225, 54));
    EXPECT_EQ(murmelo({QStringLiteral("waveform"), song, QStringLiteral("-o"),
                       path(QStringLiteral("w.png"))})
                  .exitCode,
              0);
    EXPECT_FALSE(QImage(path(QStringLiteral("w.png"))).isNull());

    QFile garbage(path(QStringLiteral("damaged.mp3")));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(8192, '\x7f'));
    garbage.close();
    for (const QString &command : {QStringLiteral("import"), QStringLiteral("reverse")}) {
        const Outcome run = murmelo(
            {command, garbage.fileName(), QStringLiteral("-o"), path(QStringLiteral("never.wav"))});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.contains(QStringLiteral("cannot be read as audio")))
            << run.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("never.wav"))));
}

// The brightest row of a column: brighter is louder.
int brightestRow(const QImage &image, int x)
{
    int best = 0;
    const auto lightness = [&image, x](int y) { return qGray(image.pixel(x, y)); };
    for (int y = 1; y < image.height(); ++y)
        if (lightness(y) > lightness(best))
            best = y;
    return best;
}

TEST_F(CommandLine, SpectrogramDrawsTheWholeFileAndKeepsAnOldPictureOnFailure)
{
    // A second of 440 Hz, then one of 2 kHz, as a FLAC song (imported first) and as WAV.
    const QString song = path(QStringLiteral("tones.flac"));
    ASSERT_EQ(test::runShell(QStringLiteral("sox -n -r 44100 -c 2 '%1' synth 1 sine 440 : "
                                            "synth 1 sine 2000")
                                 .arg(song)),
              0);
    const QString png = path(QStringLiteral("s.png"));
    const Outcome linear = murmelo({QStringLiteral("spectrogram"), song, QStringLiteral("-o"), png,
                                    QStringLiteral("--size"), QStringLiteral("80x1025")});
    ASSERT_EQ(linear.exitCode, 0) << linear.err.toStdString();
    QImage image(png);
    ASSERT_EQ(image.size(), QSize(80, 1025));
    // Row y shows bin 1024 - y: 440 Hz is bin 20.4, 2 kHz bin 92.9.
    EXPECT_NEAR(1024 - brightestRow(image, 20), 440 / (44100.0 / 2048), 1.0);
    EXPECT_NEAR(1024 - brightestRow(image, 60), 2000 / (44100.0 / 2048), 1.0);
    const Outcome logarithmic = murmelo(
        {QStringLiteral("spectrogram"), song, QStringLiteral("-o"), png, QStringLiteral("--log")});
    ASSERT_EQ(logarithmic.exitCode, 0) << logarithmic.err.toStdString();
    image = QImage(png);
    ASSERT_EQ(image.size(), QSize(1024, 512));
    // On a log axis from 21.5 Hz up, the octave above 440 Hz is as tall as any other.
    EXPECT_LT(brightestRow(image, 700), brightestRow(image, 200));

    // A file that is no audio leaves the picture that was there as it was, and no stray file.
    QFile damaged(path(QStringLiteral("damaged.wav")));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray("RIFF\x24\0\0\0WAVEfmt ", 16) + QByteArray(64, '\x01'));
    damaged.close();
    const QByteArray before = [&png] {
        QFile file(png);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    const Outcome refused =
        murmelo({QStringLiteral("spectrogram"), damaged.fileName(), QStringLiteral("-o"), png});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.startsWith(QStringLiteral("murmelo: "))) << refused.err.toStdString();
    QFile after(png);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), before);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 3);
}

TEST_F(CommandLine, BadFilesFailWithExitCodeOneAndAReason)
{
    const QString text = path(QStringLiteral("notes.wav"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("shopping list: eggs, milk\n");
    file.close();
    const QString missing = path(QStringLiteral("missing.wav"));
    const QString out = path(QStringLiteral("out.wav"));
    const QList<QStringList> runs = {
        {QStringLiteral("reverse"), text, QStringLiteral("-o"), out},
        {QStringLiteral("reverse"), missing},
        {QStringLiteral("waveform"), text, QStringLiteral("-o"), path(QStringLiteral("x.png"))},
        {QStringLiteral("spectrogram"), text, QStringLiteral("-o"), path(QStringLiteral("x.png"))},
        {QStringLiteral("spectrogram"), missing, QStringLiteral("-o"),
         path(QStringLiteral("x.png"))},
        {QStringLiteral("merge"), text, missing, QStringLiteral("-o"), out},
        {QStringLiteral("clip"), text, QStringLiteral("--start"), QStringLiteral("0"),
         QStringLiteral("--end"), QStringLiteral("1"), QStringLiteral("-o"), out},
    };
    for (const QStringList &arguments : runs) {
        const Outcome run = murmelo(arguments);
        EXPECT_EQ(run.exitCode, 1) << arguments.join(' ').toStdString();
        EXPECT_TRUE(run.err.startsWith(QStringLiteral("murmelo: "))) << run.err.toStdString();
    }
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("notes.wav")});
}

TEST_F(CommandLine, BadUsageExitsWithTwo)
{
    const QString in = soxFile(QStringLiteral("in.wav"), QStringLiteral("-r 8000 -c 1"));
    const QString out = path(QStringLiteral("o.wav"));
    const QList<QStringList> runs = {
        {QStringLiteral("reverse")},
        {QStringLiteral("reverse"), in, in},
        {QStringLiteral("reverse"), in, QStringLiteral("--bogus")},
        {QStringLiteral("waveform"), in},
        {QStringLiteral("waveform"), in, QStringLiteral("-o"), out, QStringLiteral("--size"),
         QStringLiteral("0x10")},
        {QStringLiteral("spectrogram"), in},
        {QStringLiteral("spectrogram"), in, QStringLiteral("-o"), out, QStringLiteral("--size"),
         QStringLiteral("640")},
        {QStringLiteral("merge"), in, QStringLiteral("-o"), out},
        {QStringLiteral("merge"), in, in, QStringLiteral("--factor"), QStringLiteral("fast"),
         QStringLiteral("-o"), out},
        {QStringLiteral("clip"), in, QStringLiteral("--start"), QStringLiteral("0.6"),
         QStringLiteral("--end"), QStringLiteral("0.5"), QStringLiteral("-o"), out},
        {QStringLiteral("clip"), in, QStringLiteral("--start"), QStringLiteral("-1"),
         QStringLiteral("--end"), QStringLiteral("0.5"), QStringLiteral("-o"), out},
        {QStringLiteral("help"), QStringLiteral("nothing")},
    };
    for (const QStringList &arguments : runs) {
        const Outcome run = murmelo(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(run.err.startsWith(QStringLiteral("murmelo: "))) << run.err.toStdString();
        EXPECT_FALSE(QFile::exists(out));
    }
}

TEST_F(CommandLine, HelpAndVersion)
{
    for (const QString &word :
         {QStringLiteral("--help"), QStringLiteral("-h"), QStringLiteral("help")}) {
        const Outcome run = murmelo({word});
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_TRUE(run.out.contains(QStringLiteral("reverse")));
    }
    const Outcome version = murmelo({QStringLiteral("-V")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.trimmed(), QStringLiteral("murmelo " MURMELO_VERSION));
    EXPECT_TRUE(murmelo({QStringLiteral("clip"), QStringLiteral("--help")})
                    .out.startsWith(QStringLiteral("Usage: murmelo clip")));
}

} // namespace
} // namespace murmelo
