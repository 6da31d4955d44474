#include "library/PhraseMarker.h"

#include <algorithm>
#include <cmath>

namespace murmelo {

FrameRange mirrored(FrameRange range, qint64 totalFrames)
{
    return {totalFrames - range.end, totalFrames - range.start};
}

PhraseMarker forwardTwin(const PhraseMarker &marker, qint64 totalFrames)
{
    PhraseMarker twin = marker;
    twin.frames = mirrored(marker.frames, totalFrames);
    return twin;
}

QList<PhraseMarker> markersAfterCrop(const QList<PhraseMarker> &markers, FrameRange kept)
{
    QList<PhraseMarker> result;
    for (const PhraseMarker &marker : markers) {
        const qint64 start = std::max(marker.frames.start, kept.start);
        const qint64 end = std::min(marker.frames.end, kept.end);
        // An empty marker (a point) inside the kept stretch stays; anything else needs audio left.
        const bool keep = marker.frames.length() == 0
                              ? marker.frames.start >= kept.start && marker.frames.start <= kept.end
                              : end > start;
        if (!keep)
            continue;
        PhraseMarker moved = marker;
        moved.id = 0;
        moved.frames = {start - kept.start, std::max(start, end) - kept.start};
        result << moved;
    }
    return result;
}

qint64 framesFromSeconds(double seconds, int sampleRate)
{
    return std::llround(seconds * sampleRate);
}

double secondsFromFrames(qint64 frames, int sampleRate)
{
    return sampleRate > 0 ? double(frames) / sampleRate : 0.0;
}

} // namespace murmelo
