#include "audio/PlayerAudio.h"

#include "audio/WavFile.h"

#include <QFile>
#include <QtEndian>

namespace murmelo {
namespace {

// G.711, as telephone-quality WAV files store it.
float fromALaw(quint8 byte)
{
    byte ^= 0x55;
    const int exponent = (byte >> 4) & 0x07;
    int magnitude = (byte & 0x0f) << 4;
    magnitude += exponent == 0 ? 8 : 0x108;
    if (exponent > 1)
        magnitude <<= exponent - 1;
    return float(byte & 0x80 ? magnitude : -magnitude) / 32768.0f;
}

float fromMuLaw(quint8 byte)
{
    byte = ~byte;
    const int exponent = (byte >> 4) & 0x07;
    const int magnitude = (((byte & 0x0f) << 3) + 0x84) << exponent;
    return float(byte & 0x80 ? 0x84 - magnitude : magnitude - 0x84) / 32768.0f;
}

float sampleAt(const uchar *p, const WavLayout &layout)
{
    switch (layout.formatTag) {
    case WavLayout::ALaw:
        return fromALaw(*p);
    case WavLayout::MuLaw:
        return fromMuLaw(*p);
    case WavLayout::IeeeFloat:
        if (layout.bitsPerSample == 64)
            return float(qFromLittleEndian<double>(p));
        return qFromLittleEndian<float>(p);
    default:
        break;
    }
    switch (layout.bitsPerSample) {
    case 8:
        return (int(*p) - 128) / 128.0f;
    case 16:
        return qFromLittleEndian<qint16>(p) / 32768.0f;
    case 24:
        return float(qint32(quint32(p[0]) << 8 | quint32(p[1]) << 16 | quint32(p[2]) << 24)) /
               2147483648.0f;
    default:
        return float(qFromLittleEndian<qint32>(p) / 2147483648.0);
    }
}

} // namespace

std::shared_ptr<const PlayerAudio> PlayerAudio::decode(const QString &path, QString &error)
{
    WavLayout layout;
    switch (WavFile::inspect(path, layout, error)) {
    case WavFile::Kind::NotWav:
        if (error.isEmpty())
            error = QStringLiteral("%1 is not a WAV file").arg(path);
        return nullptr;
    case WavFile::Kind::Invalid:
        return nullptr;
    case WavFile::Kind::Valid:
        break;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(layout.dataOffset)) {
        error = file.errorString();
        return nullptr;
    }
    auto audio = std::make_shared<PlayerAudio>();
    audio->sampleRate = layout.sampleRate;
    audio->channels = layout.channels;
    audio->samples.resize(size_t(layout.frames) * size_t(layout.channels));

    const int width = layout.blockAlign / layout.channels;
    const qint64 framesPerChunk = 16384;
    float *out = audio->samples.data();
    for (qint64 done = 0; done < layout.frames;) {
        const qint64 frames = std::min(framesPerChunk, layout.frames - done);
        const QByteArray bytes = file.read(frames * layout.blockAlign);
        // The header was checked against the file's size, so a short read is a failing disk.
        if (bytes.size() != frames * layout.blockAlign) {
            error =
                QStringLiteral("could not read the audio of %1: %2").arg(path, file.errorString());
            return nullptr;
        }
        const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
        for (qint64 i = 0; i < frames * layout.channels; ++i, p += width)
            *out++ = sampleAt(p, layout);
        done += frames;
    }
    return audio;
}

} // namespace murmelo
