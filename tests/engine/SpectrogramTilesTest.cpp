// The spectrogram's tiles: made off the main thread for the audio on disk, kept within their
// budget, and dropped with the file they came from.
#include "playback/SpectrogramTiles.h"
#include "support/TestSupport.h"
#include "support/TestWav.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>

using namespace murmelo;
using namespace murmelo::test;

namespace {

constexpr int kRate = 8000;

// Two seconds at `first` Hz, then two at `second`.
QString twoTones(const QString &name, double first, double second)
{
    std::vector<qint16> frames(size_t(4 * kRate));
    for (size_t i = 0; i < frames.size(); ++i) {
        const double hertz = i < frames.size() / 2 ? first : second;
        frames[i] =
            qint16(std::lround(12000 * std::sin(2 * std::numbers::pi * hertz * double(i) / kRate)));
    }
    return writeFileBytes(QDir::temp().filePath(name), monoWav(frames, kRate));
}

std::shared_ptr<const SpectrogramTiles::Tile> waitFor(SpectrogramTiles &tiles,
                                                      const SpectrogramTiles::Key &key)
{
    const QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        if (auto tile = tiles.find(key))
            return tile;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return nullptr;
}

int loudestBin(const SpectrogramTiles::Tile &tile, int column)
{
    const quint8 *levels = tile.column(column);
    return int(std::max_element(levels, levels + tile.bins) - levels);
}

TEST(SpectrogramTiles, TilesShowTheirOwnStretchOfTheAudio)
{
    SpectrogramTiles tiles;
    tiles.setSource(twoTones(QStringLiteral("tones.wav"), 500, 2000));
    ASSERT_TRUE(tiles.hasAudio()) << tiles.error().toStdString();
    // 64 frames a column: a tile is 2.048 s, so tile 0 is the first tone and tile 1 mostly the
    // second.
    const int level = SpectrogramTiles::levelFor(64);
    ASSERT_EQ(level, 6);
    EXPECT_EQ(tiles.tileCount(level), 2);
    tiles.request({{level, 1}, {level, 0}});
    const auto first = waitFor(tiles, {level, 0});
    const auto second = waitFor(tiles, {level, 1});
    ASSERT_TRUE(first && second);
    const double bin = double(kRate) / tiles.frameSize();
    EXPECT_NEAR(loudestBin(*first, 100), 500 / bin, 1.0);
    EXPECT_NEAR(first->pitch[100], 500.0, 5.0);
    EXPECT_NEAR(loudestBin(*second, 100), 2000 / bin, 1.0);
    // Past the end of the audio the columns are empty, not a copy of something else.
    EXPECT_EQ(*std::max_element(second->column(255), second->column(255) + second->bins), 0);
    EXPECT_EQ(second->pitch[255], 0.0f);
    // Tiles outside the audio are never made.
    tiles.request({{level, 2}, {level, -1}});
    EXPECT_EQ(tiles.pending(), 0);
}

TEST(SpectrogramTiles, TheCacheKeepsItsBudgetAndANewFileStartsAfresh)
{
    // Room for about two tiles.
    SpectrogramTiles tiles(nullptr, 600 * 1024);
    tiles.setSource(twoTones(QStringLiteral("budget.wav"), 500, 2000));
    const int level = SpectrogramTiles::kFinestLevel;
    ASSERT_GE(tiles.tileCount(level), 6);
    for (qint64 index = 0; index < 6; ++index) {
        tiles.request({{level, index}});
        ASSERT_TRUE(waitFor(tiles, {level, index})) << index;
        EXPECT_LE(tiles.cachedBytes(), size_t(600 * 1024));
    }
    // The newest stays, the oldest went.
    EXPECT_TRUE(tiles.find({level, 5}));
    EXPECT_FALSE(tiles.find({level, 0}));

    tiles.setSource(twoTones(QStringLiteral("other.wav"), 1000, 1000));
    EXPECT_EQ(tiles.cachedBytes(), 0u);
    EXPECT_FALSE(tiles.find({level, 5}));
    tiles.request({{level, 0}});
    const auto fresh = waitFor(tiles, {level, 0});
    ASSERT_TRUE(fresh);
    EXPECT_NEAR(loudestBin(*fresh, 10), 1000 / (double(kRate) / tiles.frameSize()), 1.0);
}

TEST(SpectrogramTiles, AnUnreadableFileSaysWhyAndMakesNothing)
{
    SpectrogramTiles tiles;
    tiles.setSource(writeFileBytes(QDir::temp().filePath(QStringLiteral("broken.wav")),
                                   QByteArray("RIFF\x10\0\0\0WAVEjunk", 16)));
    EXPECT_FALSE(tiles.hasAudio());
    EXPECT_FALSE(tiles.error().isEmpty());
    tiles.request({{SpectrogramTiles::kFinestLevel, 0}});
    EXPECT_EQ(tiles.pending(), 0);
}

} // namespace
