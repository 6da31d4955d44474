#pragma once

#include "audio/FrequencyAxis.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <atomic>
#include <functional>

namespace murmelo {

// The spectrogram of a whole WAV file as a picture without decorations: time from left to right
// over the whole file, frequency from the bottom row (0 Hz, or the log axis's lowest) to half the
// sample rate at the top row, brighter where louder. Every frame of the audio counts.
class SpectrogramImage {
public:
    // Null, with the reason in `error`, when the file cannot be read, or when `cancel` was set
    // (error empty then). `progress` hears the share done, from 0 to 1.
    static QImage draw(const QString &wavPath, const QSize &size, FrequencyAxis::Scale scale,
                       QString &error, const std::atomic<bool> *cancel = nullptr,
                       const std::function<void(double)> &progress = {});
};

} // namespace murmelo
