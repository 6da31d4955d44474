// The spectrogram's analysis: tones land in their bins, a chirp rises, the pitch tracker finds
// the fundamental of tones and of vowel-like sounds and nothing in silence, and the whole-file
// picture puts frequencies at their rows.
#include "AudioFixtures.h"
#include "audio/FrequencyAxis.h"
#include "audio/PitchTracker.h"
#include "audio/PlayerAudio.h"
#include "audio/SpectrogramColours.h"
#include "audio/SpectrogramImage.h"
#include "audio/SpectrumColumns.h"

#include <QImage>
#include <algorithm>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <numbers>
#include <random>

namespace murmelo::test {
namespace {

constexpr int kRate = 44100;
constexpr double kBin = double(kRate) / 2048;

// Audio held in memory, as the columns read it from a file.
class MemoryAudio : public PlayerAudio {
public:
    MemoryAudio(std::vector<float> samples, int rate)
        : PlayerAudio(rate, 1, qint64(samples.size())), samples_(std::move(samples))
    {
    }
    qint64 read(qint64 first, qint64 count, float *out) override
    {
        count = std::clamp<qint64>(frames() - first, 0, count);
        std::copy_n(samples_.begin() + first, count, out);
        return count;
    }

private:
    std::vector<float> samples_;
};

std::vector<float> synthesise(double seconds, const std::function<double(double)> &at)
{
    std::vector<float> samples(size_t(seconds * kRate));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = float(at(double(i) / kRate));
    return samples;
}

std::vector<float> sine(double hertz, double seconds, double amplitude = 0.5)
{
    return synthesise(
        seconds, [=](double t) { return amplitude * std::sin(2 * std::numbers::pi * hertz * t); });
}

// A vowel-like sound: a sawtooth voice source at `pitch` through three formant resonators.
std::vector<float> vowel(double pitch, std::initializer_list<double> formants, double seconds)
{
    std::vector<double> signal(size_t(seconds * kRate));
    for (size_t i = 0; i < signal.size(); ++i) {
        const double phase = std::fmod(pitch * double(i) / kRate, 1.0);
        signal[i] = 1.0 - 2.0 * phase;
    }
    for (double formant : formants) {
        // A two-pole resonator 80 Hz wide.
        const double r = std::exp(-std::numbers::pi * 80.0 / kRate);
        const double c = 2 * r * std::cos(2 * std::numbers::pi * formant / kRate);
        double y1 = 0, y2 = 0;
        for (double &x : signal) {
            const double y = (1 - r) * x + c * y1 - r * r * y2;
            y2 = y1;
            y1 = y;
            x = y;
        }
    }
    const double peak =
        std::abs(*std::max_element(signal.begin(), signal.end(),
                                   [](double a, double b) { return std::abs(a) < std::abs(b); }));
    std::vector<float> out(signal.size());
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = float(0.5 * signal[i] / peak);
    return out;
}

std::vector<float> columnAt(std::vector<float> samples, double seconds, float &pitch)
{
    auto audio = std::make_shared<MemoryAudio>(std::move(samples), kRate);
    SpectrumColumns columns(audio, 8);
    std::vector<float> decibels(size_t(columns.binCount()));
    const auto frame = qint64(seconds * kRate);
    columns.column(frame, frame + 512, decibels.data(), pitch);
    return decibels;
}

int loudestBin(const std::vector<float> &decibels)
{
    return int(std::max_element(decibels.begin(), decibels.end()) - decibels.begin());
}

TEST(SpectrumColumns, TonesPeakInTheirBinAtTheirLevel)
{
    for (double hertz : {440.0, 2000.0}) {
        float pitch = 0;
        const std::vector<float> decibels = columnAt(sine(hertz, 1.0), 0.5, pitch);
        EXPECT_NEAR(loudestBin(decibels), hertz / kBin, 1.0) << hertz << " Hz";
        // Half of full scale is 6 dB under it (the Hann window's scalloping costs up to 1.4 dB
        // more between bins).
        EXPECT_NEAR(decibels[size_t(loudestBin(decibels))], -6.0, 1.6) << hertz << " Hz";
        // Far from the tone the window's side lobes have died away.
        EXPECT_LT(decibels[size_t(std::lround(hertz / kBin)) + 60], -80.0f) << hertz << " Hz";
    }
    // A full-scale tone centred on a bin reads 0 dB.
    float pitch = 0;
    const std::vector<float> decibels = columnAt(sine(100 * kBin, 1.0, 1.0), 0.5, pitch);
    EXPECT_NEAR(decibels[100], 0.0, 0.1);
}

TEST(SpectrumColumns, StereoIsMixedAndTheEndsArePaddedWithSilence)
{
    // A file read to its very end and past it: the last column is still a tone, no read fails.
    const PcmAudio audio = [] {
        PcmAudio pcm;
        pcm.channels = 2;
        for (int i = 0; i < kRate / 2; ++i) {
            const auto s =
                qint32(std::lround(16000 * std::sin(2 * std::numbers::pi * 1000.0 * i / kRate)));
            pcm.samples.push_back(s);
            pcm.samples.push_back(s);
        }
        return pcm;
    }();
    QString error;
    auto file = PlayerAudio::open(writeWav(QStringLiteral("stereo-tone.wav"), audio), error);
    ASSERT_TRUE(file) << error.toStdString();
    SpectrumColumns columns(file, 4);
    std::vector<float> decibels(size_t(columns.binCount()));
    float pitch = 0;
    columns.column(file->frames() - 100, file->frames() + 400, decibels.data(), pitch);
    EXPECT_NEAR(loudestBin(decibels), 1000.0 / kBin, 1.0);
    EXPECT_FALSE(columns.readFailed());
}

TEST(PitchTracker, FindsTonesAndVowelsWithinOnePercent)
{
    float pitch = 0;
    columnAt(sine(220.0, 1.0), 0.5, pitch);
    EXPECT_NEAR(pitch, 220.0, 2.2);

    struct Case {
        const char *name;
        double pitch;
        std::initializer_list<double> formants;
    };
    // /a/ and /i/ with the formants of an adult voice; a low man's voice, a woman's, a child's.
    const Case cases[] = {{"a", 110.0, {730, 1090, 2440}},
                          {"a", 196.0, {850, 1220, 2810}},
                          {"i", 130.8, {270, 2290, 3010}},
                          {"i", 261.6, {310, 2790, 3310}},
                          {"u", 330.0, {370, 950, 2670}}};
    for (const Case &c : cases) {
        PitchTracker tracker(kRate);
        const std::vector<float> samples = vowel(c.pitch, c.formants, 0.5);
        for (double at : {0.1, 0.2, 0.3}) {
            const auto start = size_t(at * kRate);
            const float found = tracker.pitch(samples.data() + start);
            EXPECT_NEAR(found, c.pitch, c.pitch * 0.01) << "/" << c.name << "/ at " << c.pitch;
        }
    }
}

TEST(PitchTracker, SilenceAndNoiseHaveNoPitch)
{
    PitchTracker tracker(kRate);
    std::vector<float> frame(2048, 0.0f);
    EXPECT_EQ(tracker.pitch(frame.data()), 0.0f);
    // Below the quietest voice: the hum of a quiet room.
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = 0.001f * float(std::sin(2 * std::numbers::pi * 150.0 * double(i) / kRate));
    EXPECT_EQ(tracker.pitch(frame.data()), 0.0f);
    // Loud white noise has no period to find.
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    int voiced = 0;
    for (int n = 0; n < 50; ++n) {
        for (float &sample : frame)
            sample = noise(random);
        voiced += tracker.pitch(frame.data()) > 0 ? 1 : 0;
    }
    EXPECT_LE(voiced, 2);
}

// The whole-file picture, from a WAV file written as the commands read it.
QImage drawn(const std::vector<float> &samples, const QSize &size,
             FrequencyAxis::Scale scale = FrequencyAxis::Scale::Linear)
{
    PcmAudio pcm;
    pcm.sampleRate = kRate;
    for (float sample : samples)
        pcm.samples.push_back(qint32(std::lround(sample * 32767)));
    QString error;
    const QImage image =
        SpectrogramImage::draw(writeWav(QStringLiteral("drawn.wav"), pcm), size, scale, error);
    EXPECT_FALSE(image.isNull()) << error.toStdString();
    return image;
}

// The row of the brightest pixel in column x (brighter is a higher colour level).
int brightestRow(const QImage &image, int x)
{
    int best = 0;
    for (int y = 1; y < image.height(); ++y)
        if (image.pixelIndex(x, y) > image.pixelIndex(x, best))
            best = y;
    return best;
}

TEST(SpectrogramImage, TonesSitAtTheirHeightOnBothAxes)
{
    for (double hertz : {440.0, 2000.0}) {
        // One row per bin: the bottom row is 0 Hz, the top one half the sample rate.
        const QImage linear = drawn(sine(hertz, 1.0), QSize(40, 1025));
        const FrequencyAxis axis(FrequencyAxis::Scale::Linear, kRate, 2048);
        for (int x : {5, 20, 35})
            EXPECT_NEAR(axis.frequencyAtY(brightestRow(linear, x), 1025), hertz, kBin)
                << hertz << " Hz at x " << x;
        const QImage logarithmic =
            drawn(sine(hertz, 1.0), QSize(40, 400), FrequencyAxis::Scale::Logarithmic);
        const FrequencyAxis logAxis(FrequencyAxis::Scale::Logarithmic, kRate, 2048);
        EXPECT_NEAR(logAxis.frequencyAtY(brightestRow(logarithmic, 20), 400), hertz, kBin);
    }
}

TEST(SpectrogramImage, AChirpDrawsARisingRidge)
{
    // 200 Hz to 5 kHz over two seconds.
    const std::vector<float> chirp = synthesise(2.0, [](double t) {
        return 0.5 * std::sin(2 * std::numbers::pi * (200 * t + 1200 * t * t));
    });
    const QImage image = drawn(chirp, QSize(32, 257));
    const FrequencyAxis axis(FrequencyAxis::Scale::Linear, kRate, 2048);
    double previous = 0;
    for (int x = 1; x < image.width() - 1; ++x) {
        const double hertz = axis.frequencyAtY(brightestRow(image, x), image.height());
        // Where the sweep is in the middle of the column, within the column's spread; a column
        // whose rows reach the same level may keep its neighbour's row, never fall below it.
        const double expected = 200 + 2400 * (x + 0.5) * 2.0 / image.width();
        EXPECT_NEAR(hertz, expected, 200.0) << "column " << x;
        EXPECT_GE(hertz, previous) << "column " << x;
        previous = hertz;
    }
    EXPECT_GT(previous, 4500.0);
}

TEST(SpectrogramImage, SilenceIsDarkAndAnUnreadableFileIsRefused)
{
    const QImage silent = drawn(std::vector<float>(kRate / 4, 0.0f), QSize(8, 16));
    for (int y = 0; y < silent.height(); ++y)
        EXPECT_EQ(silent.pixelIndex(3, y), 0);

    QString error;
    const QString notAudio = writeBytes(QStringLiteral("not-audio.wav"), "RIFF1234WAVEnonsense");
    EXPECT_TRUE(SpectrogramImage::draw(notAudio, QSize(8, 8), FrequencyAxis::Scale::Linear, error)
                    .isNull());
    EXPECT_FALSE(error.isEmpty());
    error.clear();
    EXPECT_TRUE(SpectrogramImage::draw(fixturePath(QStringLiteral("missing.wav")), QSize(8, 8),
                                       FrequencyAxis::Scale::Linear, error)
                    .isNull());
    EXPECT_FALSE(error.isEmpty());
}

TEST(SpectrogramScale, AxisNotesAndColours)
{
    const FrequencyAxis linear(FrequencyAxis::Scale::Linear, kRate, 2048);
    const FrequencyAxis logarithmic(FrequencyAxis::Scale::Logarithmic, kRate, 2048);
    for (const FrequencyAxis *axis : {&linear, &logarithmic}) {
        EXPECT_NEAR(axis->frequencyAtY(axis->yOf(1234.0, 300), 300), 1234.0, 1e-6);
        // Every row shows bins, the top one half the sample rate, and rows never go down in
        // frequency as they go up the picture.
        const auto rows = axis->rowBins(300);
        EXPECT_EQ(rows.front().second, 1024);
        for (size_t y = 1; y < rows.size(); ++y)
            EXPECT_LE(rows[y].second, rows[y - 1].first + 1) << "row " << y;
    }
    EXPECT_EQ(linear.rowBins(300).back().first, 0);
    EXPECT_NEAR(logarithmic.lowest(), kBin, 1e-9);
    const QList<double> ticks = logarithmic.ticks(200, 16);
    EXPECT_TRUE(ticks.contains(100.0) && ticks.contains(1000.0) && ticks.contains(10000.0));
    EXPECT_EQ(FrequencyAxis::tickText(12500), QStringLiteral("12.5k"));

    EXPECT_EQ(noteName(440.0), QStringLiteral("A4"));
    EXPECT_EQ(noteName(261.63), QStringLiteral("C4"));
    EXPECT_EQ(noteName(452.0), QStringLiteral("A4"));  // 46 cents sharp is still A
    EXPECT_EQ(noteName(455.0), QStringLiteral("A#4")); // 58 cents sharp is the next
    EXPECT_EQ(noteName(0.0), QString());

    // Louder is brighter all the way up the map.
    const auto lightness = [](QRgb c) {
        return 0.299 * qRed(c) + 0.587 * qGreen(c) + 0.114 * qBlue(c);
    };
    for (int level = 8; level < 256; level += 8)
        EXPECT_GT(lightness(SpectrogramColours::colour(level)),
                  lightness(SpectrogramColours::colour(level - 8)));
    EXPECT_EQ(SpectrogramColours::level(-200.0f), 0);
    EXPECT_EQ(SpectrogramColours::level(3.0f), 255);
}

} // namespace
} // namespace murmelo::test
