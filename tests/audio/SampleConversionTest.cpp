#include "audio/SampleConversion.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace murmelo {
namespace {

using Format = SampleConversion::Format;

struct Case {
    Format format;
    AVSampleFormat avFormat;
    int inChannels;
    int outChannels;
};

// What the resampler makes of the same planes, set up as the import sets it up.
std::vector<qint16> throughResampler(const Case &c, const uint8_t *const *planes, int frames)
{
    AVChannelLayout in{}, out{};
    av_channel_layout_default(&in, c.inChannels);
    av_channel_layout_default(&out, c.outChannels);
    SwrContext *swr = nullptr;
    EXPECT_EQ(swr_alloc_set_opts2(&swr, &out, AV_SAMPLE_FMT_S16, 44100, &in, c.avFormat, 44100, 0,
                                  nullptr),
              0);
    if (c.inChannels == 1 && c.outChannels > 1) {
        std::vector<double> matrix(c.outChannels, 1.0);
        EXPECT_EQ(swr_set_matrix(swr, matrix.data(), 1), 0);
    }
    EXPECT_EQ(swr_init(swr), 0);
    std::vector<qint16> result(size_t(frames) * c.outChannels);
    uint8_t *o = reinterpret_cast<uint8_t *>(result.data());
    EXPECT_EQ(swr_convert(swr, &o, frames, const_cast<const uint8_t **>(planes), frames), frames);
    swr_free(&swr);
    return result;
}

// Sample for sample the resampler's result, rounding ties, clipping and mono spread included,
// for every format and channel pairing converted without it.
TEST(SampleConversion, MatchesTheResamplerSampleForSample)
{
    constexpr int frames = 4099;
    std::mt19937 random(7);
    const std::vector<Case> cases = {
        {Format::S16, AV_SAMPLE_FMT_S16, 2, 2},
        {Format::S16, AV_SAMPLE_FMT_S16, 1, 2},
        {Format::S16Planar, AV_SAMPLE_FMT_S16P, 2, 2},
        {Format::S16Planar, AV_SAMPLE_FMT_S16P, 1, 2},
        {Format::Float, AV_SAMPLE_FMT_FLT, 2, 2},
        {Format::Float, AV_SAMPLE_FMT_FLT, 1, 2},
        {Format::FloatPlanar, AV_SAMPLE_FMT_FLTP, 2, 2},
        {Format::FloatPlanar, AV_SAMPLE_FMT_FLTP, 1, 2},
        {Format::FloatPlanar, AV_SAMPLE_FMT_FLTP, 1, 1},
    };
    for (const Case &c : cases) {
        const bool isFloat = c.format == Format::Float || c.format == Format::FloatPlanar;
        const bool planar = c.format == Format::S16Planar || c.format == Format::FloatPlanar;
        const int planeCount = planar ? c.inChannels : 1;
        const int perPlane = planar ? frames : frames * c.inChannels;
        std::vector<std::vector<uint8_t>> storage(planeCount);
        std::vector<const uint8_t *> planes;
        for (auto &plane : storage) {
            if (isFloat) {
                std::vector<float> values(perPlane);
                for (int i = 0; i < perPlane; ++i) {
                    // Exact halves between two steps, overshoots past full scale, and noise.
                    switch (i % 4) {
                    case 0:
                        values[i] = float(int(random() % 65536) - 32768) / 65536.0f + 0.5f / 32768;
                        break;
                    case 1:
                        values[i] = (float(random() % 3000) / 1000.0f) - 1.5f;
                        break;
                    default:
                        values[i] = std::uniform_real_distribution<float>(-1.0f, 1.0f)(random);
                    }
                }
                plane.resize(values.size() * sizeof(float));
                std::memcpy(plane.data(), values.data(), plane.size());
            } else {
                std::vector<qint16> values(perPlane);
                for (qint16 &v : values)
                    v = qint16(random());
                plane.resize(values.size() * sizeof(qint16));
                std::memcpy(plane.data(), values.data(), plane.size());
            }
            planes.push_back(plane.data());
        }
        const auto conversion = SampleConversion::make(c.format, c.inChannels, c.outChannels);
        ASSERT_TRUE(conversion);
        std::vector<qint16> ours(size_t(frames) * c.outChannels);
        // In two parts, as a frame is converted slice by slice.
        conversion->convert(planes.data(), 0, 1000, ours.data());
        conversion->convert(planes.data(), 1000, frames - 1000, ours.data() + 1000 * c.outChannels);
        EXPECT_EQ(ours, throughResampler(c, planes.data(), frames))
            << "format " << int(c.format) << ", " << c.inChannels << " -> " << c.outChannels;
    }
    EXPECT_FALSE(SampleConversion::make(Format::S16, 2, 1)) << "a downmix needs the resampler";
    EXPECT_FALSE(SampleConversion::make(Format::S16, 6, 2));
}

// Samples far past full scale (a damaged frame, a decoder's overshoot) clip to the side they
// are on, in the vector body and the scalar tail alike; NaN is taken as full scale.
TEST(SampleConversion, SamplesFarPastFullScaleClipToTheirOwnSide)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> loud = {1e6f, -1e6f, 65537.0f, -65537.0f, inf,  -inf,
                                     nan,  1.0f,  -1.0f,    1e9f,      -1e9f};
    // Each value lands once in the first eight frames and once in the tail.
    std::vector<float> left, right;
    for (int copy = 0; copy < 2; ++copy) {
        for (float v : loud) {
            left.push_back(v);
            right.push_back(-v);
        }
    }
    const uint8_t *planes[] = {reinterpret_cast<const uint8_t *>(left.data()),
                               reinterpret_cast<const uint8_t *>(right.data())};
    std::vector<qint16> out(left.size() * 2);
    SampleConversion::make(Format::FloatPlanar, 2, 2)
        ->convert(planes, 0, qint64(left.size()), out.data());
    const auto expected = [](float v) -> qint16 {
        if (std::isnan(v) || v >= 1.0f)
            return 32767;
        return -32768;
    };
    for (size_t i = 0; i < left.size(); ++i) {
        EXPECT_EQ(out[2 * i], expected(left[i])) << "frame " << i << " value " << left[i];
        EXPECT_EQ(out[2 * i + 1], expected(right[i])) << "frame " << i << " value " << right[i];
    }
}

} // namespace
} // namespace murmelo
