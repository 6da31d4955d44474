#pragma once

#include "audio/MediaImportError.h"
#include "audio/WavFile.h"

#include <QString>
#include <atomic>
#include <functional>
#include <memory>

namespace murmelo {

// Converts a song into the WAV file that the reversal job starts from: 16-bit signed
// little-endian interleaved stereo at 44.1 kHz, whatever the song's own format.
class MediaImport {
public:
    static constexpr int outputChannels = 2;
    static constexpr int outputSampleRate = 44100;

    using Progress = std::function<void(double fraction)>;
    using Completion = std::function<void(const MediaImportError &error)>;

    // Decodes `source` and writes `destination`, pulling one packet at a time, in bounded
    // memory; a WAV file that already holds the import's layout is copied instead, its data by
    // the kernel and its header written anew. Runs on the calling thread. `progress` (0..1, from
    // the stream's duration) is called on this thread. Setting `cancelled` stops the work at the
    // next read. The WAV file is written under a hidden name beside `destination` and renamed into
    // place when complete, so on any failure and on cancellation `destination` is as it was. A song
    // longer than a WAV file can hold is refused before anything is written.
    static MediaImportError exportToWav(const QString &source, const QString &destination,
                                        const std::atomic<bool> &cancelled,
                                        const Progress &progress = {});

    // Whether a WAV file already holds the layout the import writes, so that its data is copied
    // as it is instead of decoded: plain 16-bit PCM, stereo, 44.1 kHz, or the extensible header
    // of the same when it names no speakers but front left and right.
    static bool holdsImportLayout(const WavLayout &layout);

    // exportToWav() on a serial queue named "mediaInputQueue"; `progress` and `completion` are
    // posted to the main queue. The flag is shared with the caller's cancel action.
    static void exportInBackground(const QString &source, const QString &destination,
                                   std::shared_ptr<std::atomic<bool>> cancelled, Progress progress,
                                   Completion completion);

    // The texts the record screen shows around an import.
    static QString progressText();          // "Importing from library…"
    static QString alertTitle();            // "Error accessing media library"
    static QString protectedMediaMessage(); // "Unable to access DRM protected media."
    // The alert message for a failed import; empty for a cancelled one (no alert then).
    static QString alertMessage(const MediaImportError &error);
    static bool needsAlert(const MediaImportError &error);
};

} // namespace murmelo
