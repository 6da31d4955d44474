#pragma once

#include <QString>
#include <QtGlobal>
#include <array>
#include <optional>
#include <vector>

namespace murmelo {

// The loudness envelope of a recording: the mean level in dB (-50..0) of each bucket of
// rate/50 + 1 frames, left then right for stereo. Frames of a last, unfilled bucket are dropped.
class WaveformEnvelope {
public:
    static constexpr double noiseFloor = -50.0;

    // `channelCount` is 1 or 2: the channels that are drawn.
    WaveformEnvelope(int sampleRate, int channelCount);

    void addFrame(qint16 left, qint16 right)
    {
        leftTotal_ += level(left);
        if (channelCount_ == 2)
            rightTotal_ += level(right);
        tally_ += 1;
        if (tally_ > float(bucketFrames_))
            closeBucket();
    }

    const std::vector<float> &values() const { return values_; }
    float normalizeMax() const { return normalizeMax_; }
    int channelCount() const { return channelCount_; }
    int bucketCount() const { return int(values_.size()) / channelCount_; }

    // A sample's level depends only on its magnitude, so the logarithm is taken once per
    // magnitude (0..32768) instead of once per sample; the values are those of exactLevel.
    static float level(qint16 sample) { return levelTable()[sample < 0 ? -int(sample) : sample]; }
    static float exactLevel(int magnitude);
    static const std::array<float, 32769> &levelTable();

private:
    void closeBucket();

    int channelCount_;
    int bucketFrames_;
    double leftTotal_ = 0;
    double rightTotal_ = 0;
    float tally_ = 0;
    float normalizeMax_ = float(noiseFloor);
    std::vector<float> values_;
};

// Reading a file into an envelope. Samples are taken as signed 16-bit, the way the waveform has
// always been measured: wider samples are rounded to the nearest 16-bit value (libsox's own
// rounding, clipping at +32767), so a 16-bit file gives its exact samples either way. Files with
// more than two channels are measured on their first channel. nullopt = not readable; `error`
// says why.
namespace EnvelopeReader {

// Any file: integer PCM WAV through our own reader, everything else through libsox.
std::optional<WaveformEnvelope> read(const QString &path, QString &error);
// Integer PCM WAV only, frames read straight from the file.
std::optional<WaveformEnvelope> readPcmWav(const QString &path, QString &error);
// Any format libsox reads (WAV files through its WAV handler only).
std::optional<WaveformEnvelope> readWithSox(const QString &path, QString &error);

} // namespace EnvelopeReader

} // namespace murmelo
