#include "audio/PlayerStream.h"

#include <algorithm>
#include <cmath>
#include <soundtouch/SoundTouch.h>

namespace murmelo {
namespace {

constexpr qint64 kFeedFrames = 2048;

} // namespace

PlayerStream::PlayerStream(std::shared_ptr<const PlayerAudio> audio)
    : audio_(std::move(audio)), stretcher_(std::make_unique<soundtouch::SoundTouch>())
{
    stretcher_->setSampleRate(uint(audio_->sampleRate));
    stretcher_->setChannels(uint(audio_->channels));
    restart(0);
}

PlayerStream::~PlayerStream() = default;

void PlayerStream::restart(qint64 sourceFrame)
{
    std::lock_guard lock(mutex_);
    rendered_ = 0;
    segments_.clear();
    fadeOut_.clear();
    moveTo(double(sourceFrame), false);
}

void PlayerStream::moveTo(double sourceFrame, bool isSeek)
{
    position_ = std::clamp(sourceFrame, 0.0, double(audio_->frames()));
    if (rate_ == 1.0) // copied frame for frame, so the position stays on a whole frame
        position_ = std::round(position_);
    fedFrames_ = qint64(std::llround(position_));
    stretcher_->clear();
    stretcher_->setTempo(rate_);
    stretcherFlushed_ = false;
    segments_.push_back({rendered_, position_, rate_, isSeek});
}

void PlayerStream::seek(qint64 sourceFrame, bool crossfade)
{
    std::lock_guard lock(mutex_);
    if (crossfade) {
        // Render the old position's next few milliseconds now; they fade out under the new ones.
        const qint64 frames = qint64(std::lround(kCrossfadeSeconds * audio_->sampleRate));
        std::vector<float> old(size_t(frames * audio_->channels), 0.0f);
        const qint64 saved = rendered_;
        renderAtRate(old.data(), frames);
        rendered_ = saved;
        fadeOut_ = std::move(old);
        fadeDone_ = 0;
    } else {
        fadeOut_.clear();
    }
    moveTo(double(sourceFrame), true);
}

void PlayerStream::setRate(double rate)
{
    std::lock_guard lock(mutex_);
    rate = std::clamp(rate, kMinimumRate, kMaximumRate);
    if (rate == rate_)
        return;
    rate_ = rate;
    // The stretcher's pipeline holds audio prepared for the old rate; start it afresh from where
    // the output has got to.
    moveTo(position_, false);
}

qint64 PlayerStream::framesRendered() const
{
    std::lock_guard lock(mutex_);
    return rendered_;
}

double PlayerStream::sourcePositionAt(qint64 outputFrame)
{
    std::lock_guard lock(mutex_);
    const auto lastSeek = std::find_if(segments_.rbegin(), segments_.rend(),
                                       [](const Segment &s) { return s.isSeek; });
    if (lastSeek != segments_.rend() && outputFrame < lastSeek->outputStart)
        return lastSeek->sourceStart;
    auto it =
        std::upper_bound(segments_.begin(), segments_.end(), outputFrame,
                         [](qint64 frame, const Segment &s) { return frame < s.outputStart; });
    if (it != segments_.begin())
        --it;
    // Segments the listener has passed are no longer needed.
    segments_.erase(segments_.begin(), it);
    const Segment &s = segments_.front();
    const double position = s.sourceStart + double(outputFrame - s.outputStart) * s.rate;
    return std::clamp(position, 0.0, double(audio_->frames()));
}

qint64 PlayerStream::renderFrames(float *interleaved, qint64 frames)
{
    std::lock_guard lock(mutex_);
    const qint64 got = renderAtRate(interleaved, frames);
    if (!fadeOut_.empty())
        mixCrossfade(interleaved, got);
    return got;
}

void PlayerStream::mixCrossfade(float *out, qint64 frames)
{
    const int channels = audio_->channels;
    const qint64 total = qint64(fadeOut_.size()) / channels;
    for (qint64 i = 0; i < frames && fadeDone_ < total; ++i, ++fadeDone_) {
        // Equal-power curves keep the loudness steady through the fade.
        const double t = (double(fadeDone_) + 0.5) / double(total);
        const float in = float(std::sin(t * M_PI / 2));
        const float away = float(std::cos(t * M_PI / 2));
        for (int c = 0; c < channels; ++c)
            out[i * channels + c] =
                out[i * channels + c] * in + fadeOut_[size_t(fadeDone_ * channels + c)] * away;
    }
    if (fadeDone_ >= total)
        fadeOut_.clear();
}

qint64 PlayerStream::renderAtRate(float *out, qint64 frames)
{
    const double end = double(audio_->frames());
    // The output ends when its clock reaches the source's end, whatever the stretcher holds.
    const qint64 left = qint64(std::ceil((end - position_) / rate_ - 1e-9));
    frames = std::clamp<qint64>(left, 0, frames);
    qint64 got = 0;
    if (rate_ == 1.0) {
        const qint64 start = qint64(std::llround(position_));
        got = std::min(frames, audio_->frames() - start);
        std::copy_n(audio_->frame(start), got * audio_->channels, out);
    } else {
        got = renderStretched(out, frames);
    }
    rendered_ += got;
    position_ = std::min(end, position_ + double(got) * rate_);
    return got;
}

qint64 PlayerStream::renderStretched(float *out, qint64 frames)
{
    const int channels = audio_->channels;
    qint64 produced = 0;
    while (produced < frames) {
        produced += stretcher_->receiveSamples(out + produced * channels, uint(frames - produced));
        if (produced == frames)
            break;
        if (fedFrames_ < audio_->frames()) {
            const qint64 n = std::min(kFeedFrames, audio_->frames() - fedFrames_);
            stretcher_->putSamples(audio_->frame(fedFrames_), uint(n));
            fedFrames_ += n;
        } else if (!stretcherFlushed_) {
            stretcher_->flush();
            stretcherFlushed_ = true;
        } else {
            break;
        }
    }
    return produced;
}

} // namespace murmelo
