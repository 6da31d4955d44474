#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

namespace murmelo {

// A stretch of whole frames [start, end) of one audio file.
struct FrameRange {
    qint64 start = 0;
    qint64 end = 0;

    qint64 length() const { return end - start; }
    bool operator==(const FrameRange &) const = default;
};

// A stretch of a recording the user marked, with what was heard there. Markers live on the
// reversal's time line, where they are made; counting whole frames keeps the mirror exact.
struct PhraseMarker {
    qint64 id = 0; // the store's row id once saved, 0 before
    FrameRange frames;
    QString text;

    bool operator==(const PhraseMarker &) const = default;
};

// The same audio on the other file of a pair: frame i of a file of `totalFrames` is frame
// totalFrames - 1 - i of its reversal, so a stretch [s, e) maps to [N - e, N - s). Mirroring
// twice gives the stretch back.
FrameRange mirrored(FrameRange range, qint64 totalFrames);
// The marker's stretch on the forward file.
PhraseMarker forwardTwin(const PhraseMarker &marker, qint64 totalFrames);

// Markers of a recording cropped to `kept` (a stretch of the reversal): a marker inside is
// moved to the new start, one cut by an edge keeps its text and the part that remains, one
// wholly outside is dropped. Ids are cleared: the crop is a new recording.
QList<PhraseMarker> markersAfterCrop(const QList<PhraseMarker> &markers, FrameRange kept);

// Seconds to the nearest whole frame and back. Six decimals of a second are finer than half a
// frame at every rate up to 192 kHz, so writing and reading seconds keeps the frame.
qint64 framesFromSeconds(double seconds, int sampleRate);
double secondsFromFrames(qint64 frames, int sampleRate);

} // namespace murmelo
