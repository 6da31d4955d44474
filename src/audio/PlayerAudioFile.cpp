#include "audio/PlayerAudioFile.h"

#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

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

std::shared_ptr<PlayerAudio> PlayerAudio::open(const QString &path, QString &error)
{
    return PlayerAudioFile::open(path, error);
}

std::shared_ptr<PlayerAudioFile> PlayerAudioFile::open(const QString &path, QString &error)
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
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = QStringLiteral("could not open %1: %2")
                    .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return nullptr;
    }
    return std::shared_ptr<PlayerAudioFile>(new PlayerAudioFile(path, layout, fd));
}

PlayerAudioFile::PlayerAudioFile(const QString &path, const WavLayout &layout, int fd)
    : PlayerAudio(layout.sampleRate, layout.channels, layout.frames), path_(path), layout_(layout),
      fd_(fd), blocks_(kCachedBlocks)
{
    // Sequential reads let the kernel read ahead of the worker too.
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
}

PlayerAudioFile::~PlayerAudioFile()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable())
        worker_.join();
    ::close(fd_);
}

QString PlayerAudioFile::failure() const
{
    std::lock_guard lock(mutex_);
    return failure_;
}

qint64 PlayerAudioFile::expectedFrames(qint64 index) const
{
    return std::min(kBlockFrames, frames() - index * kBlockFrames);
}

QString PlayerAudioFile::load(qint64 index, Block &into, std::vector<uchar> &raw) const
{
    const qint64 wanted = expectedFrames(index) * layout_.blockAlign;
    const qint64 offset = layout_.dataOffset + index * kBlockFrames * layout_.blockAlign;
    raw.resize(size_t(wanted));
    qint64 done = 0;
    QString reason;
    while (done < wanted) {
        const ssize_t got = ::pread(fd_, raw.data() + done, size_t(wanted - done), offset + done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            reason = QString::fromLocal8Bit(std::strerror(errno));
            break;
        }
        if (got == 0) {
            reason = QStringLiteral("it is shorter than when it was opened");
            break;
        }
        done += got;
    }
    into.index = index;
    into.frames = done / layout_.blockAlign;
    into.samples.resize(size_t(into.frames * layout_.channels));
    const int width = layout_.blockAlign / layout_.channels;
    const uchar *p = raw.data();
    for (float &sample : into.samples) {
        sample = sampleAt(p, layout_);
        p += width;
    }
    if (reason.isEmpty())
        return {};
    return QStringLiteral("“%1” could not be read to its end: %2").arg(path_, reason);
}

PlayerAudioFile::Block *PlayerAudioFile::find(qint64 index)
{
    for (Block &block : blocks_)
        if (block.index == index)
            return &block;
    return nullptr;
}

PlayerAudioFile::Block &PlayerAudioFile::slotFor()
{
    // The least recently used block outside the read-ahead window; the cache holds more blocks
    // than the window, so there always is one.
    Block *oldest = nullptr;
    for (Block &block : blocks_) {
        if (block.index < 0)
            return block;
        const bool ahead =
            wanted_ >= 0 && block.index >= wanted_ && block.index < wanted_ + kBlocksAhead;
        if (!ahead && (!oldest || block.lastUse < oldest->lastUse))
            oldest = &block;
    }
    return *oldest;
}

const PlayerAudioFile::Block &PlayerAudioFile::ensure(qint64 index)
{
    Block *block = find(index);
    if (!block) {
        // Not read ahead (a seek, or the worker fell behind): read it here, one block only.
        block = &slotFor();
        const QString reason = load(index, *block, raw_);
        if (!reason.isEmpty() && failure_.isEmpty())
            failure_ = reason;
    }
    block->lastUse = ++uses_;
    return *block;
}

qint64 PlayerAudioFile::read(qint64 first, qint64 count, float *out)
{
    std::unique_lock lock(mutex_);
    count = std::clamp<qint64>(frames() - first, 0, count);
    qint64 done = 0;
    while (done < count) {
        const qint64 frame = first + done;
        const Block &block = ensure(frame / kBlockFrames);
        const qint64 offset = frame % kBlockFrames;
        const qint64 n = std::min(count - done, block.frames - offset);
        if (n <= 0)
            break; // the block was cut short: the file ends here now
        std::copy_n(block.samples.data() + offset * channels(), n * channels(),
                    out + done * channels());
        done += n;
    }
    if (done < count && failure_.isEmpty())
        failure_ = QStringLiteral("“%1” could not be read to its end").arg(path_);
    const qint64 next = (first + done) / kBlockFrames;
    if (next != wanted_) {
        wanted_ = next;
        if (!worker_.joinable())
            worker_ = std::thread([this] { prefetch(); });
        lock.unlock();
        wake_.notify_one();
    }
    return done;
}

void PlayerAudioFile::prefetch()
{
    Block scratch;
    std::vector<uchar> raw;
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        qint64 next = -1;
        const qint64 end = std::min(wanted_ + kBlocksAhead, blockCount());
        for (qint64 index = wanted_; index < end; ++index) {
            if (!find(index)) {
                next = index;
                break;
            }
        }
        if (next < 0) {
            wake_.wait(lock);
            continue;
        }
        lock.unlock();
        const QString reason = load(next, scratch, raw);
        lock.lock();
        if (!reason.isEmpty() && failure_.isEmpty())
            failure_ = reason;
        if (find(next))
            continue; // the reader needed it first and read it itself
        // Swapping keeps both buffers allocated, so steady playing allocates nothing.
        Block &slot = slotFor();
        std::swap(slot.samples, scratch.samples);
        slot.index = next;
        slot.frames = scratch.frames;
        slot.lastUse = ++uses_;
    }
}

} // namespace murmelo
