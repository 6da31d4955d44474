#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>
#include <QtGlobal>

namespace murmelo {

// What a RIFF/WAVE header says about its audio, after checking that it is possible.
struct WavLayout {
    QByteArray fmtChunk;   // the fmt chunk's body, byte for byte, so a copy keeps the exact format
    quint16 formatTag = 0; // resolved through WAVE_FORMAT_EXTENSIBLE's sub-format
    int channels = 0;
    int sampleRate = 0;
    int bitsPerSample = 0;
    int blockAlign = 0;
    qint64 dataOffset = 0;
    qint64 frames = 0; // whole frames actually present in the file

    static constexpr quint16 Pcm = 1;
    static constexpr quint16 IeeeFloat = 3;
    static constexpr quint16 ALaw = 6;
    static constexpr quint16 MuLaw = 7;

    bool isIntegerPcm() const { return formatTag == Pcm; }
};

// Reads and checks WAV headers. Files come from anywhere (a crashed recorder, a user's folder),
// so every field is checked before anything is sized from it.
class WavFile {
public:
    enum class Kind { NotWav, Invalid, Valid };

    // Not a RIFF/WAVE file at all, a WAV file whose header is impossible or unsupported (with the
    // reason in `error`), or a usable layout. A data chunk that claims more bytes than the file
    // holds is cut to the whole frames present: recorders that die mid-write leave such files and
    // their audio is still good.
    // The format chunk must come before the data and have an even size (libsox's reader, which
    // reverses and joins, finds no data otherwise), and there are at most `maximumChannels`
    // channels (what the import can mix down).
    static Kind inspect(const QString &path, WavLayout &layout, QString &error);

    // The one rule every command and audio job applies to a WAV input: inspect() and at least
    // one frame of audio. `error` is a whole sentence naming the file.
    static Kind checkInput(const QString &path, WavLayout &layout, QString &error);

    static constexpr int maximumChannels = 8;

    // Writes, at the start of `file`, a header with this fmt chunk body and a data chunk of
    // `dataBytes`; refuses sizes a RIFF header cannot hold.
    static bool writeHeader(QFileDevice &file, const QByteArray &fmtChunk, qint64 dataBytes);
    // That header's bytes (`dataBytes` at most maximumDataBytes).
    static QByteArray header(const QByteArray &fmtChunk, qint64 dataBytes);
    // The 16-byte fmt chunk body of plain integer PCM.
    static QByteArray pcmFmtChunk(int channels, int sampleRate, int bitsPerSample);
    static constexpr qint64 maximumDataBytes = 0xFFFFFFFFll - 64;
};

} // namespace murmelo
