#include "audio/SpectrogramImage.h"

#include "audio/PlayerAudio.h"
#include "audio/SpectrogramColours.h"
#include "audio/SpectrumColumns.h"

#include <algorithm>
#include <climits>

namespace murmelo {

QImage SpectrogramImage::draw(const QString &wavPath, const QSize &size, FrequencyAxis::Scale scale,
                              QString &error, const std::atomic<bool> *cancel,
                              const std::function<void(double)> &progress)
{
    std::shared_ptr<PlayerAudio> audio = PlayerAudio::open(wavPath, error);
    if (!audio)
        return {};
    if (size.isEmpty()) {
        error = QStringLiteral("a picture needs at least one pixel each way");
        return {};
    }
    // A column reads the whole of its stretch, however long.
    SpectrumColumns columns(audio, INT_MAX);
    columns.setPitchWanted(false);
    const FrequencyAxis axis(scale, audio->sampleRate(), columns.frameSize());
    const auto rows = axis.rowBins(size.height());

    QImage image(size, QImage::Format_Indexed8);
    image.setColorTable(SpectrogramColours::table());
    std::vector<float> decibels(size_t(columns.binCount()));
    const qint64 frames = audio->frames();
    const int width = size.width();
    for (int x = 0; x < width; ++x) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return {};
        const qint64 first = frames * x / width;
        const qint64 end = std::max(first + 1, frames * (x + 1) / width);
        float pitch = 0;
        columns.column(first, end, decibels.data(), pitch);
        for (int y = 0; y < size.height(); ++y) {
            const auto [low, high] = rows[size_t(y)];
            const float loudest =
                *std::max_element(decibels.begin() + low, decibels.begin() + high + 1);
            image.scanLine(y)[x] = SpectrogramColours::level(loudest);
        }
        if (progress && (x % 16 == 0 || x + 1 == width))
            progress(double(x + 1) / width);
    }
    if (columns.readFailed()) {
        error = audio->failure().isEmpty()
                    ? QStringLiteral("“%1” could not be read to its end").arg(wavPath)
                    : audio->failure();
        return {};
    }
    return image;
}

} // namespace murmelo
