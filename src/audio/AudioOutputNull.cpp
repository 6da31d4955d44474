#include "audio/AudioOutputNull.h"

namespace murmelo {

void NullAudioOutput::followWallClock()
{
    ticker_ = std::make_unique<QTimer>();
    ticker_->setInterval(20);
    QObject::connect(ticker_.get(), &QTimer::timeout, [this] {
        const auto now = std::chrono::milliseconds(wallClock_.elapsed());
        advance(now - played_);
    });
}

bool NullAudioOutput::start(int sampleRate, int channels, AudioFrameSource *source)
{
    source_ = source;
    sampleRate_ = sampleRate;
    channels_ = channels;
    delivered_ = 0;
    played_ = std::chrono::milliseconds(0);
    if (ticker_) {
        wallClock_.start();
        ticker_->start();
    }
    return true;
}

void NullAudioOutput::stop()
{
    source_ = nullptr;
    if (ticker_)
        ticker_->stop();
}

void NullAudioOutput::advance(std::chrono::milliseconds time)
{
    if (!source_ || time.count() <= 0)
        return;
    played_ += time;
    // Counted from the start, so that many short steps add up to exactly the frames of their sum.
    const qint64 due = played_.count() * qint64(sampleRate_) / 1000;
    deliver(due - delivered_);
}

void NullAudioOutput::deliver(qint64 frames)
{
    constexpr qint64 chunk = 4096;
    while (frames > 0 && source_) {
        const qint64 asked = std::min(chunk, frames);
        buffer_.resize(size_t(asked * channels_));
        const qint64 got = source_->renderFrames(buffer_.data(), asked);
        delivered_ += got;
        frames -= got;
        if (sink_ && got > 0)
            sink_(buffer_.data(), got, channels_);
        if (got < asked) {
            // Nothing lingers in a buffer here: what was pulled has been heard.
            stop();
            if (drained)
                drained();
        }
    }
}

} // namespace murmelo
