#include "audio/SampleConversion.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace murmelo {

namespace {

qint16 fromFloat(float sample)
{
    // lrintf rounds as the current mode says: to the nearest, ties to even, as the resampler's
    // own conversion does.
    const long scaled = std::lrintf(sample * 32768.0f);
    return qint16(std::clamp<long>(scaled, -32768, 32767));
}

template <typename Sample, typename Convert>
void convertFrames(const uint8_t *const *planes, bool planar, int inChannels, int outChannels,
                   qint64 offset, qint64 frames, qint16 *out, Convert convert)
{
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
            *o = convert(*in);
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
        convertFrames<qint16>(planes, planar, inChannels_, outChannels_, offset, frames, out,
                              [](qint16 s) { return s; });
    else
        convertFrames<float>(planes, planar, inChannels_, outChannels_, offset, frames, out,
                             fromFloat);
}

} // namespace murmelo
