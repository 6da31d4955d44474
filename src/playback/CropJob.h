#pragma once

#include "library/PhraseMarker.h"

#include <QImage>
#include <QString>
#include <functional>

namespace murmelo {

// The two new files of a crop and the waveform picture of the new forward file; or, when either
// cut failed, only the reason (no file is left behind then).
struct CropResult {
    QString audioPath;
    QString reverseAudioPath;
    QImage waveformImage;
    // The frames of the old reversal that the new one holds.
    FrameRange keptReversal;
    QString error;

    bool succeeded() const { return error.isEmpty(); }
};

// Cuts the fractions [min, max] out of the forward file, and the same stretch of audio out of the
// reversal (from 1 - max to 1 - min of its own length), on the serial queue "clip". `done` runs
// on the main queue.
void cropReversal(const QString &audioPath, const QString &reverseAudioPath, float min, float max,
                  std::function<void(const CropResult &)> done);

} // namespace murmelo
