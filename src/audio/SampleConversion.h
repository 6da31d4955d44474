#pragma once

#include <QtGlobal>
#include <cstdint>
#include <optional>

namespace murmelo {

// The decoded sample formats most songs come in (16-bit and float, interleaved or one plane per
// channel), turned into interleaved 16-bit samples without a resampler when the rate already
// matches. The result is the one libswresample gives for them, sample for sample: floats are
// scaled by 32768, rounded to the nearest (ties to even) and clipped; a mono channel goes to
// both sides of a stereo output unchanged.
class SampleConversion {
public:
    enum class Format { S16, S16Planar, Float, FloatPlanar };

    // Null when the conversion needs the resampler: another format, or channels other than the
    // same count or mono to stereo.
    static std::optional<SampleConversion> make(Format format, int inChannels, int outChannels);

    // Writes `frames` interleaved frames, from frame `offset` of the planes (one for interleaved
    // formats), to `out`.
    void convert(const uint8_t *const *planes, qint64 offset, qint64 frames, qint16 *out) const;

private:
    SampleConversion(Format format, int inChannels, int outChannels)
        : format_(format), inChannels_(inChannels), outChannels_(outChannels)
    {
    }

    Format format_;
    int inChannels_;
    int outChannels_;
};

} // namespace murmelo
