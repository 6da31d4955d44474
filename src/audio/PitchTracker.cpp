#include "audio/PitchTracker.h"

#include "audio/FftwPlans.h"

#include <algorithm>
#include <cmath>
#include <fftw3.h>

namespace murmelo {

PitchTracker::PitchTracker(int sampleRate, int frameSize, double lowest, double highest)
    : sampleRate_(sampleRate), size_(frameSize), window_(frameSize / 2),
      minLag_(std::max(2, int(std::floor(sampleRate / highest)))),
      maxLag_(std::clamp(int(std::ceil(sampleRate / lowest)), minLag_ + 2, frameSize / 2 - 2)),
      difference_(size_t(maxLag_ + 2))
{
    std::lock_guard lock(fftwPlannerLock());
    const size_t bins = size_t(size_ / 2 + 1);
    time_ = fftwf_alloc_real(size_t(size_));
    head_ = fftwf_alloc_real(size_t(size_));
    auto *spectrum = fftwf_alloc_complex(bins);
    auto *spectrum2 = fftwf_alloc_complex(bins);
    spectrum_ = spectrum;
    spectrum2_ = spectrum2;
    forward_ = fftwf_plan_dft_r2c_1d(size_, time_, spectrum, FFTW_ESTIMATE);
    forward2_ = fftwf_plan_dft_r2c_1d(size_, head_, spectrum2, FFTW_ESTIMATE);
    backward_ = fftwf_plan_dft_c2r_1d(size_, spectrum, time_, FFTW_ESTIMATE);
}

PitchTracker::~PitchTracker()
{
    std::lock_guard lock(fftwPlannerLock());
    for (void *plan : {forward_, forward2_, backward_})
        fftwf_destroy_plan(static_cast<fftwf_plan>(plan));
    for (void *buffer :
         {static_cast<void *>(time_), static_cast<void *>(head_), spectrum_, spectrum2_})
        fftwf_free(buffer);
}

float PitchTracker::pitch(const float *frame)
{
    const int n = size_;
    const int w = window_;
    // Energy of every stretch of `w` samples, from running sums in double so that a long frame
    // does not lose the small differences.
    std::vector<double> energy(size_t(n) + 1, 0.0);
    for (int i = 0; i < n; ++i)
        energy[size_t(i) + 1] = energy[size_t(i)] + double(frame[i]) * frame[i];
    const auto energyAt = [&](int lag) { return energy[size_t(lag + w)] - energy[size_t(lag)]; };
    if (std::sqrt(energyAt(0) / w) < kQuietest)
        return 0;

    // r(lag) = sum over j < w of x[j] x[j + lag]: the frame correlated with its first half. No
    // lag used here reaches past the frame, so the circular correlation is the plain one.
    std::copy_n(frame, n, time_);
    std::copy_n(frame, w, head_);
    std::fill(head_ + w, head_ + n, 0.0f);
    fftwf_execute(static_cast<fftwf_plan>(forward_));
    fftwf_execute(static_cast<fftwf_plan>(forward2_));
    auto *a = static_cast<fftwf_complex *>(spectrum_);
    const auto *b = static_cast<const fftwf_complex *>(spectrum2_);
    for (int k = 0; k <= n / 2; ++k) {
        // A times the conjugate of B.
        const float re = a[k][0] * b[k][0] + a[k][1] * b[k][1];
        const float im = a[k][1] * b[k][0] - a[k][0] * b[k][1];
        a[k][0] = re;
        a[k][1] = im;
    }
    fftwf_execute(static_cast<fftwf_plan>(backward_));
    const double scale = 1.0 / n;

    // The cumulative mean normalised difference d'(lag) = d(lag) * lag / sum of d(1..lag).
    const double e0 = energyAt(0);
    double running = 0;
    difference_[0] = 1;
    for (int lag = 1; lag <= maxLag_ + 1; ++lag) {
        const double d = std::max(0.0, e0 + energyAt(lag) - 2 * time_[lag] * scale);
        running += d;
        difference_[size_t(lag)] = running > 0 ? float(d * lag / running) : 1.0f;
    }

    int best = -1;
    for (int lag = minLag_; lag <= maxLag_; ++lag) {
        if (difference_[size_t(lag)] < kThreshold) {
            // Down to the bottom of this dip.
            while (lag + 1 <= maxLag_ && difference_[size_t(lag + 1)] < difference_[size_t(lag)])
                ++lag;
            best = lag;
            break;
        }
    }
    if (best < 0)
        return 0;
    // A parabola through the dip and its neighbours puts the period between samples.
    const double left = difference_[size_t(best - 1)];
    const double middle = difference_[size_t(best)];
    const double right = difference_[size_t(best + 1)];
    const double curve = left - 2 * middle + right;
    const double shift = curve > 0 ? std::clamp(0.5 * (left - right) / curve, -0.5, 0.5) : 0.0;
    return float(sampleRate_ / (best + shift));
}

} // namespace murmelo
