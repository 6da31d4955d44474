#include "AudioFixtures.h"

#include "audio/WaveformEnvelope.h"
#include "audio/WaveformImage.h"

#include <QColor>
#include <cmath>
#include <gtest/gtest.h>
#include <random>

namespace murmelo {
namespace {

using test::PcmAudio;

const QSizeF callerSize(225, 54);
constexpr double callerBarWidth = 4;
const QRgb barColour = qRgba(0x0c, 0xdb, 0xd2, 0xff);

PcmAudio constantAudio(qint64 frames, std::vector<qint32> frameValues, int rate = 44100)
{
    PcmAudio audio{rate, int(frameValues.size()), 16, {}};
    for (qint64 f = 0; f < frames; ++f)
        audio.samples.insert(audio.samples.end(), frameValues.begin(), frameValues.end());
    return audio;
}

PcmAudio squareAudio(qint64 frames, int channels)
{
    PcmAudio audio{44100, channels, 16, {}};
    for (qint64 f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c)
            audio.samples.push_back((f / 50) % 2 ? 32767 : -32767);
    return audio;
}

QImage picture(const QString &name, const PcmAudio &audio)
{
    return waveformImage(test::writeWav(name, audio), callerSize, callerBarWidth);
}

bool isEmptyPicture(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) != 0)
                return false;
    return true;
}

TEST(WaveformLevels, TableMatchesTheFormulaForEveryMagnitude)
{
    const auto &table = WaveformEnvelope::levelTable();
    for (int m = 0; m <= 32768; ++m) {
        const float direct =
            std::max(-50.0f, std::min(0.0f, float(20.0 * std::log10(double(float(m)) / 32767.0))));
        ASSERT_EQ(table[m], direct) << "magnitude " << m;
        // Sums are kept in whole units: each level must be one exactly.
        ASSERT_EQ(
            std::ldexp(double(WaveformEnvelope::levelUnits()[m]), -WaveformEnvelope::unitShift),
            double(table[m]))
            << "magnitude " << m;
    }
    EXPECT_EQ(WaveformEnvelope::level(-32768), 0.0f);
    EXPECT_EQ(WaveformEnvelope::level(0), -50.0f);
}

TEST(WaveformImage, SilenceAndFilesShorterThanABucketGiveAnEmptyPictureOfTheRightSize)
{
    for (const QImage &image : {picture(QStringLiteral("silence.wav"), constantAudio(200000, {0})),
                                picture(QStringLiteral("short.wav"), squareAudio(882, 1))}) {
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(225, 54));
        EXPECT_EQ(image.format(), QImage::Format_ARGB32);
        EXPECT_TRUE(isEmptyPicture(image));
    }
}

TEST(WaveformImage, BucketsOf883FramesGive56BarsFourPointsApart)
{
    // Full scale in every bucket: each bar reaches from the centre gap to the picture's edge.
    const QImage image = picture(QStringLiteral("square.wav"), squareAudio(883 * 112, 1));
    ASSERT_FALSE(image.isNull());
    for (int i = 0; i < 56; ++i) {
        const int x = 2 + 4 * i;
        for (int px : {x, x + 1}) {
            EXPECT_EQ(image.pixel(px, 0), barColour) << "bar " << i;
            EXPECT_EQ(image.pixel(px, 24), barColour) << "bar " << i;
            EXPECT_EQ(qAlpha(image.pixel(px, 26)), 0) << "centre gap at bar " << i;
            EXPECT_EQ(image.pixel(px, 29), barColour) << "bar " << i;
            EXPECT_EQ(image.pixel(px, 53), barColour) << "bar " << i;
        }
        EXPECT_EQ(qAlpha(image.pixel(x + 2, 40)), 0) << "gap after bar " << i;
        EXPECT_EQ(qAlpha(image.pixel(x - 1, 40)), 0) << "gap before bar " << i;
    }
}

TEST(WaveformImage, StereoDrawsLeftBelowAndRightAbove)
{
    PcmAudio audio = squareAudio(883 * 56, 2);
    for (size_t i = 1; i < audio.samples.size(); i += 2)
        audio.samples[i] = 0;
    const QImage image = picture(QStringLiteral("left-only.wav"), audio);
    for (int i = 0; i < 56; ++i) {
        const int x = 2 + 4 * i;
        EXPECT_EQ(image.pixel(x, 29), barColour);
        EXPECT_EQ(image.pixel(x, 53), barColour);
        // The silent right channel keeps its one-point bar just above the centre gap.
        EXPECT_EQ(image.pixel(x, 24), barColour);
        EXPECT_EQ(qAlpha(image.pixel(x, 23)), 0);
    }
}

TEST(WaveformImage, FilesWithMoreThanTwoChannelsAreMeasuredOnTheFirst)
{
    PcmAudio mono = test::rampAudio(883 * 60, 1, 16);
    PcmAudio surround{44100, 4, 16, {}};
    for (qint32 s : mono.samples)
        surround.samples.insert(surround.samples.end(), {s, 32767, 0, -32768});
    EXPECT_EQ(picture(QStringLiteral("four.wav"), surround),
              picture(QStringLiteral("mono.wav"), mono));
}

