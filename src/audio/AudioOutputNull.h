#pragma once

#include "audio/AudioOutput.h"

#include <QElapsedTimer>
#include <QTimer>
#include <chrono>
#include <vector>

namespace murmelo {

// An output without a device. Its clock is virtual: advance() plays exactly that much time,
// pulling the frames and handing them to an optional sink, so that tests hear precisely what a
// device would have been given. With followWallClock() it advances itself in real time, for
// machines without a sound device.
class NullAudioOutput : public AudioOutput {
public:
    using Sink = std::function<void(const float *interleaved, qint64 frames, int channels)>;

    void setSink(Sink sink) { sink_ = std::move(sink); }
    void followWallClock();

    bool start(int sampleRate, int channels, AudioFrameSource *source) override;
    void stop() override;
    qint64 framesPending() const override { return 0; }

    void advance(std::chrono::milliseconds time);
    bool isRunning() const { return source_ != nullptr; }
    qint64 framesDelivered() const { return delivered_; }

private:
    void deliver(qint64 frames);

    Sink sink_;
    AudioFrameSource *source_ = nullptr;
    int sampleRate_ = 0;
    int channels_ = 0;
    qint64 delivered_ = 0;
    std::chrono::milliseconds played_{0};
    std::vector<float> buffer_;
    std::unique_ptr<QTimer> ticker_;
    QElapsedTimer wallClock_;
};

} // namespace murmelo
