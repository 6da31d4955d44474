#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace murmelo::test {

// WAV files built byte by byte, so a test can make canonical ones and the broken ones no encoder
// would write: every field little-endian, every chunk padded to an even length.
QByteArray le16(quint16 value);
QByteArray le32(quint32 value);
// A chunk with its tag and size (the body's, unless `declared` says otherwise) and its pad byte.
QByteArray chunk(const char *tag, const QByteArray &body, qint64 declared = -1);
// The body of a plain integer PCM "fmt " chunk; `blockAlign` defaults to what the format needs.
QByteArray fmtBody(int channels, quint32 rate, int bits, int blockAlign = -1);
// The same as WAVE_FORMAT_EXTENSIBLE with this channel mask and the PCM sub-format.
QByteArray extensibleFmtBody(int channels, quint32 rate, int bits, quint32 speakers);
// "RIFF", the size, "WAVE", then the chunks.
QByteArray riff(const QByteArray &chunks);
// A canonical 44-byte header followed by `dataBytes` of data; fields can be patched after.
QByteArray wavHeader(int channels, int rate, int bits, quint32 dataBytes);
// 16-bit samples as a WAV file stores them.
QByteArray pcm16(const std::vector<qint16> &samples);
// A whole 16-bit mono WAV file.
QByteArray monoWav(const std::vector<qint16> &frames, int rate);

// Writes the bytes to `path` (replacing a file there); fails the test when it can't.
QString writeFileBytes(const QString &path, const QByteArray &bytes);

} // namespace murmelo::test
