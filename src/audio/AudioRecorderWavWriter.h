#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace murmelo {

// Streams 16-bit linear PCM into a WAV file. The recorder and the library import both write
// through it. The header's sizes are rewritten on every flush() (after the data they count has
// reached the file), so a process that dies mid-way leaves a playable file that is at most one
// flush interval short.
class AudioRecorderWavWriter {
public:
    AudioRecorderWavWriter(int channels, int sampleRate);
    ~AudioRecorderWavWriter();
    AudioRecorderWavWriter(const AudioRecorderWavWriter &) = delete;
    AudioRecorderWavWriter &operator=(const AudioRecorderWavWriter &) = delete;

    // Creates or truncates `path` and writes a header for no data yet.
    bool open(const QString &path);
    // Interleaved 16-bit samples, a whole number of frames. Buffered; large buffers are written
    // through at once so memory stays bounded.
    bool append(const char *pcm, qint64 bytes);
    // Writes the buffered data, then the sizes in the header.
    bool flush();
    // flush() and close; the file stays.
    bool close();
    // Closes and removes the file: for work that failed or was cancelled.
    void discard();

    bool isOpen() const { return file_.isOpen(); }
    qint64 frames() const { return (written_ + buffer_.size()) / bytesPerFrame_; }
    int sampleRate() const { return sampleRate_; }
    // Why the last call failed.
    QString errorString() const { return error_; }

private:
    bool writeBuffer();
    bool fail(const QString &why);

    QFile file_;
    QByteArray fmtChunk_;
    QByteArray buffer_;
    QString error_;
    qint64 written_ = 0; // data bytes that have reached the file
    int bytesPerFrame_;
    int sampleRate_;
};

} // namespace murmelo
