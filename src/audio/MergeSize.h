#pragma once

#include <QString>

namespace murmelo {

// The size in bytes of the file slowAndMergeAudio(first, second, factor) writes, read from the two
// WAV headers alone (nothing is decoded), so that a merge too large for its purpose can be refused
// before it starts. -1 when either file is not a WAV file whose header can be read.
qint64 mergedSizeEstimate(const QString &first, const QString &second, float factor);

} // namespace murmelo
