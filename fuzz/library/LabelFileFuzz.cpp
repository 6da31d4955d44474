// Arbitrary bytes as a label file: every line is taken or refused by number, nothing crashes,
// every marker taken lies within the recording, and what is taken is written back and read
// again as the same markers.
#include "library/LabelFile.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    // The first two bytes choose the recording's length: up to about 25 minutes at 44.1 kHz.
    const murmelo::LabelAudio audio{44100, qint64(data[0] << 8 | data[1]) * 1000};
    const QByteArray bytes(reinterpret_cast<const char *>(data + 2), qsizetype(size - 2));
    const auto read = murmelo::readLabelFile(bytes, murmelo::LabelTimeLine::Reversed, audio);
    for (const murmelo::PhraseMarker &marker : read.markers) {
        if (marker.frames.start < 0 || marker.frames.end < marker.frames.start ||
            marker.frames.end > audio.totalFrames)
            std::abort();
    }
    if (!read.ok())
        return 0;
    const auto again = murmelo::readLabelFile(
        murmelo::writeLabelFile(read.markers, murmelo::LabelTimeLine::Reversed, audio),
        murmelo::LabelTimeLine::Forward, audio);
    auto byStart = [](QList<murmelo::PhraseMarker> markers) {
        std::stable_sort(markers.begin(), markers.end(), [](const auto &a, const auto &b) {
            return a.frames.start != b.frames.start ? a.frames.start < b.frames.start
                                                    : a.frames.end < b.frames.end;
        });
        return markers;
    };
    if (!again.ok() || byStart(again.markers) != byStart(read.markers))
        std::abort();
    return 0;
}
