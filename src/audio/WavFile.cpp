#include "audio/WavFile.h"

#include "audio/OutputPath.h"

#include <QFile>
#include <QtEndian>

namespace murmelo {

namespace {

constexpr int maximumSampleRate = 768000;
constexpr quint16 extensible = 0xFFFE;
// A fmt chunk is 16 to 40 bytes in practice; anything far larger is not a header.
constexpr quint32 maximumFmtBytes = 4096;

quint16 le16(const char *p)
{
    return qFromLittleEndian<quint16>(p);
}
quint32 le32(const char *p)
{
    return qFromLittleEndian<quint32>(p);
}

QString checkFormat(const QByteArray &fmt, WavLayout &layout)
{
    if (fmt.size() < 16)
        return QStringLiteral("the WAV format chunk is too short");
    const char *p = fmt.constData();
    quint16 tag = le16(p);
    layout.channels = le16(p + 2);
    const quint32 rate = le32(p + 4);
    layout.blockAlign = le16(p + 12);
    layout.bitsPerSample = le16(p + 14);
    if (tag == extensible) {
        if (fmt.size() < 40)
            return QStringLiteral("the WAV extensible format chunk is too short");
        tag = le16(p + 24); // first two bytes of the sub-format GUID
    }
    layout.formatTag = tag;
    if (layout.channels < 1 || layout.channels > WavFile::maximumChannels)
        return QStringLiteral("the WAV header claims %1 channels").arg(layout.channels);
    if (rate < 1 || rate > quint32(maximumSampleRate))
        return QStringLiteral("the WAV header claims a sample rate of %1 Hz").arg(rate);
    layout.sampleRate = int(rate);

    const int bits = layout.bitsPerSample;
    bool bitsOk = false;
    switch (tag) {
    case WavLayout::Pcm:
        bitsOk = bits == 8 || bits == 16 || bits == 24 || bits == 32;
        break;
    case WavLayout::IeeeFloat:
        bitsOk = bits == 32 || bits == 64;
        break;
    case WavLayout::ALaw:
    case WavLayout::MuLaw:
        bitsOk = bits == 8;
        break;
    default:
        return QStringLiteral("the WAV encoding %1 is not supported").arg(tag);
    }
    if (!bitsOk)
        return QStringLiteral("the WAV header claims %1 bits per sample").arg(bits);
    if (layout.blockAlign != layout.channels * bits / 8)
        return QStringLiteral("the WAV header's block size does not match its channels and bits");
    return {};
}

} // namespace

WavFile::Kind WavFile::inspect(const QString &path, WavLayout &layout, QString &error)
{
    layout = WavLayout{};
    QFile file;
    if (!openRegularFile(file, path, error))
        return Kind::Invalid;
    const qint64 fileSize = file.size();
    const QByteArray riff = file.read(12);
    if (riff.size() < 12 || !riff.startsWith("RIFF") || riff.mid(8, 4) != "WAVE")
        return Kind::NotWav;

    bool haveFmt = false;
    bool haveData = false;
    qint64 dataBytes = 0;
    qint64 pos = 12;
    while (pos + 8 <= fileSize && !(haveFmt && haveData)) {
        if (!file.seek(pos)) {
            error = file.errorString();
            return Kind::Invalid;
        }
        const QByteArray chunk = file.read(8);
        if (chunk.size() < 8)
            break;
        const quint32 size = le32(chunk.constData() + 4);
        const qint64 body = pos + 8;
        if (chunk.startsWith("fmt ") && !haveFmt) {
            if (size > maximumFmtBytes || body + size > fileSize) {
                error = QStringLiteral("the WAV format chunk is damaged");
                return Kind::Invalid;
            }
            if (size & 1) {
                error = QStringLiteral("the WAV format chunk has an odd size (%1 bytes)").arg(size);
                return Kind::Invalid;
            }
            layout.fmtChunk = file.read(size);
            haveFmt = true;
        } else if (chunk.startsWith("data") && !haveData) {
            if (!haveFmt) {
                error = QStringLiteral("the WAV file's data comes before its format chunk");
                return Kind::Invalid;
            }
            layout.dataOffset = body;
            dataBytes = qMin<qint64>(size, fileSize - body);
            haveData = true;
        }
        pos = body + qint64(size) + (size & 1);
    }
    if (!haveFmt || !haveData) {
        error = QStringLiteral("the WAV file has no %1 chunk")
                    .arg(haveFmt ? QStringLiteral("data") : QStringLiteral("format"));
        return Kind::Invalid;
    }
    error = checkFormat(layout.fmtChunk, layout);
    if (!error.isEmpty())
        return Kind::Invalid;
    layout.frames = dataBytes / layout.blockAlign;
    return Kind::Valid;
}

WavFile::Kind WavFile::checkInput(const QString &path, WavLayout &layout, QString &error)
{
    QString reason;
    Kind kind = inspect(path, layout, reason);
    if (kind == Kind::Valid && layout.frames < 1) {
        reason = QStringLiteral("it holds no audio");
        kind = Kind::Invalid;
    }
    switch (kind) {
    case Kind::NotWav:
        error = QStringLiteral("“%1” is not a WAV file").arg(path);
        break;
    case Kind::Invalid:
        error = QStringLiteral("“%1” is not a usable WAV file: %2").arg(path, reason);
        break;
    case Kind::Valid:
        error.clear();
        break;
    }
    return kind;
}

bool WavFile::writeHeader(QFileDevice &file, const QByteArray &fmtChunk, qint64 dataBytes)
{
    if (dataBytes < 0 || dataBytes > maximumDataBytes)
        return false;
    const QByteArray bytes = header(fmtChunk, dataBytes);
    return file.seek(0) && file.write(bytes) == bytes.size();
}

QByteArray WavFile::pcmFmtChunk(int channels, int sampleRate, int bitsPerSample)
{
    QByteArray fmt(16, '\0');
    char *p = fmt.data();
    const int blockAlign = channels * bitsPerSample / 8;
    qToLittleEndian<quint16>(WavLayout::Pcm, p);
    qToLittleEndian<quint16>(quint16(channels), p + 2);
    qToLittleEndian<quint32>(quint32(sampleRate), p + 4);
    qToLittleEndian<quint32>(quint32(sampleRate * blockAlign), p + 8);
    qToLittleEndian<quint16>(quint16(blockAlign), p + 12);
    qToLittleEndian<quint16>(quint16(bitsPerSample), p + 14);
    return fmt;
}

QByteArray WavFile::header(const QByteArray &fmtChunk, qint64 dataBytes)
{
    const qint64 fmtBytes = fmtChunk.size() + (fmtChunk.size() & 1);
    const qint64 riffBytes = 4 + 8 + fmtBytes + 8 + dataBytes + (dataBytes & 1);
    QByteArray bytes;
    const auto put32 = [&](quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        bytes.append(b, 4);
    };
    bytes.append("RIFF");
    put32(quint32(qMin<qint64>(riffBytes, 0xFFFFFFFFll)));
    bytes.append("WAVEfmt ");
    put32(quint32(fmtChunk.size()));
    bytes.append(fmtChunk);
    if (fmtChunk.size() & 1)
        bytes.append('\0');
    bytes.append("data");
    put32(quint32(dataBytes));
    return bytes;
}

} // namespace murmelo
