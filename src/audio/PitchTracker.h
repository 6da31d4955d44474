#pragma once

#include <vector>

namespace murmelo {

// The fundamental frequency of a frame of voice by YIN (de Cheveigné and Kawahara, 2002): the
// cumulative mean normalised difference function, its first dip under a threshold, refined by
// a parabola through its neighbours. The difference function comes from an FFT correlation, so
// a frame costs three transforms instead of a sum per lag.
class PitchTracker {
public:
    // Frames of `frameSize` samples; the lags searched give `lowest` to `highest` Hz (the lowest
    // is raised where half a frame cannot hold its period).
    explicit PitchTracker(int sampleRate, int frameSize = 2048, double lowest = 60,
                          double highest = 1000);
    ~PitchTracker();
    PitchTracker(const PitchTracker &) = delete;
    PitchTracker &operator=(const PitchTracker &) = delete;

    int frameSize() const { return size_; }
    double lowest() const { return double(sampleRate_) / maxLag_; }

    // The pitch in Hz, or 0 when the frame is too quiet or has no period (noise, silence).
    float pitch(const float *frame);

    // How far under the frame's loudest a dip must reach, and the least level of a voiced frame
    // (RMS, full scale 1).
    static constexpr float kThreshold = 0.15f;
    static constexpr float kQuietest = 0.003f; // about -50 dBFS

private:
    int sampleRate_;
    int size_;
    int window_; // samples summed for each lag
    int minLag_;
    int maxLag_;
    float *time_;
    void *spectrum_;  // fftwf_complex[size_ / 2 + 1]
    void *spectrum2_; // the window's transform
    void *forward_;   // fftwf_plan
    void *forward2_;
    void *backward_;
    float *head_; // the window, zero-padded
    std::vector<float> difference_;
};

} // namespace murmelo
