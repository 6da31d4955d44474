#include "audio/SpectrogramImage.h"

#include "audio/PlayerAudio.h"
#include "audio/SpectrogramColours.h"
#include "audio/SpectrumColumns.h"

#include <QThread>
#include <algorithm>
#include <climits>
#include <thread>
#include <vector>

namespace murmelo {

namespace {

// Draws columns [from, to) into `bits`. Each part reads the file through a reader of its own.
struct Part {
    std::shared_ptr<PlayerAudio> audio;
    int from = 0;
    int to = 0;
    QString failure; // why the file could not be read to its end

    void draw(uchar *bits, qsizetype bytesPerLine, int width, int height,
              const std::vector<std::pair<int, int>> &rows, const std::atomic<bool> *cancel,
              const std::function<void(double)> &progress)
    {
        // A column reads the whole of its stretch, however long.
        SpectrumColumns columns(audio, INT_MAX);
        columns.setPitchWanted(false);
        std::vector<float> decibels(size_t(columns.binCount()));
        const qint64 frames = audio->frames();
        for (int x = from; x < to; ++x) {
            if (cancel && cancel->load(std::memory_order_relaxed))
                return;
            const qint64 first = frames * x / width;
            const qint64 end = std::max(first + 1, frames * (x + 1) / width);
            float pitch = 0;
            columns.column(first, end, decibels.data(), pitch);
            for (int y = 0; y < height; ++y) {
                const auto [low, high] = rows[size_t(y)];
                const float loudest =
                    *std::max_element(decibels.begin() + low, decibels.begin() + high + 1);
                bits[y * bytesPerLine + x] = SpectrogramColours::level(loudest);
            }
            if (progress && ((x - from) % 16 == 0 || x + 1 == to))
                progress(double(x + 1 - from) / (to - from));
        }
        if (columns.readFailed())
            failure = audio->failure();
    }
};

} // namespace

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
    const FrequencyAxis axis(scale, audio->sampleRate(), ShortTimeSpectrum::kDefaultFrameSize);
    const auto rows = axis.rowBins(size.height());
    QImage image(size, QImage::Format_Indexed8);
    image.setColorTable(SpectrogramColours::table());
    // Written by the parts straight into the pixels, each its own columns.
    uchar *bits = image.bits();
    const qsizetype bytesPerLine = image.bytesPerLine();

    // The columns are shared out between the processor's cores, a stretch of the file each.
    const int count = std::clamp(QThread::idealThreadCount(), 1, std::min(4, size.width()));
    std::vector<Part> parts(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        Part &part = parts[size_t(i)];
        part.audio = i == 0 ? audio : PlayerAudio::open(wavPath, error);
        if (!part.audio)
            return {};
        part.from = size.width() * i / count;
        part.to = size.width() * (i + 1) / count;
    }
    std::vector<std::thread> helpers;
    for (size_t i = 1; i < parts.size(); ++i)
        helpers.emplace_back([&, i] {
            parts[i].draw(bits, bytesPerLine, size.width(), size.height(), rows, cancel, {});
        });
    // The first part reports the progress: the parts are of one size and go at one pace.
    parts[0].draw(bits, bytesPerLine, size.width(), size.height(), rows, cancel, progress);
    for (std::thread &helper : helpers)
        helper.join();

    if (cancel && cancel->load())
        return {};
    for (const Part &part : parts) {
        if (!part.failure.isEmpty()) {
            error = part.failure;
            return {};
        }
    }
    return image;
}

} // namespace murmelo
