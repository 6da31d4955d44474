#include "playback/WaveformPicture.h"

#include "audio/WaveformImage.h"
#include "platform/MainQueue.h"
#include "platform/SerialQueue.h"
#include "platform/SystemLog.h"

#include <QPointer>
#include <algorithm>

namespace murmelo {

WaveformPicture::WaveformPicture(QObject *parent) : QObject(parent) {}

void WaveformPicture::setSource(const QString &path)
{
    if (path == path_)
        return;
    path_ = path;
    ++generation_;
    reading_ = false;
    envelope_.reset();
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
