#include "audio/SampleConversion.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace murmelo {

namespace {

// Beyond this a float sample is clipped anyway; limiting it first keeps the scaled value inside
// the 32-bit range the vector conversion handles (outside it gives the most negative number,
// which would turn a loud positive spike into a full negative one). NaN is taken as the limit,
// the same way by both paths.
constexpr float floatLimit = 2.0f;

float limited(float sample)
{
    sample = sample < floatLimit ? sample : floatLimit;
    return sample > -floatLimit ? sample : -floatLimit;
}

qint16 toS16(float sample)
{
    // lrintf rounds as the current mode says: to the nearest, ties to even, as the resampler's
    // own conversion does.
    const long scaled = std::lrintf(limited(sample) * 32768.0f);
    return qint16(std::clamp<long>(scaled, -32768, 32767));
}

qint16 toS16(qint16 sample)
{
    return sample;
}

#if defined(__SSE2__)
// Eight consecutive samples as 16-bit: floats scaled, rounded by the current mode (to nearest,
// ties to even) and saturated, exactly as toS16() does one at a time.
__m128i eightS16(const float *in)
{
    const __m128 low = _mm_set1_ps(-floatLimit), high = _mm_set1_ps(floatLimit);
    const __m128 scale = _mm_set1_ps(32768.0f);
    const __m128 a = _mm_max_ps(_mm_min_ps(_mm_loadu_ps(in), high), low);
    const __m128 b = _mm_max_ps(_mm_min_ps(_mm_loadu_ps(in + 4), high), low);
    return _mm_packs_epi32(_mm_cvtps_epi32(_mm_mul_ps(a, scale)),
                           _mm_cvtps_epi32(_mm_mul_ps(b, scale)));
}

__m128i eightS16(const qint16 *in)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(in));
}
#endif

// `count` samples in a row, converted one for one.
template <typename Sample> void convertRun(const Sample *in, qint64 count, qint16 *out)
{
    qint64 i = 0;
#if defined(__SSE2__)
    for (; i + 8 <= count; i += 8)
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), eightS16(in + i));
#endif
    for (; i < count; ++i)
        out[i] = toS16(in[i]);
}

// Two runs of samples woven into stereo frames; the same run twice spreads mono to both sides.
template <typename Sample>
void weavePair(const Sample *left, const Sample *right, qint64 frames, qint16 *out)
{
    qint64 f = 0;
#if defined(__SSE2__)
    for (; f + 8 <= frames; f += 8) {
        const __m128i l = eightS16(left + f), r = eightS16(right + f);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 2 * f), _mm_unpacklo_epi16(l, r));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 2 * f + 8), _mm_unpackhi_epi16(l, r));
    }
#endif
    for (; f < frames; ++f) {
        out[2 * f] = toS16(left[f]);
        out[2 * f + 1] = toS16(right[f]);
    }
}

template <typename Sample>
void convertFrames(const uint8_t *const *planes, bool planar, int inChannels, int outChannels,
                   qint64 offset, qint64 frames, qint16 *out)
{
    // One channel is laid out the same whether the format calls it planar or not.
    if (inChannels == 1)
        planar = true;
    if (!planar && inChannels == outChannels) {
        convertRun(reinterpret_cast<const Sample *>(planes[0]) + offset * inChannels,
                   frames * inChannels, out);
        return;
    }
    if (planar && outChannels == 1) {
        convertRun(reinterpret_cast<const Sample *>(planes[0]) + offset, frames, out);
        return;
    }
    if (planar && outChannels == 2) {
        const auto *left = reinterpret_cast<const Sample *>(planes[0]) + offset;
        const auto *right =
            inChannels == 1 ? left : reinterpret_cast<const Sample *>(planes[1]) + offset;
        weavePair(left, right, frames, out);
        return;
    }
    for (int c = 0; c < outChannels; ++c) {
        // A mono source feeds every output channel.
        const int source = inChannels == 1 ? 0 : c;
        const Sample *in;
        qint64 step;
        if (planar) {
            in = reinterpret_cast<const Sample *>(planes[source]) + offset;
            step = 1;
        } else {
            in = reinterpret_cast<const Sample *>(planes[0]) + offset * inChannels + source;
            step = inChannels;
        }
        qint16 *o = out + c;
        for (qint64 f = 0; f < frames; ++f, in += step, o += outChannels)
            *o = toS16(*in);
    }
}

} // namespace

std::optional<SampleConversion> SampleConversion::make(Format format, int inChannels,
                                                       int outChannels)
{
    if (inChannels < 1 || outChannels < 1 || (inChannels != outChannels && inChannels != 1))
        return std::nullopt;
    return SampleConversion(format, inChannels, outChannels);
}

void SampleConversion::convert(const uint8_t *const *planes, qint64 offset, qint64 frames,
                               qint16 *out) const
{
    const bool planar = format_ == Format::S16Planar || format_ == Format::FloatPlanar;
    if (format_ == Format::S16 && inChannels_ == outChannels_) {
        std::memcpy(out, reinterpret_cast<const qint16 *>(planes[0]) + offset * inChannels_,
                    size_t(frames * inChannels_) * sizeof(qint16));
        return;
    }
    if (format_ == Format::S16 || format_ == Format::S16Planar)
        convertFrames<qint16>(planes, planar, inChannels_, outChannels_, offset, frames, out);
    else
        convertFrames<float>(planes, planar, inChannels_, outChannels_, offset, frames, out);
}

} // namespace murmelo
