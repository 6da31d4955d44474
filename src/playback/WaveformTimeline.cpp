#include "playback/WaveformTimeline.h"

#include <algorithm>

namespace murmelo {

void WaveformTimeline::setDuration(double seconds)
{
    duration_ = std::max(0.0, seconds);
    showAll();
}

void WaveformTimeline::showAll()
{
    start_ = 0;
    span_ = duration_;
}

void WaveformTimeline::clamp()
{
    span_ = std::clamp(span_, std::min(kMinimumSpan, duration_), duration_);
    start_ = std::clamp(start_, 0.0, duration_ - span_);
}

double WaveformTimeline::xOf(double seconds, double width) const
{
    if (span_ <= 0)
        return 0;
    const double fraction = (seconds - start_) / span_;
    return (reversed_ ? 1 - fraction : fraction) * width;
}

double WaveformTimeline::timeAt(double x, double width) const
{
    if (width <= 0)
        return start_;
    const double fraction = x / width;
    return start_ + (reversed_ ? 1 - fraction : fraction) * span_;
}

bool WaveformTimeline::isVisible(double seconds) const
{
    return seconds >= start_ && seconds <= visibleEnd();
}

void WaveformTimeline::zoom(double factor, double anchor)
{
    if (!(factor > 0) || span_ <= 0)
        return;
    anchor = std::clamp(anchor, 0.0, duration_);
    const double fraction = (anchor - start_) / span_;
    span_ /= factor;
    span_ = std::clamp(span_, std::min(kMinimumSpan, duration_), duration_);
    start_ = anchor - fraction * span_;
    clamp();
}

void WaveformTimeline::pan(double spans)
{
    start_ += (reversed_ ? -spans : spans) * span_;
    clamp();
}

void WaveformTimeline::scrollTo(double seconds)
{
    start_ = seconds;
    clamp();
}

bool WaveformTimeline::follow(double seconds)
{
    if (!isZoomed() || isVisible(seconds))
        return false;
    // A tenth of the view stays behind the playhead, so the listener sees where it came from.
    const double lead = span_ / 10;
    start_ = reversed_ ? seconds + lead - span_ : seconds - lead;
    clamp();
    return true;
}

std::pair<double, double> ReversalFrames::forwardSeconds(const FrameRange &reversal) const
{
    if (!isValid())
        return {0, 0};
    const FrameRange forward = mirrored(reversal, frames);
    return {secondsFromFrames(forward.start, sampleRate),
            secondsFromFrames(forward.end, sampleRate)};
}

FrameRange ReversalFrames::fromForwardSeconds(double a, double b) const
{
    const auto frameAt = [this](double seconds) {
        return std::clamp<qint64>(framesFromSeconds(seconds, sampleRate), 0, frames);
    };
    const FrameRange forward{frameAt(std::min(a, b)), frameAt(std::max(a, b))};
    return mirrored(forward, frames);
}

} // namespace murmelo
