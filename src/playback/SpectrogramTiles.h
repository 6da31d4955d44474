#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace murmelo {

class PlayerAudio;

// The spectrogram of the screen's forward audio in tiles of kTileColumns columns, made on a
// worker thread of low priority in the order asked for (the stretch in view first) and kept per
// zoom level. A level's columns are 2^level frames apart; a view picks the level whose columns
// are at most a pixel wide. Tiles used longest ago go once the cache passes kCacheBytes, so an
// hour of audio scrolled through at any zoom stays within a few tens of MiB.
class SpectrogramTiles : public QObject {
    Q_OBJECT
public:
    static constexpr int kTileColumns = 256;
    // Frames averaged in a column at most; a wider column is sampled at evenly spaced places.
    static constexpr int kFramesPerColumn = 8;
    static constexpr int kFinestLevel = 3;
    static constexpr int kCoarsestLevel = 40;
    static constexpr size_t kCacheBytes = size_t(24) << 20;

    struct Key {
        int level = 0;
        qint64 index = 0;
        bool operator==(const Key &other) const
        {
            return level == other.level && index == other.index;
        }
    };
    struct Tile {
        Key key;
        int bins = 0;
        // Colour levels column by column: column c's bins start at c * bins.
        std::vector<quint8> levels;
        // The pitch at each column's middle in Hz, 0 where there is none.
        std::vector<float> pitch;
        const quint8 *column(int c) const { return levels.data() + size_t(c) * size_t(bins); }
        size_t bytes() const { return levels.size() + pitch.size() * sizeof(float); }
    };

    // Keeps about `cacheBytes` of tiles.
    explicit SpectrogramTiles(QObject *parent = nullptr, size_t cacheBytes = kCacheBytes);
    ~SpectrogramTiles() override;

    // Reads the WAV file at `path` from now on; what was made of another file goes. A file that
    // cannot be read gives no tiles and says why in error().
    void setSource(const QString &path);
    QString source() const { return path_; }
    QString error() const { return error_; }
    bool hasAudio() const { return frames_ > 0; }
    int sampleRate() const { return sampleRate_; }
    qint64 frames() const { return frames_; }
    int frameSize() const;
    int binCount() const { return frameSize() / 2 + 1; }

    static int levelFor(double framesPerPixel);
    static qint64 columnFrames(int level) { return qint64(1) << level; }
    // The tiles a level needs to cover the whole audio.
    qint64 tileCount(int level) const;

    // The tile when it is made, else null.
    std::shared_ptr<const Tile> find(const Key &key);
    // Asks for these tiles in this order; asked-for tiles not yet begun that are not named
    // again are dropped, so the worker always makes what is in view now.
    void request(const QList<Key> &keys);
    size_t cachedBytes() const { return cachedBytes_; }
    // Tiles waiting or being made.
    int pending() const;

signals:
    // A tile asked for has been made.
    void tileReady();

private:
    struct Cached {
        std::shared_ptr<const Tile> tile;
        quint64 lastUse = 0;
    };
    void work(const QPointer<SpectrogramTiles> &self);
    void store(std::shared_ptr<const Tile> tile);

    QString path_;
    QString error_;
    int sampleRate_ = 0;
    qint64 frames_ = 0;
    QHash<QPair<int, qint64>, Cached> cache_;
    size_t cacheBytes_;
    size_t cachedBytes_ = 0;
    quint64 uses_ = 0;

    // Shared with the worker, under mutex_.
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::shared_ptr<PlayerAudio> audio_;
    quint64 generation_ = 0;
    std::deque<Key> queue_;
    std::optional<Key> making_;
    bool stopping_ = false;
    std::thread worker_;
};

} // namespace murmelo
