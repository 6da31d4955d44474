#pragma once

#include <QColor>
#include <QVector>

namespace murmelo {

// How loud a spectrogram's cell is, as a colour: decibels from kFloor to kCeiling go to 256 levels
// of a perceptually even map (dark violet through blue and green to yellow), lightness rising
// with loudness, so the picture reads in grey too and brighter is always louder.
class SpectrogramColours {
public:
    static constexpr float kFloor = -90.0f;
    static constexpr float kCeiling = 0.0f;

    // 0 at or below the floor, 255 at or above the ceiling.
    static quint8 level(float decibels);
    // The decibels a level stands for (its lower edge).
    static float decibelsOf(int level);
    static QRgb colour(int level);
    // The 256 colours, as an indexed image's colour table.
    static const QVector<QRgb> &table();
};

} // namespace murmelo
