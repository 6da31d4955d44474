#pragma once

#include <QByteArray>
#include <QString>

namespace murmelo::test {

// Sample rate of the files writeSpeechLikeWav() writes.
inline constexpr int kSpeechRate = 8000;

// A 16-bit mono WAV file in the temporary audio folder with distinct frames; `reversed` writes
// them last to first.
QString writeSpeechLikeWav(qint64 frames, bool reversed);
// The samples of a WAV file: what follows its "data" chunk header.
QByteArray pcmData(const QByteArray &wav);
QByteArray fileBytes(const QString &path);

} // namespace murmelo::test
