#include "SpeechFiles.h"

#include "library/Recording.h"

#include <QFile>

namespace murmelo::test {

QString writeSpeechLikeWav(qint64 frames, bool reversed)
{
    QByteArray data;
    for (qint64 i = 0; i < frames; ++i) {
        const qint64 n = reversed ? frames - 1 - i : i;
        const auto sample = qint16((n * 37) % 30000 - 15000);
        data.append(char(sample & 0xff)).append(char((sample >> 8) & 0xff));
    }
    QByteArray wav = "RIFF";
    const auto le32 = [](quint32 v) {
        return QByteArray(1, char(v)) + char(v >> 8) + char(v >> 16) + char(v >> 24);
    };
    const auto le16 = [](quint16 v) { return QByteArray(1, char(v)) + char(v >> 8); };
    wav += le32(quint32(36 + data.size())) + "WAVEfmt " + le32(16) + le16(1) + le16(1) +
           le32(kSpeechRate) + le32(kSpeechRate * 2) + le16(2) + le16(16) + "data" +
           le32(quint32(data.size()));
    wav += data;
    const QString path = Recording::tempAudioPath();
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(wav);
    return path;
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
