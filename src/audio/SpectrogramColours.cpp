#include "audio/SpectrogramColours.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace murmelo {

namespace {

// The viridis map at ten even steps; between them the colours are interpolated linearly, which
// keeps its even lightness within what the eye can tell apart.
constexpr std::array<QRgb, 10> kStops = {0x440154, 0x482878, 0x3e4989, 0x31688e, 0x26828e,
                                         0x1f9e89, 0x35b779, 0x6ece58, 0xb5de2b, 0xfde725};

QVector<QRgb> makeTable()
{
    QVector<QRgb> table(256);
    for (int level = 0; level < 256; ++level) {
        const double at = level / 255.0 * (kStops.size() - 1);
        const size_t low = std::min(size_t(at), kStops.size() - 2);
        const double t = at - double(low);
        const auto mix = [t](int a, int b) { return int(std::lround(a + (b - a) * t)); };
        const QRgb a = kStops[low];
        const QRgb b = kStops[low + 1];
        table[level] =
            qRgb(mix(qRed(a), qRed(b)), mix(qGreen(a), qGreen(b)), mix(qBlue(a), qBlue(b)));
    }
    return table;
}

} // namespace

quint8 SpectrogramColours::level(float decibels)
{
    const float t = (decibels - kFloor) / (kCeiling - kFloor);
    return quint8(std::clamp(int(t * 256.0f), 0, 255));
}

float SpectrogramColours::decibelsOf(int level)
{
    return kFloor + (kCeiling - kFloor) * float(level) / 256.0f;
}

QRgb SpectrogramColours::colour(int level)
{
    return table()[std::clamp(level, 0, 255)];
}

const QVector<QRgb> &SpectrogramColours::table()
{
    static const QVector<QRgb> colours = makeTable();
    return colours;
}

} // namespace murmelo
