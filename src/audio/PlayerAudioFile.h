#pragma once

#include "audio/PlayerAudio.h"
#include "audio/WavFile.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace murmelo {

// A WAV file played straight from the disk. Frames are decoded in blocks into a small cache; a
// worker keeps the next couple of seconds after the last read decoded ahead, so the thread that
// renders sound rarely waits on the disk and never for more than one block (after a seek).
// Memory stays at the cache's few blocks whatever the file's length.
class PlayerAudioFile : public PlayerAudio {
public:
    static constexpr qint64 kBlockFrames = 4096;
    static constexpr int kBlocksAhead = 24; // about 2 s at 44.1 kHz
    static constexpr int kCachedBlocks = kBlocksAhead + 4;

    // Null, with the reason in `error`, as PlayerAudio::open.
    static std::shared_ptr<PlayerAudioFile> open(const QString &path, QString &error);
    ~PlayerAudioFile() override;

    qint64 read(qint64 first, qint64 count, float *out) override;
    QString failure() const override;

private:
    struct Block {
        qint64 index = -1;
        qint64 frames = 0; // fewer than kBlockFrames at the file's end, or where it was cut short
        quint64 lastUse = 0;
        std::vector<float> samples;
    };

    PlayerAudioFile(const QString &path, const WavLayout &layout, int fd);
    qint64 blockCount() const { return (frames() + kBlockFrames - 1) / kBlockFrames; }
    qint64 expectedFrames(qint64 index) const;
    // Reads and decodes one block; needs no lock. The reason when the block came out short.
    QString load(qint64 index, Block &into, std::vector<uchar> &raw) const;
    // These three need the lock.
    Block *find(qint64 index);
    Block &slotFor();
    const Block &ensure(qint64 index);
    void prefetch();

    const QString path_;
    const WavLayout layout_;
    const int fd_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<Block> blocks_;
    std::vector<uchar> raw_; // the reading thread's undecoded bytes; the worker has its own
    quint64 uses_ = 0;
    qint64 wanted_ = -1; // the first block the worker keeps ready from; none before the first read
    QString failure_;
    bool stopping_ = false;
    std::thread worker_;
};

} // namespace murmelo
