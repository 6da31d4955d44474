#pragma once

#include "audio/WaveformEnvelope.h"

#include <QImage>
#include <QSizeF>
#include <QString>
#include <memory>

namespace murmelo {

// The picture of a recording's waveform that every screen shows behind the scrubber and the
// store keeps.
inline const QSizeF kWaveformPictureSize(225.0, 54.0);
constexpr double kWaveformPictureBarWidth = 4.0;

// A fresh reversal, not saved yet: the forward audio (a recording or an imported song), the same
// audio played backwards, the loudness envelope of the forward audio and its picture.
struct Reversal {
    QString audioPath;
    QString reverseAudioPath;
    // Null when the reversal came without one (a screen handed only the picture).
    std::shared_ptr<const WaveformEnvelope> envelope;
    QImage waveformImage;
    bool imported = false;

    bool hasFiles() const { return !audioPath.isEmpty() || !reverseAudioPath.isEmpty(); }
    // The standard picture of the envelope; a null image without one.
    static QImage pictureOf(const WaveformEnvelope &envelope);
};

} // namespace murmelo
