#include "audio/PlayerStream.h"

#include <algorithm>
#include <cmath>
#include <soundtouch/SoundTouch.h>

namespace murmelo {
namespace {

constexpr qint64 kFeedFrames = 2048;

} // namespace

PlayerStream::PlayerStream(std::shared_ptr<PlayerAudio> audio)
    : audio_(std::move(audio)), stretcher_(std::make_unique<soundtouch::SoundTouch>()),
      feed_(size_t(kFeedFrames * audio_->channels()))
{
    stretcher_->setSampleRate(uint(audio_->sampleRate()));
    stretcher_->setChannels(uint(audio_->channels()));
    restart(0);
}

PlayerStream::~PlayerStream() = default;

void PlayerStream::restart(qint64 sourceFrame, bool fadeIn, qint64 leadFrames, bool mirrored)
{
    std::lock_guard lock(mutex_);
    rendered_ = 0;
    segments_.clear();
    fadeOut_.clear();
    queue_.clear();
    passStarts_.clear();
    passesBegun_ = 0;
    passesReached_ = 0;
    mirrored_ = mirrored && mirror_;
    lead_ = std::max<qint64>(0, leadFrames);
    fadeIn_ = fadeIn;
    endingFade_ = false;
    cutShort_ = false; // a file cut short fails again where it ends; one put back plays on
    moveTo(onSource(double(sourceFrame)), false);
    if (lead_ > 0)
        segments_.insert(segments_.begin(), {0, position_, 0.0, false, mirrored_});
}

bool PlayerStream::setMirror(std::shared_ptr<PlayerAudio> mirror)
{
    std::lock_guard lock(mutex_);
    if (mirror &&
        (mirror->sampleRate() != audio_->sampleRate() || mirror->channels() != audio_->channels() ||
         mirror->frames() != audio_->frames()))
        mirror.reset();
    if (!mirror && mirrored_)
        return false; // still being played
    mirror_ = std::move(mirror);
    return mirror_ != nullptr;
}

bool PlayerStream::hasMirror() const
{
    std::lock_guard lock(mutex_);
    return mirror_ != nullptr;
}

double PlayerStream::onSource(double ownFrame) const
{
    return mirrored_ ? double(audio_->frames()) - ownFrame : ownFrame;
}

void PlayerStream::queue(const Pass &pass)
{
    std::lock_guard lock(mutex_);
    queue_.push_back(pass);
}

void PlayerStream::clearQueue()
{
    std::lock_guard lock(mutex_);
    queue_.clear();
}

int PlayerStream::queuedPasses() const
{
    std::lock_guard lock(mutex_);
    return int(queue_.size());
}

int PlayerStream::passesBegun() const
{
    std::lock_guard lock(mutex_);
    return passesBegun_;
}

int PlayerStream::passesReachedBy(qint64 outputFrame)
{
    std::lock_guard lock(mutex_);
    const auto reached = std::upper_bound(passStarts_.begin(), passStarts_.end(), outputFrame);
    passesReached_ += int(reached - passStarts_.begin());
    passStarts_.erase(passStarts_.begin(), reached);
    return passesReached_;
}

bool PlayerStream::rendersMirror() const
{
    std::lock_guard lock(mutex_);
    return mirrored_;
}

void PlayerStream::setPassBegunHandler(std::function<void()> handler)
{
    std::lock_guard lock(mutex_);
    passBegun_ = std::move(handler);
}

void PlayerStream::beginQueued()
{
    const Pass pass = queue_.front();
    queue_.pop_front();
    passStarts_.push_back(rendered_);
    ++passesBegun_;
    mirrored_ = pass.mirrored && mirror_;
    endFrame_ = pass.end;
    fadeOut_.clear();
    lead_ = rendered_ + std::max<qint64>(0, pass.leadFrames);
    fadeIn_ = true;
    // The position holds at the pass's beginning through its silence.
    segments_.push_back({rendered_, onSource(double(pass.from)), 0.0, false, mirrored_});
    moveTo(onSource(double(pass.from)), false);
    if (passBegun_)
        passBegun_();
}

qint64 PlayerStream::fadeFrames() const
{
    return std::max<qint64>(1, std::lround(kCrossfadeSeconds * audio_->sampleRate()));
}

double PlayerStream::fadeOutAndEnd()
{
    std::lock_guard lock(mutex_);
    endingFade_ = true;
    endingDone_ = 0;
    queue_.clear();
    return onSource(position_);
}

void PlayerStream::moveTo(double sourceFrame, bool isSeek)
{
    position_ = std::clamp(sourceFrame, 0.0, double(source().frames()));
    if (rate_ == 1.0) // copied frame for frame, so the position stays on a whole frame
        position_ = std::round(position_);
    fedFrames_ = qint64(std::llround(position_));
    stretcher_->clear();
    stretcher_->setTempo(rate_);
    stretcherFlushed_ = false;
    // Nothing moves while the lead's silence plays.
    segments_.push_back({std::max(rendered_, lead_), position_, rate_, isSeek, mirrored_});
}

void PlayerStream::seek(qint64 sourceFrame, bool crossfade)
{
    std::lock_guard lock(mutex_);
    // During the lead nothing has sounded yet, so there is nothing to fade out.
    if (crossfade && rendered_ >= lead_) {
        // Render the old position's next few milliseconds now; they fade out under the new ones.
        const qint64 frames = fadeFrames();
        std::vector<float> old(size_t(frames * audio_->channels()), 0.0f);
        const qint64 saved = rendered_;
        renderAtRate(old.data(), frames);
        rendered_ = saved;
        fadeOut_ = std::move(old);
        fadeDone_ = 0;
    } else {
        fadeOut_.clear();
    }
    cutShort_ = false; // the new place may still be there in a file cut short
    moveTo(onSource(double(sourceFrame)), true);
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

void PlayerStream::setEndFrame(std::optional<qint64> frame)
{
    std::lock_guard lock(mutex_);
    endFrame_ = frame;
}

double PlayerStream::endFrame() const
{
    const auto frames = source().frames();
    return endFrame_ ? std::clamp(onSource(double(*endFrame_)), 0.0, double(frames))
                     : double(frames);
}

qint64 PlayerStream::outputFramesToEnd() const
{
    // The output ends when its clock reaches the end, whatever the stretcher holds.
    return std::max<qint64>(0, qint64(std::ceil((endFrame() - position_) / rate_ - 1e-9)));
}

qint64 PlayerStream::framesRendered() const
{
    std::lock_guard lock(mutex_);
    return rendered_;
}

QString PlayerStream::failure() const
{
    std::lock_guard lock(mutex_);
    if (!cutShort_)
        return {};
    const QString reason = source().failure();
    return reason.isEmpty() ? QStringLiteral("the audio could not be read to its end") : reason;
}

qint64 PlayerStream::readFrames(qint64 first, qint64 count, float *out)
{
    if (cutShort_)
        return 0;
    PlayerAudio &audio = source();
    const qint64 got = audio.read(first, count, out);
    if (got < count)
        cutShort_ = true;
    return got;
}

double PlayerStream::sourcePositionAt(qint64 outputFrame)
{
    std::lock_guard lock(mutex_);
    const auto lastSeek = std::find_if(segments_.rbegin(), segments_.rend(),
                                       [](const Segment &s) { return s.isSeek; });
    if (lastSeek != segments_.rend() && outputFrame < lastSeek->outputStart)
        return lastSeek->mirrored ? double(audio_->frames()) - lastSeek->sourceStart
                                  : lastSeek->sourceStart;
    auto it =
        std::upper_bound(segments_.begin(), segments_.end(), outputFrame,
                         [](qint64 frame, const Segment &s) { return frame < s.outputStart; });
    if (it != segments_.begin())
        --it;
    // Segments the listener has passed are no longer needed.
    segments_.erase(segments_.begin(), it);
    const Segment &s = segments_.front();
    const double frames = double(audio_->frames());
    const double position =
        std::clamp(s.sourceStart + double(outputFrame - s.outputStart) * s.rate, 0.0, frames);
    return s.mirrored ? frames - position : position;
}

qint64 PlayerStream::renderFrames(float *interleaved, qint64 frames)
{
    std::lock_guard lock(mutex_);
    if (endingFade_)
        frames = std::min(frames, fadeFrames() - endingDone_);
    const int channels = audio_->channels();
    qint64 done = 0;
    for (;;) {
        float *out = interleaved + done * channels;
        const qint64 wanted = frames - done;
        const qint64 first = rendered_;
        const qint64 silent = std::clamp<qint64>(lead_ - rendered_, 0, wanted);
        std::fill_n(out, silent * channels, 0.0f);
        rendered_ += silent;
        float *sound = out + silent * channels;
        const qint64 toEnd = outputFramesToEnd();
        const qint64 got = renderAtRate(sound, wanted - silent);
        if (!fadeOut_.empty())
            mixCrossfade(sound, got);
        if (endFrame_)
            applyEndFade(sound, got, toEnd);
        applyFades(out, silent + got, first);
        done += silent + got;
        // The pass has ended here; a queued one follows in the same frames, so the output
        // never sees an end between passes.
        if (done == frames || endingFade_ || cutShort_ || queue_.empty())
            return done;
        beginQueued();
    }
}

void PlayerStream::applyFades(float *out, qint64 frames, qint64 firstFrame)
{
    if (!fadeIn_ && !endingFade_)
        return;
    const int channels = audio_->channels();
    const qint64 length = fadeFrames();
    for (qint64 i = 0; i < frames; ++i) {
        // The same equal-power curves as a jump's crossfade, so that a run fading out under
        // another's fade-in keeps the loudness steady too.
        double gain = 1;
        const qint64 intoSound = firstFrame + i - lead_;
        if (fadeIn_ && intoSound >= 0 && intoSound < length)
            gain *= std::sin((double(intoSound) + 0.5) / double(length) * M_PI / 2);
        if (endingFade_)
            gain *= std::cos((double(endingDone_++) + 0.5) / double(length) * M_PI / 2);
        for (int c = 0; c < channels; ++c)
            out[i * channels + c] *= float(gain);
    }
    if (firstFrame + frames - lead_ >= length)
        fadeIn_ = false;
}

void PlayerStream::applyEndFade(float *out, qint64 frames, qint64 framesToEnd)
{
    const int channels = audio_->channels();
    const qint64 length = fadeFrames();
    for (qint64 i = std::max<qint64>(0, framesToEnd - length); i < frames; ++i) {
        // The mirror of a fade-in, so that a run ending here and another starting from silence
        // join without a step.
        const double left = double(framesToEnd - i) - 0.5;
        const float gain = float(std::sin(left / double(length) * M_PI / 2));
        for (int c = 0; c < channels; ++c)
            out[i * channels + c] *= gain;
    }
}

void PlayerStream::mixCrossfade(float *out, qint64 frames)
{
    const int channels = audio_->channels();
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
    const double end = endFrame();
    frames = std::min(outputFramesToEnd(), frames);
    qint64 got = 0;
    if (rate_ == 1.0) {
        const qint64 start = qint64(std::llround(position_));
        got = readFrames(start, std::clamp<qint64>(qint64(end) - start, 0, frames), out);
    } else {
        got = renderStretched(out, frames);
    }
    rendered_ += got;
    if (got > 0) // a position beyond the end stays where it is
        position_ = std::min(end, position_ + double(got) * rate_);
    return got;
}

qint64 PlayerStream::renderStretched(float *out, qint64 frames)
{
    const int channels = audio_->channels();
    qint64 produced = 0;
    while (produced < frames) {
        produced += stretcher_->receiveSamples(out + produced * channels, uint(frames - produced));
        if (produced == frames)
            break;
        const qint64 frames = source().frames();
        if (fedFrames_ < frames && !cutShort_) {
            const qint64 n = std::min(kFeedFrames, frames - fedFrames_);
            const qint64 got = readFrames(fedFrames_, n, feed_.data());
            stretcher_->putSamples(feed_.data(), uint(got));
            fedFrames_ += got;
        } else if (!cutShort_ && frames > 0) {
            // Past the end the stretcher is fed the last frames reflected back and forth, so
            // that the audio's own end comes out whole; its flush would pad with silence, which
            // the stretcher can place before the last few milliseconds: a hole in a loop.
            const qint64 n = std::min(kFeedFrames, frames);
            const qint64 got = readFrames(frames - n, n, feed_.data());
            const bool backwards = ((fedFrames_ - frames) / n) % 2 == 0;
            if (backwards) {
                for (qint64 i = 0; i < got / 2; ++i)
                    std::swap_ranges(feed_.data() + i * channels, feed_.data() + (i + 1) * channels,
                                     feed_.data() + (got - 1 - i) * channels);
            }
            stretcher_->putSamples(feed_.data(), uint(got));
            fedFrames_ += got;
            if (got == 0)
                break;
        } else if (!stretcherFlushed_) {
            // Where a file cut short now ends: play out what the stretcher holds.
            stretcher_->flush();
            stretcherFlushed_ = true;
        } else {
            break;
        }
    }
    return produced;
}

} // namespace murmelo
