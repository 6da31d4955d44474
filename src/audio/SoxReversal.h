#pragma once

#include <QString>
#include <atomic>
#include <functional>

namespace murmelo {

enum class AudioJobStatus { Finished, Cancelled, Failed };

struct AudioJobResult {
    AudioJobStatus status;
    QString error; // user-readable, empty unless Failed
};

// Writes `source` played backwards to the WAV file `output`, with the source's rate, channels
// and precision. libsox's "reverse" has to read the whole source before writing anything, so
// `progress` (called on this thread, 0..1 over the reading) shows how far the reading is.
// Setting `cancelled` stops the work at the next block; the caller then owns whatever files
// exist. On failure the partial output is removed.
AudioJobResult reverseAudioFile(const QString &source, const QString &output,
                                const std::atomic<bool> &cancelled,
                                std::function<void(double fraction)> progress = {});

} // namespace murmelo
