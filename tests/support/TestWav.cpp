#include "support/TestWav.h"

#include <QFile>
#include <QtEndian>
#include <gtest/gtest.h>

namespace murmelo::test {

QByteArray le16(quint16 value)
{
    QByteArray bytes(2, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray le32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray chunk(const char *tag, const QByteArray &body, qint64 declared)
{
    return QByteArray(tag, 4) + le32(quint32(declared < 0 ? body.size() : declared)) + body +
           QByteArray(body.size() & 1, '\0');
}

QByteArray fmtBody(int channels, quint32 rate, int bits, int blockAlign)
{
    const int align = blockAlign < 0 ? channels * bits / 8 : blockAlign;
    return le16(1) + le16(quint16(channels)) + le32(rate) + le32(rate * quint32(align)) +
           le16(quint16(align)) + le16(quint16(bits));
}

QByteArray extensibleFmtBody(int channels, quint32 rate, int bits, quint32 speakers)
{
    // cbSize, valid bits, speakers, then the PCM sub-format GUID.
    return le16(0xFFFE) + fmtBody(channels, rate, bits).mid(2) + le16(22) + le16(quint16(bits)) +
           le32(speakers) + QByteArray::fromHex("0100000000001000800000aa00389b71");
}

QByteArray riff(const QByteArray &chunks)
{
    return "RIFF" + le32(quint32(4 + chunks.size())) + "WAVE" + chunks;
}

QByteArray wavHeader(int channels, int rate, int bits, quint32 dataBytes)
{
    const QByteArray fmt = chunk("fmt ", fmtBody(channels, quint32(rate), bits));
    return "RIFF" + le32(quint32(4 + fmt.size() + 8) + dataBytes) + "WAVE" + fmt + "data" +
           le32(dataBytes);
}

QByteArray pcm16(const std::vector<qint16> &samples)
{
    QByteArray data(qsizetype(samples.size()) * 2, '\0');
    for (size_t i = 0; i < samples.size(); ++i)
        qToLittleEndian(samples[i], data.data() + 2 * i);
    return data;
}

QByteArray monoWav(const std::vector<qint16> &frames, int rate)
{
    const QByteArray data = pcm16(frames);
    return wavHeader(1, rate, 16, quint32(data.size())) + data;
}

QString writeFileBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                file.write(bytes) == bytes.size())
        << path.toStdString();
    return path;
}

} // namespace murmelo::test
