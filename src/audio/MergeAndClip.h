#pragma once

#include "audio/SoxReversal.h"

#include <QString>

namespace murmelo {

// The mail attachment: `first` followed by `second`, played at `factor` times normal speed (0.5
// is twice as long and an octave lower), written at the first file's rate. Returns a new
// temporary path, or an empty string when an input cannot be read or the work fails.
QString slowAndMergeAudio(const QString &first, const QString &second, float factor);

// The stretch from `start` to `end` (fractions of the file's length) of a WAV file, in exactly
// the file's own format. Returns a new temporary path, or an empty string on failure.
QString clipAudio(const QString &path, float start, float end);

// The same work into a chosen file, with the reason on failure. The file is written under a
// hidden name beside it and renamed into place when complete, so a failure leaves `output` as it
// was; inputs that are not regular files or that `output` names are refused first.
AudioJobResult mergeAudioFiles(const QString &first, const QString &second, float factor,
                               const QString &output);
AudioJobResult clipAudioFile(const QString &path, float start, float end, const QString &output);

// The frames a clip from `start` to `end` keeps of a file of `frames` frames: the first one
// and how many.
struct ClipFrames {
    qint64 first;
    qint64 count;
};
ClipFrames clipFrames(float start, float end, qint64 frames);

// The factor as libsox's "speed" is given it: shortest text, at most 7 significant digits.
QString speedFactorText(float factor);

} // namespace murmelo
