#include "PublishFixture.h"
#include "publish/Mp3Encoder.h"
#include "publish/PageHtml.h"
#include "support/TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryFile>
#include <gtest/gtest.h>

namespace murmelo {
namespace {

class PublishPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder =
            test::scratchRoot() + QStringLiteral("/publish-") +
            QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name());
        QDir().mkpath(folder);
    }

    PublishResult publish(const PublishSource &source, const QString &target,
                          PublishOptions options = {})
    {
        return PagePublisher::publish(source, options, target, never);
    }

    QString folder;
    std::atomic<bool> never{false};
};

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What an MP3 decodes to with FFmpeg, as mono floats at `rate`.
// Decoded from a file, as a browser reads the whole clip: read through a pipe, FFmpeg's MP3
// reader cannot reach the encoder's gapless note and keeps the padding (up to 40 ms at 8 kHz).
qint64 decodedFrames(const QByteArray &mp3, int rate)
{
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/clip-XXXXXX.mp3"));
    if (!file.open() || file.write(mp3) != mp3.size() || !file.flush())
        return -1;
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {"-v", "error", "-i", file.fileName(), "-f", "f32le",
                                            "-ac", "1", "-ar", QString::number(rate), "pipe:1"});
    ffmpeg.waitForFinished(60000);
    return ffmpeg.exitCode() == 0 ? ffmpeg.readAllStandardOutput().size() / 4 : -1;
}

TEST_F(PublishPage, ThreeMarkersOneHostileParseSafelyAndEachClipIsItsStretch)
{
    const test::AudioPair pair = test::makePair(folder, 6.0);
    const PublishSource source = test::threeMarkers(pair);
    const QString page = folder + QStringLiteral("/page.html");
    const PublishResult result = publish(source, page);
    ASSERT_TRUE(result.published()) << result.error.toStdString();
    EXPECT_EQ(result.page, page);
    EXPECT_EQ(result.bytes, QFileInfo(page).size());

    QString output;
    EXPECT_EQ(test::checkPage(page, test::expectations(source, pair, true, false), output), 0)
        << output.toStdString();

    // The footer names the forward file's digest; the hostile text never appears raw.
    const QByteArray html = contents(page);
    const QByteArray digest =
        QCryptographicHash::hash(contents(pair.forward), QCryptographicHash::Sha256).toHex();
    EXPECT_TRUE(html.contains(digest));
    EXPECT_FALSE(html.contains(test::hostileText().toUtf8()));
    // A phone's worth: six seconds of mono audio in six clips stays small.
    EXPECT_LT(result.bytes, 400 * 1024);
}

TEST_F(PublishPage, FolderHoldsThePageAndItsClipsAsFiles)
{
    const test::AudioPair pair = test::makePair(folder, 6.0);
    PublishSource source = test::threeMarkers(pair);
    source.markers.removeLast();
    const QString site = folder + QStringLiteral("/site/find");
    PublishOptions options;
    options.folder = true;
    options.slowFactor = 0.5;
    const PublishResult result = publish(source, site, options);
    ASSERT_TRUE(result.published()) << result.error.toStdString();
    EXPECT_EQ(result.page, site + QStringLiteral("/index.html"));
    EXPECT_EQ(QDir(site).entryList(QDir::Files).size(), 7); // index.html and six clips
    QString output;
    EXPECT_EQ(
        test::checkPage(result.page, test::expectations(source, pair, true, true, "0.5"), output),
        0)
        << output.toStdString();
}

TEST_F(PublishPage, LongRecordingsAskForAFolderOrKeepOnlyTheirPhrases)
{
    // Eight minutes at 8 kHz: with its forward twin, more audio than one page may carry.
    const test::AudioPair pair = test::makePair(folder, 8 * 60, 8000);
    PublishSource source;
    source.title = QStringLiteral("long");
    source.message = QStringLiteral("heard in all of it");
    source.forwardPath = pair.forward;
    source.reversePath = pair.reversal;
    const QString page = folder + QStringLiteral("/long.html");

    const PublishResult refused = publish(source, page);
    EXPECT_EQ(refused.status, PublishResult::Status::Failed);
    EXPECT_TRUE(refused.error.contains(QStringLiteral("--folder"))) << refused.error.toStdString();
    EXPECT_TRUE(refused.error.contains(QStringLiteral("mark the phrases")));
    EXPECT_FALSE(QFileInfo::exists(page));

    source.markers = {{0, {8000 * 60, 8000 * 62}, QStringLiteral("two seconds")}};
    const PublishResult phrases = publish(source, page);
    ASSERT_TRUE(phrases.published()) << phrases.error.toStdString();
    EXPECT_FALSE(phrases.note.isEmpty());
    QString output;
    EXPECT_EQ(test::checkPage(page, test::expectations(source, pair, false, false), output), 0)
        << output.toStdString();
}

