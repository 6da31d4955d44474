#pragma once

#include <QString>
#include <atomic>
#include <functional>
#include <optional>

namespace murmelo {

class WaveformEnvelope;

enum class AudioJobStatus { Finished, Cancelled, Failed };

struct AudioJobResult {
    AudioJobStatus status;
    QString error; // user-readable, empty unless Failed
};

// Writes `source` played backwards to the WAV file `output`, with the source's rate, channels
// and precision, through libsox's WAV reader and writer. The source is read from its end a block
// at a time, so memory stays flat and no scratch copy of the stream is made whatever its length;
// `progress` (called on this thread, 0..1) follows the frames written. Setting `cancelled` stops
// the work at the next block. The output is written beside `output` under a hidden name and
// renamed into place when complete, so on failure or cancel nothing under `output` has changed.
// A source that is not a regular file, or that `output` names (by any link), is refused before
// anything is written.
AudioJobResult reverseAudioFile(const QString &source, const QString &output,
                                const std::atomic<bool> &cancelled,
                                std::function<void(double fraction)> progress = {});

// The same, also measuring the source's loudness envelope from the blocks the reversal reads, so
// the waveform needs no read of the file of its own. `envelope` is set when the reversal
// finished, and is then the one EnvelopeReader::read() gives for `source`.
AudioJobResult reverseAudioFile(const QString &source, const QString &output,
                                const std::atomic<bool> &cancelled,
                                std::function<void(double fraction)> progress,
                                std::optional<WaveformEnvelope> &envelope);

} // namespace murmelo
