#include "audio/MergeSize.h"

#include "audio/WavFile.h"

#include <cmath>

namespace murmelo {

qint64 mergedSizeEstimate(const QString &first, const QString &second, float factor)
{
    WavLayout a, b;
    QString error;
    if (WavFile::inspect(first, a, error) != WavFile::Kind::Valid ||
        WavFile::inspect(second, b, error) != WavFile::Kind::Valid || !(factor > 0.0f))
        return -1;
    // The merge writes in the first file's format; playing at `factor` times the speed divides
    // the frames by it. A plain RIFF header precedes the data.
    constexpr qint64 kHeader = 44;
    const double frames = double(a.frames + b.frames) / double(factor);
    return kHeader + qint64(std::ceil(frames)) * a.blockAlign;
}

} // namespace murmelo
