#include "playback/WaveformPicture.h"

#include "audio/OutputPath.h"
#include "audio/WavFile.h"
#include "audio/WaveformImage.h"
#include "platform/MainQueue.h"
#include "platform/SerialQueue.h"
#include "platform/SystemLog.h"

#include <QFile>
#include <QPointer>
#include <QtEndian>
#include <algorithm>
#include <cmath>

namespace murmelo {

namespace {

// A stretch gets its own reading from the audio when the envelope has fewer than this many
// buckets for each bar: below that, bars would be cut from buckets visibly out of step with
// the time under them.
constexpr double kBucketsPerBar = 2.0;
constexpr qint64 kReadFrames = 65536;

int barsFor(const QSize &size, qint64 available)
{
    return int(
        std::min<qint64>(available, std::max(1, size.width() / WaveformPicture::kMinimumBarWidth)));
}

// A sample as signed 16 bits, the scale every picture is measured on.
qint16 sample16(const uchar *p, int bytes)
{
    switch (bytes) {
    case 1:
        return qint16((int(p[0]) - 128) * 256);
    case 2:
        return qFromLittleEndian<qint16>(p);
    case 3:
        return qint16(qFromLittleEndian<qint16>(p + 1));
    default:
        return qint16(qFromLittleEndian<qint32>(p) >> 16);
    }
}

} // namespace

WaveformPicture::WaveformPicture(QObject *parent) : QObject(parent) {}

void WaveformPicture::setSource(const QString &path)
{
    if (path == path_)
        return;
    path_ = path;
    ++generation_;
    reading_ = false;
    envelope_.reset();
    detail_ = {};
    pendingDetail_ = {};
}

void WaveformPicture::startReading()
{
    if (reading_ || path_.isEmpty())
        return;
    reading_ = true;
    SerialQueue queue("waveform");
    QPointer<WaveformPicture> self(this);
    queue.async([self, path = path_, generation = generation_] {
        QString error;
        auto read = EnvelopeReader::read(path, error);
        std::shared_ptr<const WaveformEnvelope> envelope;
        if (read)
            envelope = std::make_shared<const WaveformEnvelope>(std::move(*read));
        else
            systemLog(QStringLiteral("waveform: %1").arg(error));
        postToMainQueue([self, generation, envelope] {
            if (!self || self->generation_ != generation || !envelope)
                return;
            self->envelope_ = envelope;
            emit self->ready();
        });
    });
}

QImage WaveformPicture::draw(const QSize &size)
{
    if (!envelope_) {
        startReading();
        return {};
    }
    return draw(*envelope_, size);
}

QImage WaveformPicture::draw(const QSize &size, double from, double to)
{
    if (!envelope_) {
        startReading();
        return {};
    }
    from = std::clamp(from, 0.0, 1.0);
    to = std::clamp(to, from, 1.0);
    if (from <= 0 && to >= 1)
        return draw(*envelope_, size);
    if ((to - from) * envelope_->bucketCount() >= kBucketsPerBar * barsFor(size, 1 << 30))
        return drawBuckets(size, from, to);
    if (detail_.size == size && detail_.from == from && detail_.to == to)
        return detail_.image;
    readDetail(size, from, to);
    return drawBuckets(size, from, to);
}

QImage WaveformPicture::drawBuckets(const QSize &size, double from, double to) const
{
    const WaveformEnvelope &envelope = *envelope_;
    const int buckets = envelope.bucketCount();
    const int channels = envelope.channelCount();
    const qint64 first = std::clamp<qint64>(qint64(std::floor(from * buckets)), 0, buckets - 1);
    const qint64 end = std::clamp<qint64>(qint64(std::ceil(to * buckets)), first + 1, buckets);
    const int bars = barsFor(size, end - first);
    if (buckets < 1 || bars < 1 || size.height() < 1)
        return {};
    const std::vector<float> &values = envelope.values();
    std::vector<float> perBar(size_t(bars) * channels);
    for (int bar = 0; bar < bars; ++bar) {
        const qint64 a = first + qint64(bar) * (end - first) / bars;
        const qint64 b = first + qint64(bar + 1) * (end - first) / bars;
        for (int channel = 0; channel < channels; ++channel) {
            double sum = 0;
            for (qint64 i = a; i < b; ++i)
                sum += values[size_t(i * channels + channel)];
            perBar[size_t(bar * channels + channel)] =
                float(sum / double(std::max<qint64>(1, b - a)));
        }
    }
    // On the whole recording's scale, so a quiet stretch looks quiet however far it is zoomed.
    return audioImageGraph(perBar, envelope.normalizeMax(), bars, channels, QSizeF(size),
                           double(size.width()) / bars);
}

void WaveformPicture::readDetail(const QSize &size, double from, double to)
{
    if (pendingDetail_.size == size && pendingDetail_.from == from && pendingDetail_.to == to)
        return;
    pendingDetail_ = {size, from, to, {}};
    const quint64 request = ++detailRequest_;
    SerialQueue queue("waveform");
    QPointer<WaveformPicture> self(this);
    queue.async([self, path = path_, generation = generation_, request, size, from, to,
                 loudest = envelope_->normalizeMax()] {
        WavLayout layout;
        QString error;
        QImage image;
        if (WavFile::checkInput(path, layout, error) == WavFile::Kind::Valid) {
            const auto frameAt = [&](double fraction) {
                return std::clamp<qint64>(std::llround(fraction * double(layout.frames)), 0,
                                          layout.frames);
            };
            image = drawFrames(path, frameAt(from), frameAt(to), size, loudest, error);
        }
        if (image.isNull())
            systemLog(QStringLiteral("waveform: %1").arg(error));
        postToMainQueue([self, generation, request, image, size, from, to] {
            if (!self || self->generation_ != generation || self->detailRequest_ != request)
                return;
            self->pendingDetail_ = {};
            if (image.isNull())
                return;
            self->detail_ = {size, from, to, image};
            emit self->ready();
        });
    });
}

QImage WaveformPicture::drawFrames(const QString &path, qint64 first, qint64 end, const QSize &size,
                                   float loudest, QString &error)
{
    WavLayout layout;
    if (WavFile::checkInput(path, layout, error) != WavFile::Kind::Valid)
        return {};
    if (!layout.isIntegerPcm()) {
        error = QStringLiteral("“%1” is not an integer PCM WAV file").arg(path);
        return {};
    }
    first = std::clamp<qint64>(first, 0, layout.frames);
    end = std::clamp<qint64>(end, first, layout.frames);
    const int bars = barsFor(size, end - first);
    if (bars < 1 || size.height() < 1) {
        error = QStringLiteral("nothing to draw");
        return {};
    }
    QFile file;
    if (!openRegularFile(file, path, error))
        return {};
    if (!file.seek(layout.dataOffset + first * layout.blockAlign)) {
        error = file.errorString();
        return {};
    }
    const int channels = layout.channels == 2 ? 2 : 1;
    const int sampleBytes = layout.bitsPerSample / 8;
    std::vector<double> sums(size_t(bars) * channels, 0.0);
    std::vector<qint64> counts(size_t(bars), 0);
    const qint64 frames = end - first;
    QByteArray block;
    for (qint64 done = 0; done < frames;) {
        const qint64 n = std::min(kReadFrames, frames - done);
        block = file.read(n * layout.blockAlign);
        if (block.size() != n * layout.blockAlign) {
            error = QStringLiteral("“%1” could not be read to its end").arg(path);
            return {};
        }
        const auto *p = reinterpret_cast<const uchar *>(block.constData());
        for (qint64 i = 0; i < n; ++i) {
            const int bar = int((done + i) * bars / frames);
            const uchar *frame = p + i * layout.blockAlign;
            for (int c = 0; c < channels; ++c)
                sums[size_t(bar * channels + c)] +=
                    WaveformEnvelope::level(sample16(frame + c * sampleBytes, sampleBytes));
            ++counts[size_t(bar)];
        }
        done += n;
    }
    std::vector<float> perBar(sums.size());
    for (size_t i = 0; i < perBar.size(); ++i)
        perBar[i] = float(sums[i] / double(std::max<qint64>(1, counts[i / channels])));
    return audioImageGraph(perBar, loudest, bars, channels, QSizeF(size),
                           double(size.width()) / bars);
}

QImage WaveformPicture::draw(const WaveformEnvelope &envelope, const QSize &size)
{
    const int buckets = envelope.bucketCount();
    const int channels = envelope.channelCount();
    if (buckets < 1 || size.width() < 1 || size.height() < 1)
        return {};
    const int bars = std::min(buckets, std::max(1, size.width() / kMinimumBarWidth));
    // Each bar shows the mean level of its share of buckets, as the small picture averages its
    // buckets; shares differ by one bucket at most.
    const std::vector<float> &values = envelope.values();
    std::vector<float> perBar(size_t(bars) * channels);
    for (int bar = 0; bar < bars; ++bar) {
        const qint64 first = qint64(bar) * buckets / bars;
        const qint64 end = qint64(bar + 1) * buckets / bars;
        for (int channel = 0; channel < channels; ++channel) {
            double sum = 0;
            for (qint64 b = first; b < end; ++b)
                sum += values[size_t(b * channels + channel)];
            perBar[size_t(bar * channels + channel)] = float(sum / double(end - first));
        }
    }
    // The loudest bar reaches the edges, as the loudest bucket does in the small picture.
    float loudest = float(WaveformEnvelope::noiseFloor);
    for (float value : perBar)
        loudest = std::max(loudest, value);
    return audioImageGraph(perBar, loudest, bars, channels, QSizeF(size),
                           double(size.width()) / bars);
}

} // namespace murmelo
