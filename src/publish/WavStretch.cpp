#include "publish/WavStretch.h"

#include "audio/OutputPath.h"

#include <QtEndian>
#include <algorithm>
#include <cstring>

namespace murmelo {

bool WavStretch::readable(const WavLayout &layout)
{
    if (layout.formatTag == WavLayout::Pcm)
        return layout.bitsPerSample >= 8 && layout.bitsPerSample <= 32 &&
               layout.blockAlign == layout.channels * ((layout.bitsPerSample + 7) / 8);
    if (layout.formatTag == WavLayout::IeeeFloat)
        return (layout.bitsPerSample == 32 || layout.bitsPerSample == 64) &&
               layout.blockAlign == layout.channels * layout.bitsPerSample / 8;
    return false;
}

bool WavStretch::open(const QString &path, FrameRange range, QString &error)
{
    if (WavFile::checkInput(path, layout_, error) != WavFile::Kind::Valid) {
        if (error.isEmpty())
            error = QStringLiteral("“%1” is not a WAV file").arg(path);
        return false;
    }
    if (!readable(layout_)) {
        error = QStringLiteral("“%1” holds audio in an encoding that cannot be published "
                               "(format %2, %3 bits)")
                    .arg(path)
                    .arg(layout_.formatTag)
                    .arg(layout_.bitsPerSample);
        return false;
    }
    if (!openRegularFile(file_, path, error))
        return false;
    const qint64 start = std::clamp<qint64>(range.start, 0, layout_.frames);
    const qint64 end = std::clamp<qint64>(range.end, start, layout_.frames);
    range_ = {start, end};
    next_ = start;
    if (!file_.seek(layout_.dataOffset + start * layout_.blockAlign)) {
        error = QStringLiteral("“%1” cannot be read").arg(path);
        return false;
    }
    return true;
}

namespace {

float sampleAt(const uchar *p, const WavLayout &layout)
{
    if (layout.formatTag == WavLayout::IeeeFloat) {
        if (layout.bitsPerSample == 32) {
            const quint32 bits = qFromLittleEndian<quint32>(p);
            float value;
            std::memcpy(&value, &bits, sizeof value);
            return value;
        }
        const quint64 bits = qFromLittleEndian<quint64>(p);
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return float(value);
    }
    switch ((layout.bitsPerSample + 7) / 8) {
    case 1:
        return (int(p[0]) - 128) / 128.0f; // 8-bit WAV samples are unsigned
    case 2:
        return qFromLittleEndian<qint16>(p) / 32768.0f;
    case 3:
        return float(qint32(quint32(p[0]) << 8 | quint32(p[1]) << 16 | quint32(p[2]) << 24)) /
               2147483648.0f;
    default:
        return float(qFromLittleEndian<qint32>(p)) / 2147483648.0f;
    }
}

} // namespace

bool WavStretch::read(qint64 maxFrames, std::vector<float> &samples, QString &error)
{
    samples.clear();
    const qint64 frames = std::min(maxFrames, range_.end - next_);
    if (frames <= 0)
        return true;
    const qint64 bytes = frames * layout_.blockAlign;
    bytes_.resize(bytes);
    if (file_.read(bytes_.data(), bytes) != bytes) {
        error = QStringLiteral("“%1” ended before its audio did (was it changed meanwhile?)")
                    .arg(file_.fileName());
        return false;
    }
    const int channels = layout_.channels;
    const int width = layout_.blockAlign / channels;
    samples.resize(size_t(frames * channels));
    const auto *p = reinterpret_cast<const uchar *>(bytes_.constData());
    if (layout_.formatTag == WavLayout::Pcm && width == 2) {
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = qFromLittleEndian<qint16>(p + 2 * i) / 32768.0f;
    } else {
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = sampleAt(p + width * i, layout_);
    }
    next_ += frames;
    return true;
}

} // namespace murmelo
