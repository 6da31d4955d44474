#pragma once

#include "audio/MediaImportError.h"

#include <QString>
#include <atomic>
#include <memory>
#include <vector>

namespace murmelo {

// Decodes the first audio stream of any file FFmpeg can read into interleaved 16-bit samples at
// a chosen rate and channel count, one demuxed packet at a time, so memory stays bounded
// whatever the file's length. Other streams (video, cover art) are not even demuxed.
class MediaImportDecoder {
public:
    MediaImportDecoder();
    ~MediaImportDecoder();
    MediaImportDecoder(const MediaImportDecoder &) = delete;
    MediaImportDecoder &operator=(const MediaImportDecoder &) = delete;

    // Unreadable when the file cannot be opened, is not a regular file, holds no audio (probing
    // gives up after a bounded amount of input) or claims a rate below 1 kHz; SetupFailed when
    // its decoder or the converter cannot be set up. Setting `cancelled` ends probing and
    // reading between two reads of the file (Cancelled).
    MediaImportError open(const QString &path, int channels, int sampleRate,
                          const std::atomic<bool> *cancelled = nullptr);

    // Replaces `samples` with the next decoded stretch (possibly empty, at most a few tens of
    // thousands of frames however much a frame expands). `finished` turns true once the stream
    // has ended and every sample has been handed out.
    MediaImportError read(std::vector<qint16> &samples, bool &finished);

    // How long the stream says it is, 0 when it does not say.
    double durationSeconds() const;
    int channels() const;
    int sampleRate() const;

private:
    struct Codec;
    std::unique_ptr<Codec> codec_;
};

} // namespace murmelo
