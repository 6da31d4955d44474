#include "SpeechFiles.h"

#include "library/Library.h"
#include "support/TestWav.h"

#include <QFile>

namespace murmelo::test {

QString writeSpeechLikeWav(qint64 frames, bool reversed)
{
    std::vector<qint16> samples(static_cast<size_t>(frames));
    for (qint64 i = 0; i < frames; ++i) {
        const qint64 n = reversed ? frames - 1 - i : i;
        samples[size_t(i)] = qint16((n * 37) % 30000 - 15000);
    }
    return writeFileBytes(Library::temporaryAudioPath(), monoWav(samples, kSpeechRate));
}

QByteArray pcmData(const QByteArray &wav)
{
    const qsizetype at = wav.indexOf("data", 12);
    return at < 0 ? QByteArray() : wav.mid(at + 8);
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace murmelo::test