TEST(WaveformEnvelope, OurReaderAndLibsoxAgree)
{
    for (int bits : {8, 16, 24, 32}) {
        PcmAudio audio = test::rampAudio(883 * 30 + 17, 2, bits == 24 ? 24 : 16);
        audio.bits = bits;
        if (bits == 8)
            for (qint32 &s : audio.samples)
                s /= 256;
        if (bits == 32)
            for (qint32 &s : audio.samples)
                s = s * 65536 + (s & 0xFFFF) * 3;
        const QString path = test::writeWav(QStringLiteral("agree-%1.wav").arg(bits), audio);
        QString error;
        const auto ours = EnvelopeReader::readPcmWav(path, error);
        const auto sox = EnvelopeReader::readWithSox(path, error);
        ASSERT_TRUE(ours && sox) << error.toStdString();
        EXPECT_EQ(ours->values().size(), 60u);
        EXPECT_EQ(ours->values(), sox->values()) << bits << "-bit";
        EXPECT_EQ(ours->normalizeMax(), sox->normalizeMax());
    }
}

// Each bucket's value is the mean of its samples' levels as a plain sum in double precision
// gives it, at the rates recordings come in and at a rate far above them.
TEST(WaveformEnvelope, BucketsHoldTheMeanLevelOfTheirSamples)
{
    std::mt19937 random(3);
    for (int rate : {8000, 44100, 192000}) {
        const qint64 bucket = rate / 50 + 1;
        PcmAudio audio{rate, 2, 16, {}};
        for (qint64 i = 0; i < bucket * 6 * 2; ++i)
            audio.samples.push_back(qint32(qint16(random())) >> (i % 7));
        QString error;
        const auto envelope = EnvelopeReader::readPcmWav(
            test::writeWav(QStringLiteral("mean-%1.wav").arg(rate), audio), error);
        ASSERT_TRUE(envelope) << error.toStdString();
        ASSERT_EQ(envelope->values().size(), 12u);
        for (int b = 0; b < 6; ++b) {
            for (int c = 0; c < 2; ++c) {
                double sum = 0;
                for (qint64 f = b * bucket; f < (b + 1) * bucket; ++f)
                    sum += WaveformEnvelope::level(qint16(audio.samples[size_t(f * 2 + c)]));
                EXPECT_EQ(envelope->values()[size_t(b * 2 + c)], float(sum / double(float(bucket))))
                    << rate << " Hz, bucket " << b << ", channel " << c;
            }
        }
    }
}

TEST(AudioImageGraph, DegenerateGeometryDrawsNoBars)
{
    const std::vector<float> envelope(100, -10.0f);
    // Narrower than one bar, a silent maximum, and no buckets at all.
    EXPECT_TRUE(isEmptyPicture(audioImageGraph(envelope, -10.0f, 100, 1, QSizeF(3, 54), 4)));
    EXPECT_TRUE(isEmptyPicture(audioImageGraph(envelope, -50.0f, 100, 1, callerSize, 4)));
    EXPECT_TRUE(isEmptyPicture(audioImageGraph({}, -10.0f, 0, 1, callerSize, 4)));
    EXPECT_EQ(audioImageGraph(envelope, -10.0f, 100, 1, QSizeF(3, 54), 4).size(), QSize(3, 54));
}

TEST(AudioImageGraph, HalfLevelGivesHalfHeight)
{
    std::vector<float> envelope(56, -25.0f);
    envelope[0] = 0.0f;
    const QImage image = audioImageGraph(envelope, 0.0f, 56, 1, callerSize, 4);
    // Scale 27/50: -25 dB maps to 13.5 points below the gap (rows 29 .. 42, the last half-covered).
    EXPECT_EQ(image.pixel(6, 41), barColour);
    EXPECT_GT(qAlpha(image.pixel(6, 42)), 0);
    EXPECT_LT(qAlpha(image.pixel(6, 42)), 255);
    EXPECT_EQ(qAlpha(image.pixel(6, 43)), 0);
    EXPECT_EQ(image.pixel(2, 53), barColour);
}

// The picture stands for the whole recording, so its last bar shows the last bucket whatever the
// bucket count: a 2.2 s phrase (111 buckets in 56 slots) once lost its second half past the edge,
// and a phrase shorter than the slots (20 buckets) once drew nothing at all.
TEST(AudioImageGraph, EveryBucketCountSpansTheWholeWidth)
{
    for (int buckets : {20, 55, 57, 111, 112, 167, 1000}) {
        // Full scale over the first and the last bar's share of buckets, silence in between.
        std::vector<float> envelope(size_t(buckets), -50.0f);
        for (int b = 0; b < buckets; ++b)
            if (b < (buckets + 55) / 56 || b >= 55 * buckets / 56)
                envelope[size_t(b)] = 0.0f;
        const QImage image = audioImageGraph(envelope, 0.0f, buckets, 1, callerSize, 4);
        const auto columnDrawnToEdge = [&](int x) { return image.pixel(x, 53) == barColour; };
        int firstLoud = -1;
        int lastLoud = -1;
        for (int x = 0; x < image.width(); ++x)
            if (columnDrawnToEdge(x)) {
                lastLoud = x;
                if (firstLoud < 0)
                    firstLoud = x;
            }
        EXPECT_LE(firstLoud, 12) << buckets << " buckets";
        EXPECT_GE(lastLoud, 215) << buckets << " buckets";
        // Quiet bars in between keep their one-point stub, so the loud ones are the two ends.
        EXPECT_EQ(qAlpha(image.pixel(112, 53)), 0) << buckets << " buckets";
        EXPECT_GT(qAlpha(image.pixel(image.width() / 2 + 1, 29)) +
                      qAlpha(image.pixel(image.width() / 2 - 1, 29)) +
                      qAlpha(image.pixel(image.width() / 2 + 2, 29)),
                  0)
            << buckets << " buckets";
    }
}

} // namespace
} // namespace murmelo
