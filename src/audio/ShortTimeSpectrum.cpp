#include "audio/ShortTimeSpectrum.h"

#include "audio/FftwPlans.h"

#include <cmath>
#include <fftw3.h>
#include <numbers>

namespace murmelo {

ShortTimeSpectrum::ShortTimeSpectrum(int frameSize) : size_(frameSize), window_(size_t(frameSize))
{
    // The periodic Hann window: overlapping frames at half a frame apart add up to a constant.
    double sum = 0;
    for (int i = 0; i < size_; ++i) {
        window_[size_t(i)] = float(0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / size_));
        sum += window_[size_t(i)];
    }
    // A sine of amplitude 1 on a bin gives a magnitude of sum/2 there.
    scale_ = float(4.0 / (sum * sum));
    std::lock_guard lock(fftwPlannerLock());
    in_ = fftwf_alloc_real(size_t(size_));
    auto *out = fftwf_alloc_complex(size_t(binCount()));
    out_ = out;
    plan_ = fftwf_plan_dft_r2c_1d(size_, in_, out, FFTW_ESTIMATE);
}

ShortTimeSpectrum::~ShortTimeSpectrum()
{
    std::lock_guard lock(fftwPlannerLock());
    fftwf_destroy_plan(static_cast<fftwf_plan>(plan_));
    fftwf_free(in_);
    fftwf_free(out_);
}

void ShortTimeSpectrum::addPower(const float *frame, float *power)
{
    for (int i = 0; i < size_; ++i)
        in_[i] = frame[i] * window_[size_t(i)];
    fftwf_execute(static_cast<fftwf_plan>(plan_));
    const auto *out = static_cast<const fftwf_complex *>(out_);
    for (int bin = 0; bin < binCount(); ++bin)
        power[bin] += (out[bin][0] * out[bin][0] + out[bin][1] * out[bin][1]) * scale_;
}

float ShortTimeSpectrum::decibels(float power)
{
    return power > 1e-20f ? 10.0f * std::log10(power) : kSilence;
}

} // namespace murmelo
