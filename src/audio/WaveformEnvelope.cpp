#include "audio/WaveformEnvelope.h"

#include "audio/OutputPath.h"
#include "audio/SoxLibrary.h"
#include "audio/WavFile.h"

#include <QFile>
#include <QtEndian>
#include <cmath>

namespace murmelo {

namespace {

constexpr double fullScale = 32767.0;
constexpr qint64 readBlockBytes = 1 << 20;

// libsox's rounding of a 32-bit sample to 16 bits: to nearest, clipping at the top.
qint16 toSigned16(qint32 sample)
{
    if (sample > 0x7FFF7FFF)
        return 32767;
    return qint16((qint64(sample) + 0x8000) >> 16);
}

qint32 widenedSample(const uchar *p, int bytes)
{
    switch (bytes) {
    case 1:
        return qint32(quint32(p[0] ^ 0x80) << 24);
    case 2:
        return qint32(quint32(qFromLittleEndian<quint16>(p)) << 16);
    case 3:
        return qint32((quint32(p[0]) << 8) | (quint32(p[1]) << 16) | (quint32(p[2]) << 24));
    default:
        return qFromLittleEndian<qint32>(p);
    }
}

int drawnChannels(int channels)
{
    return channels == 2 ? 2 : 1;
}

} // namespace

WaveformEnvelope::WaveformEnvelope(int sampleRate, int channelCount)
    : channelCount_(channelCount), bucketFrames_(sampleRate / 50)
{
}

float WaveformEnvelope::exactLevel(int magnitude)
{
    const float linear = float(magnitude);
    const float level = float(20.0 * std::log10(double(linear) / fullScale));
    if (level <= float(noiseFloor))
        return float(noiseFloor);
    if (level >= 0.0f)
        return 0.0f;
    return level;
}

const std::array<float, 32769> &WaveformEnvelope::levelTable()
{
    static const std::array<float, 32769> table = [] {
        std::array<float, 32769> levels{};
        for (int m = 0; m < int(levels.size()); ++m)
            levels[m] = exactLevel(m);
        return levels;
    }();
    return table;
}

const std::array<qint64, 32769> &WaveformEnvelope::levelUnits()
{
    static const std::array<qint64, 32769> table = [] {
        std::array<qint64, 32769> units{};
        for (size_t m = 0; m < units.size(); ++m)
            units[m] = qint64(std::ldexp(double(levelTable()[m]), unitShift));
        return units;
    }();
    return table;
}

float WaveformEnvelope::mean(qint64 units, qint64 frames)
{
    // Divided by the count as a float, as the mean has always been taken.
    return float(std::ldexp(double(units), -unitShift) / double(float(frames)));
}

void WaveformEnvelope::closeBucket()
{
    const float leftMean = mean(leftTotal_, tally_);
    values_.push_back(leftMean);
    normalizeMax_ = std::max(normalizeMax_, leftMean);
    if (channelCount_ == 2) {
        const float rightMean = mean(rightTotal_, tally_);
        values_.push_back(rightMean);
        normalizeMax_ = std::max(normalizeMax_, rightMean);
    }
    leftTotal_ = rightTotal_ = 0;
    tally_ = 0;
}

void WaveformEnvelope::prepareBuckets(qint64 frames)
{
    values_.assign(size_t(frames / bucketFrames()) * size_t(channelCount_), float(noiseFloor));
    normalizeMax_ = float(noiseFloor);
}

void WaveformEnvelope::measureBuckets(qint64 firstBucket, const qint32 *samples, qint64 frames,
                                      int fileChannels)
{
    const qint64 length = bucketFrames();
    const qint64 buckets = std::min(frames / length, bucketCount() - firstBucket);
    const qint64 *units = levelUnits().data();
    for (qint64 b = 0; b < buckets; ++b) {
        const qint32 *p = samples + b * length * fileChannels;
        qint64 left = 0;
        qint64 right = 0;
        if (channelCount_ == 2) {
            for (qint64 i = 0; i < length; ++i) {
                left += units[magnitude(toSigned16(p[i * fileChannels]))];
                right += units[magnitude(toSigned16(p[i * fileChannels + 1]))];
            }
        } else {
            for (qint64 i = 0; i < length; ++i)
                left += units[magnitude(toSigned16(p[i * fileChannels]))];
        }
        float *slot = values_.data() + (firstBucket + b) * channelCount_;
        slot[0] = mean(left, length);
        normalizeMax_ = std::max(normalizeMax_, slot[0]);
        if (channelCount_ == 2) {
            slot[1] = mean(right, length);
            normalizeMax_ = std::max(normalizeMax_, slot[1]);
        }
    }
}

namespace EnvelopeReader {

std::optional<WaveformEnvelope> read(const QString &path, QString &error)
{
    // Pictures are only drawn of WAV files; libsox's detection of other formats can be sent
    // into hour-long loops by a damaged header (its AIFF reader).
    WavLayout layout;
    if (WavFile::checkInput(path, layout, error) != WavFile::Kind::Valid)
        return std::nullopt;
    if (layout.isIntegerPcm())
        return readPcmWav(path, error);
    return readWithSox(path, error);
}

std::optional<WaveformEnvelope> readPcmWav(const QString &path, QString &error)
{
    WavLayout layout;
    if (WavFile::checkInput(path, layout, error) != WavFile::Kind::Valid)
        return std::nullopt;
    if (!layout.isIntegerPcm()) {
        error = QStringLiteral("“%1” is not an integer PCM WAV file").arg(path);
        return std::nullopt;
    }
    QFile file;
    if (!openRegularFile(file, path, error))
        return std::nullopt;
    if (!file.seek(layout.dataOffset)) {
        error = file.errorString();
        return std::nullopt;
    }
    const int channels = drawnChannels(layout.channels);
    const int sampleBytes = layout.bitsPerSample / 8;
    const int frameBytes = layout.blockAlign;
    const qint64 framesPerBlock = qMax<qint64>(1, readBlockBytes / frameBytes);
    WaveformEnvelope envelope(layout.sampleRate, channels);
    QByteArray block(framesPerBlock * frameBytes, Qt::Uninitialized);
    for (qint64 remaining = layout.frames; remaining > 0;) {
        const qint64 wanted = qMin(remaining, framesPerBlock) * frameBytes;
        const qint64 got = file.read(block.data(), wanted);
        if (got != wanted) {
            error = QStringLiteral("“%1” could not be read to its end").arg(path);
            return std::nullopt;
        }
        const qint64 frames = got / frameBytes;
        remaining -= frames;
        const auto *p = reinterpret_cast<const uchar *>(block.constData());
        if (sampleBytes == 2) {
            envelope.addFrames(frames, [&](qint64 f, int c) {
                return qFromLittleEndian<qint16>(p + f * frameBytes + 2 * c);
            });
        } else {
            envelope.addFrames(frames, [&](qint64 f, int c) {
                return toSigned16(widenedSample(p + f * frameBytes + c * sampleBytes, sampleBytes));
            });
        }
    }
    return envelope;
}

std::optional<WaveformEnvelope> readWithSox(const QString &path, QString &error)
{
    SoxFormat input = openAudioInput(path, error);
    if (!input)
        return std::nullopt;
    const int fileChannels = int(input->signal.channels);
    const int channels = drawnChannels(fileChannels);
    WaveformEnvelope envelope(int(input->signal.rate), channels);
    std::vector<sox_sample_t> block(size_t(fileChannels) * 16384);
    SoxLibrary::clearLastError();
    while (const size_t got = sox_read(input.get(), block.data(), block.size())) {
        const sox_sample_t *p = block.data();
        envelope.addFrames(qint64(got) / fileChannels,
                           [&](qint64 f, int c) { return toSigned16(p[f * fileChannels + c]); });
    }
    const QString reason = SoxLibrary::lastError();
    if (!reason.isEmpty()) {
        error = QStringLiteral("“%1” could not be read to its end: %2").arg(path, reason);
        return std::nullopt;
    }
    return envelope;
}

} // namespace EnvelopeReader

} // namespace murmelo
