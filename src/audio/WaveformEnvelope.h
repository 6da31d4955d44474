#pragma once

#include <QString>
#include <QtGlobal>
#include <algorithm>
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

    // Adds `frames` frames; `sample(frame, channel)` gives channel 0 or 1 of a frame. Work goes
    // bucket by bucket so the per-frame loop is only lookups and integer additions.
    template <typename SampleAt> void addFrames(qint64 frames, SampleAt sample)
    {
        const qint64 *units = levelUnits().data();
        for (qint64 f = 0; f < frames;) {
            const qint64 n = std::min<qint64>(frames - f, bucketFrames_ + 1 - tally_);
            qint64 left = leftTotal_;
            qint64 right = rightTotal_;
            if (channelCount_ == 2) {
                for (qint64 i = f; i < f + n; ++i) {
                    left += units[magnitude(sample(i, 0))];
                    right += units[magnitude(sample(i, 1))];
                }
            } else {
                for (qint64 i = f; i < f + n; ++i)
                    left += units[magnitude(sample(i, 0))];
            }
            leftTotal_ = left;
            rightTotal_ = right;
            tally_ += int(n);
            f += n;
            if (tally_ > bucketFrames_)
                closeBucket();
        }
    }

    // Out of order, for a reader that does not go from start to end (the reversal reads its
    // source in blocks from the end): prepareBuckets() sizes the envelope for `frames` frames,
    // then measureBuckets() measures the whole buckets in a run of libsox samples (`fileChannels`
    // interleaved) that starts at the first frame of bucket `firstBucket`. Each bucket adds the
    // same values as addFrames(), so the envelope is bit-identical to one read from the start.
    qint64 bucketFrames() const { return qint64(bucketFrames_) + 1; }
    void prepareBuckets(qint64 frames);
    void measureBuckets(qint64 firstBucket, const qint32 *samples, qint64 frames, int fileChannels);

    const std::vector<float> &values() const { return values_; }
    float normalizeMax() const { return normalizeMax_; }
    int channelCount() const { return channelCount_; }
    int bucketCount() const { return int(values_.size()) / channelCount_; }

    // A sample's level depends only on its magnitude, so the logarithm is taken once per
    // magnitude (0..32768) instead of once per sample; the values are those of exactLevel.
    static float level(qint16 sample) { return levelTable()[magnitude(sample)]; }
    static float exactLevel(int magnitude);
    static const std::array<float, 32769> &levelTable();

    // Every level is a whole number of these units (none is closer to 0 than 2^-12 without
    // being 0, and a float keeps 24 bits), so a bucket's sum is kept exactly as an integer:
    // the additions need no order, and the mean is the one a sum of the floats in double
    // precision gives (such a sum is exact too, up to 5,000 frames a bucket).
    static constexpr int unitShift = 35;
    static const std::array<qint64, 32769> &levelUnits();

private:
    static int magnitude(qint16 sample) { return sample < 0 ? -int(sample) : sample; }
    static float mean(qint64 units, qint64 frames);
    void closeBucket();

    int channelCount_;
    int bucketFrames_;
    qint64 leftTotal_ = 0; // in level units
    qint64 rightTotal_ = 0;
    int tally_ = 0; // exact as the float count it stands for: buckets are far below 2^24
    float normalizeMax_ = float(noiseFloor);
    std::vector<float> values_;
};

// Reading a file into an envelope. Samples are taken as signed 16-bit, the way the waveform has
// always been measured: wider samples are rounded to the nearest 16-bit value (libsox's own
// rounding, clipping at +32767), so a 16-bit file gives its exact samples either way. Files with
// more than two channels are measured on their first channel. nullopt = not readable; `error`
// says why.
namespace EnvelopeReader {

// A WAV file: integer PCM through our own reader, other encodings through libsox's WAV
// handler; other formats are refused.
std::optional<WaveformEnvelope> read(const QString &path, QString &error);
// Integer PCM WAV only, frames read straight from the file.
std::optional<WaveformEnvelope> readPcmWav(const QString &path, QString &error);
// Any format libsox reads (WAV files through its WAV handler only).
std::optional<WaveformEnvelope> readWithSox(const QString &path, QString &error);

} // namespace EnvelopeReader

} // namespace murmelo
