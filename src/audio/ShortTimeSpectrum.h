#pragma once

#include <vector>

namespace murmelo {

// The power spectrum of one frame of audio: Hann-windowed, transformed with FFTW's single
// precision real transform. Each instance owns its plan and buffers, so one per thread.
class ShortTimeSpectrum {
public:
    static constexpr int kDefaultFrameSize = 2048;

    explicit ShortTimeSpectrum(int frameSize = kDefaultFrameSize);
    ~ShortTimeSpectrum();
    ShortTimeSpectrum(const ShortTimeSpectrum &) = delete;
    ShortTimeSpectrum &operator=(const ShortTimeSpectrum &) = delete;

    int frameSize() const { return size_; }
    // Bins from 0 Hz to half the sample rate, both included.
    int binCount() const { return size_ / 2 + 1; }
    static double binFrequency(int bin, int frameSize, int sampleRate)
    {
        return double(bin) * sampleRate / frameSize;
    }

    // Adds the power of `frame` (frameSize() samples) to `power` (binCount() values), scaled so
    // that a full-scale sine centred on a bin adds 1 there.
    void addPower(const float *frame, float *power);

    // Mean power as decibels against that full-scale sine; silence is kSilence.
    static float decibels(float power);
    static constexpr float kSilence = -200.0f;

private:
    int size_;
    std::vector<float> window_;
    float *in_;
    void *out_;  // fftwf_complex[binCount()]
    void *plan_; // fftwf_plan
    float scale_;
};

} // namespace murmelo
