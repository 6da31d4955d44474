#pragma once

#include "library/PhraseMarker.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <functional>
#include <optional>

namespace murmelo {

// Encodes a stretch of a WAV file as an MP3 file in memory, through FFmpeg's LAME encoder and
// its MP3 muxer. The muxer's Xing/LAME header records the encoder's delay and padding, so a
// decoder (FFmpeg, browsers) gives back exactly the stretch's length. Mono stays mono; more
// channels are mixed down to stereo; rates LAME cannot take (or only as MPEG 2.5) are resampled to
// 16, 44.1 or 48 kHz.
class Mp3Encoder {
public:
    static constexpr int monoBitRate = 64000;
    static constexpr int stereoBitRate = 80000;

    // Called with the number of frames of the stretch encoded since the last call.
    using Progress = std::function<void(qint64 frames)>;

    // The MP3 bytes, or nullopt with the reason in `error` (also when `cancelled` turned true:
    // `error` is empty then).
    static std::optional<QByteArray> encode(const QString &wavPath, FrameRange range,
                                            const std::atomic<bool> &cancelled,
                                            const Progress &progress, QString &error);
};

} // namespace murmelo
