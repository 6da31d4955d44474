#include "audio/WaveformImage.h"

#include "audio/WaveformEnvelope.h"
#include "platform/SystemLog.h"

#include <QPainter>
#include <algorithm>

namespace murmelo {

namespace {
constexpr double centreGap = 2.0;
constexpr double barGap = 2.0;
constexpr double minimumBarHeight = 1.0;
const QColor barColour(0x0c, 0xdb, 0xd2);
} // namespace

QImage waveformImage(const QString &path, const QSizeF &size, double barWidth, QString *error)
{
    QString reason;
    const std::optional<WaveformEnvelope> envelope = EnvelopeReader::read(path, reason);
    if (!envelope) {
        systemLog(QStringLiteral("waveform: %1").arg(reason));
        if (error)
            *error = reason;
        return {};
    }
    return audioImageGraph(envelope->values(), envelope->normalizeMax(), envelope->bucketCount(),
                           envelope->channelCount(), size, barWidth);
}

QImage audioImageGraph(const std::vector<float> &envelope, float normalizeMax, int sampleCount,
                       int channelCount, const QSizeF &size, double barWidth)
{
    const int width = int(size.width());
    const int height = int(size.height());
    if (width < 1 || height < 1)
        return {};
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);

    const int barSlots = barWidth > 0 ? int(size.width() / barWidth) : 0;
    const int stride = channelCount == 2 ? 2 : 1;
    // A silent file has nothing to scale (its maximum is the noise floor itself).
    if (sampleCount < 1 || barSlots < 1 || !(normalizeMax > float(WaveformEnvelope::noiseFloor)) ||
        envelope.size() < size_t(sampleCount) * stride)
        return image;
    // Every bucket lands in a bar inside the picture: the buckets are shared out over the slots
    // (shares differ by one at most), and a recording with fewer buckets than slots widens its
    // bars to fill the width, so the picture always spans the whole recording.
    const int bars = std::min(barSlots, sampleCount);
    const double slotWidth = bars < barSlots ? size.width() / bars : barWidth;

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const double half = size.height() / 2;
    const float scale = float(half / (normalizeMax - WaveformEnvelope::noiseFloor));
    for (int i = 0; i < bars; ++i) {
        const int first = int(qint64(i) * sampleCount / bars);
        const int n = int(qint64(i + 1) * sampleCount / bars) - first;
        float leftSum = 0;
        float rightSum = 0;
        for (int b = first; b < first + n; ++b) {
            leftSum =
                float(leftSum + scale * (envelope[b * stride] - WaveformEnvelope::noiseFloor));
            if (stride == 2)
                rightSum = float(rightSum +
                                 scale * (envelope[b * stride + 1] - WaveformEnvelope::noiseFloor));
        }
        const float leftHeight = leftSum / n;
        const float rightHeight = rightSum / n;
        const float x = float(slotWidth * (i + 0.5));
        const double w = slotWidth - barGap;
        const double lower = std::max(double(leftHeight), minimumBarHeight);
        const double upper =
            std::max(double(stride == 2 ? rightHeight : leftHeight), minimumBarHeight);
        painter.fillRect(QRectF(x, half + centreGap, w, lower), barColour);
        painter.fillRect(QRectF(x, half - centreGap - upper, w, upper), barColour);
    }
    return image;
}

} // namespace murmelo
