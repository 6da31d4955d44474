#pragma once

#include "audio/FileRangeCopy.h"
#include "audio/SoxReversal.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <functional>
#include <vector>

namespace murmelo {

// A stretch of audio bytes inside a file: a WAV file's data chunk, or part of it.
struct WavPiece {
    QString path;
    qint64 offset = 0;
    qint64 bytes = 0;
};

struct WavSpliceResult {
    AudioJobStatus status;
    QString error;            // user-readable, empty unless Failed
    bool inputFailed = false; // a piece could not be read, rather than the output written

    operator AudioJobResult() const { return {status, error}; }
};

// Writes the WAV file `output` (a new, empty file of ours) without decoding anything: one header
// for `fmtChunk` and the pieces' total, then each piece's bytes in order, copied by the kernel
// where it can. The pieces must already be in that format. `progress` (0..1, on this thread)
// follows the bytes copied; setting `cancelled` stops at the next chunk. The caller removes the
// file after a failure or a cancel.
WavSpliceResult spliceWav(const QString &output, const QByteArray &fmtChunk,
                          const std::vector<WavPiece> &pieces, const std::atomic<bool> &cancelled,
                          const std::function<void(double fraction)> &progress = {},
                          FileRangeCopy::Method method = FileRangeCopy::Method::Kernel);

} // namespace murmelo
