#pragma once

#include "audio/WavFile.h"
#include "library/PhraseMarker.h"

#include <QFile>
#include <QString>
#include <vector>

namespace murmelo {

// Reads a stretch of frames of a WAV file as interleaved floats in [-1, 1], a block at a time,
// whatever the file's sample encoding (integer PCM of 8 to 32 bits, or IEEE float).
class WavStretch {
public:
    // Opens `path` and checks that its encoding can be read; false with a sentence naming the
    // file otherwise. The stretch is clamped to the frames the file holds.
    bool open(const QString &path, FrameRange range, QString &error);

    const WavLayout &layout() const { return layout_; }
    qint64 frames() const { return range_.length(); }

    // Replaces `samples` with up to `maxFrames` next frames; an empty result means the stretch
    // is done. False (with `error`) when the file cannot be read any more (cut short meanwhile).
    bool read(qint64 maxFrames, std::vector<float> &samples, QString &error);

    // Whether this encoding can be read at all.
    static bool readable(const WavLayout &layout);

private:
    QFile file_;
    WavLayout layout_;
    FrameRange range_;
    qint64 next_ = 0;
    QByteArray bytes_;
};

} // namespace murmelo
