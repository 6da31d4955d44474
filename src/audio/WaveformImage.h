#pragma once

#include <QImage>
#include <QSizeF>
#include <QString>
#include <vector>

namespace murmelo {

// The waveform picture of an audio file: its loudness envelope as bars mirrored about the
// centre line (left channel below, right channel above for stereo), on a transparent
// background. A null image when the file cannot be read, with the reason in `error` if given.
QImage waveformImage(const QString &path, const QSizeF &size, double barWidth,
                     QString *error = nullptr);

// Draws an envelope (dB values, left/right interleaved for stereo) normalised to `normalizeMax`.
QImage audioImageGraph(const std::vector<float> &envelope, float normalizeMax, int sampleCount,
                       int channelCount, const QSizeF &size, double barWidth);

} // namespace murmelo