TEST_F(PublishPage, BadInputFailsClearlyAndLeavesAnEarlierPageAlone)
{
    const test::AudioPair pair = test::makePair(folder, 2.0);
    const QString page = folder + QStringLiteral("/page.html");
    QFile earlier(page);
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write("earlier page");
    earlier.close();

    PublishSource source = test::threeMarkers(pair);
    source.markers.clear();

    // Files that do not belong together, a missing file, a speed that is no slowing down.
    const test::AudioPair other = test::makePair(folder + QStringLiteral("/other"), 3.0);
    source.forwardPath = other.forward;
    PublishResult result = publish(source, page);
    EXPECT_EQ(result.status, PublishResult::Status::Failed);
    EXPECT_TRUE(result.error.contains(QStringLiteral("not the same length")));

    source.forwardPath = folder + QStringLiteral("/missing.wav");
    result = publish(source, page);
    EXPECT_EQ(result.status, PublishResult::Status::Failed);
    EXPECT_TRUE(result.error.contains(QStringLiteral("missing.wav"))) << result.error.toStdString();

    source.forwardPath = pair.forward;
    PublishOptions options;
    options.slowFactor = 1.5;
    result = publish(source, page, options);
    EXPECT_EQ(result.status, PublishResult::Status::Failed);

    // Cancelled half-way: nothing replaces the earlier page, no unfinished file stays.
    std::atomic<bool> cancel{false};
    result = PagePublisher::publish(source, {}, page, cancel, [&](double fraction) {
        if (fraction > 0.2)
            cancel = true;
    });
    EXPECT_EQ(result.status, PublishResult::Status::Cancelled);
    EXPECT_EQ(contents(page), QByteArray("earlier page"));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 3)
        << QDir(folder).entryList(QDir::Files | QDir::Hidden).join(' ').toStdString();

    // Markers that hold no audio (a point, one past the end) are left out, not failed on.
    source.markers = {{0, {100, 100}, QStringLiteral("point")},
                      {0, {pair.frames + 10, pair.frames + 500}, QStringLiteral("past")}};
    result = publish(source, page);
    ASSERT_TRUE(result.published()) << result.error.toStdString();
    EXPECT_FALSE(contents(page).contains("phrase-01"));
}

TEST_F(PublishPage, EveryWavEncodingBecomesAnMp3OfTheSameLength)
{
    // Sample widths, float, stereo and a rate the MP3 encoder cannot take (resampled).
    const std::vector<test::WavFormat> formats = {{8000, 1, 16, false},  {22050, 1, 8, false},
                                                  {22050, 1, 32, true},  {96000, 2, 24, false},
                                                  {48000, 2, 16, false}, {44100, 3, 32, false}};
    for (const test::WavFormat &format : formats) {
        const QString path = folder + QStringLiteral("/in-%1-%2-%3.wav")
                                          .arg(format.rate)
                                          .arg(format.channels)
                                          .arg(format.bits);
        const std::vector<float> mono = test::speechLike(1.3, format.rate, 3);
        std::vector<float> samples;
        for (float sample : mono)
            for (int c = 0; c < format.channels; ++c)
                samples.push_back(sample * (c == 0 ? 1.0f : 0.5f));
        ASSERT_TRUE(test::writeWav(path, samples, format));
        QString error;
        const FrameRange range{qint64(format.rate * 0.2), qint64(format.rate * 1.1)};
        const auto mp3 = Mp3Encoder::encode(path, range, never, {}, error);
        ASSERT_TRUE(mp3) << error.toStdString();
        // The encoder's priming and padding are noted in the file and taken off again: the
        // clip is as long as its stretch to the millisecond, at every rate.
        const qint64 frames = decodedFrames(*mp3, 44100);
        EXPECT_NEAR(frames / 44100.0, 0.9, 0.002) << path.toStdString();
    }
}

TEST(PageText, UserTextIsEscapedAndCharactersHtmlForbidsAreReplaced)
{
    EXPECT_EQ(PageHtml::escaped(QStringLiteral("<a href='x'>&\"</a>")),
              QStringLiteral("&lt;a href=&#39;x&#39;&gt;&amp;&quot;&lt;/a&gt;"));
    // Controls, noncharacters and a lone surrogate cannot stand in an HTML document.
    QString odd = QStringLiteral("a\x01"
                                 "b\x7f"
                                 "c");
    odd += QChar(0x85);
    odd += QChar(0xfdd0);
    odd += QChar(0xd800);
    odd += QStringLiteral("d\r\ne\rf\tg");
    EXPECT_EQ(PageHtml::escaped(odd),
              QStringLiteral("a\uFFFDb\uFFFDc\uFFFD\uFFFD\uFFFDd\ne\nf\tg"));
    EXPECT_EQ(PageHtml::escaped(QStringLiteral("naïve 日本 🎧")), QStringLiteral("naïve 日本 🎧"));
}

} // namespace
} // namespace murmelo
