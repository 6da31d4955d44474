#include "playback/SpectrogramTiles.h"

#include "audio/PlayerAudio.h"
#include "audio/ShortTimeSpectrum.h"
#include "audio/SpectrogramColours.h"
#include "audio/SpectrumColumns.h"
#include "platform/MainQueue.h"

#include <QPointer>
#include <algorithm>
#include <cmath>
#include <sys/resource.h>
#include <unistd.h>

namespace murmelo {

SpectrogramTiles::SpectrogramTiles(QObject *parent, size_t cacheBytes)
    : QObject(parent), cacheBytes_(cacheBytes)
{
    // Made here, on the owner's thread; the worker only copies it into what it posts back.
    worker_ = std::thread([this, self = QPointer<SpectrogramTiles>(this)] { work(self); });
}

SpectrogramTiles::~SpectrogramTiles()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        ++generation_; // a tile half made is given up
    }
    wake_.notify_all();
    worker_.join();
}

int SpectrogramTiles::frameSize() const
{
    return ShortTimeSpectrum::kDefaultFrameSize;
}

void SpectrogramTiles::setSource(const QString &path)
{
    if (path == path_)
        return;
    path_ = path;
    error_.clear();
    cache_.clear();
    cachedBytes_ = 0;
    std::shared_ptr<PlayerAudio> audio;
    if (!path.isEmpty())
        audio = PlayerAudio::open(path, error_);
    sampleRate_ = audio ? audio->sampleRate() : 0;
    frames_ = audio ? audio->frames() : 0;
    std::lock_guard lock(mutex_);
    audio_ = std::move(audio);
    ++generation_;
    queue_.clear();
}

int SpectrogramTiles::levelFor(double framesPerPixel)
{
    if (!(framesPerPixel > 1))
        return kFinestLevel;
    return std::clamp(int(std::floor(std::log2(framesPerPixel))), kFinestLevel, kCoarsestLevel);
}

qint64 SpectrogramTiles::tileCount(int level) const
{
    const qint64 perTile = columnFrames(level) * kTileColumns;
    return (frames_ + perTile - 1) / perTile;
}

std::shared_ptr<const SpectrogramTiles::Tile> SpectrogramTiles::find(const Key &key)
{
    const auto found = cache_.find({key.level, key.index});
    if (found == cache_.end())
        return nullptr;
    found->lastUse = ++uses_;
    return found->tile;
}

void SpectrogramTiles::request(const QList<Key> &keys)
{
    std::lock_guard lock(mutex_);
    queue_.clear();
    for (const Key &key : keys) {
        if (key.index < 0 || key.index >= tileCount(key.level) ||
            cache_.contains({key.level, key.index}) || (making_ && *making_ == key))
            continue;
        queue_.push_back(key);
    }
    if (!queue_.empty())
        wake_.notify_one();
}

int SpectrogramTiles::pending() const
{
    std::lock_guard lock(mutex_);
    return int(queue_.size()) + (making_ ? 1 : 0);
}

void SpectrogramTiles::store(std::shared_ptr<const Tile> tile)
{
    cachedBytes_ += tile->bytes();
    const QPair<int, qint64> key{tile->key.level, tile->key.index};
    cache_.insert(key, {std::move(tile), ++uses_});
    // The tiles used longest ago go first; those just drawn were used last.
    while (cachedBytes_ > cacheBytes_ && cache_.size() > 1) {
        auto oldest = cache_.begin();
        for (auto it = cache_.begin(); it != cache_.end(); ++it)
            if (it->lastUse < oldest->lastUse)
                oldest = it;
        cachedBytes_ -= oldest->tile->bytes();
        cache_.erase(oldest);
    }
}

void SpectrogramTiles::work(const QPointer<SpectrogramTiles> &self)
{
    // Playback and the window come first: this thread only uses what they leave over.
    ::setpriority(PRIO_PROCESS, ::gettid(), 10);
    std::unique_ptr<SpectrumColumns> columns;
    std::shared_ptr<PlayerAudio> columnsAudio;
    std::vector<float> decibels;
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (queue_.empty() || !audio_) {
            wake_.wait(lock);
            continue;
        }
        const Key key = queue_.front();
        queue_.pop_front();
        making_ = key;
        const quint64 generation = generation_;
        std::shared_ptr<PlayerAudio> audio = audio_;
        lock.unlock();

        if (columnsAudio != audio) {
            columns = std::make_unique<SpectrumColumns>(audio, kFramesPerColumn);
            columnsAudio = audio;
        }
        auto tile = std::make_shared<Tile>();
        tile->key = key;
        tile->bins = columns->binCount();
        tile->levels.assign(size_t(kTileColumns) * size_t(tile->bins), 0);
        tile->pitch.assign(size_t(kTileColumns), 0.0f);
        decibels.resize(size_t(tile->bins));
        const qint64 step = columnFrames(key.level);
        bool givenUp = false;
        for (int c = 0; c < kTileColumns && !givenUp; ++c) {
            const qint64 first = (key.index * kTileColumns + c) * step;
            if (first >= audio->frames())
                break;
            columns->column(first, std::min(first + step, audio->frames()), decibels.data(),
                            tile->pitch[size_t(c)]);
            quint8 *out = tile->levels.data() + size_t(c) * size_t(tile->bins);
            for (int bin = 0; bin < tile->bins; ++bin)
                out[bin] = SpectrogramColours::level(decibels[size_t(bin)]);
            // Checked without the lock: a stale answer only costs one more column.
            if (c % 16 == 15) {
                std::lock_guard check(mutex_);
                givenUp = generation != generation_;
            }
        }

        lock.lock();
        making_.reset();
        if (givenUp || generation != generation_)
            continue;
        postToMainQueue([self, generation, tile = std::shared_ptr<const Tile>(std::move(tile))] {
            if (!self)
                return;
            {
                std::lock_guard lock(self->mutex_);
                if (generation != self->generation_)
                    return;
            }
            self->store(tile);
            emit self->tileReady();
        });
    }
}

} // namespace murmelo
