#include "playback/LoopPlan.h"

#include <algorithm>

namespace murmelo {

namespace {

template <typename T, size_t N> T following(const std::array<T, N> &choices, T current)
{
    const auto at = std::find(choices.begin(), choices.end(), current);
    return at == choices.end() || at + 1 == choices.end() ? choices.front() : *(at + 1);
}

} // namespace

int LoopSettings::nextCount() const
{
    return following(kCounts, count);
}

double LoopSettings::nextGap() const
{
    return following(kGaps, gap);
}

LoopPlan::LoopPlan(const LoopSettings &settings, Stretch stretch, bool reversed,
                   std::optional<double> position)
    : settings_(settings), stretch_(stretch), firstReversed_(reversed)
{
    // Starting on the finishing point would be a pass of nothing.
    const bool inside =
        position && (reversed ? *position > stretch.start && *position <= stretch.end
                              : *position >= stretch.start && *position < stretch.end);
    firstFrom_ = inside ? *position : startOf(reversed);
}

void LoopPlan::setSettings(const LoopSettings &settings)
{
    if (settings.count != settings_.count || settings.pingPong != settings_.pingPong) {
        firstReversed_ = reversed();
        pass_ = 0;
    }
    settings_ = settings;
}

bool LoopPlan::reversed() const
{
    return firstReversed_ != (settings_.pingPong && pass_ % 2 == 1);
}

double LoopPlan::from() const
{
    return pass_ == 0 ? firstFrom_ : startOf(reversed());
}

double LoopPlan::to() const
{
    return startOf(!reversed());
}

int LoopPlan::totalPasses() const
{
    return settings_.count * (settings_.pingPong ? 2 : 1);
}

int LoopPlan::time() const
{
    return pass_ / (settings_.pingPong ? 2 : 1) + 1;
}

bool LoopPlan::next()
{
    if (totalPasses() != 0 && pass_ + 1 >= totalPasses())
        return false;
    ++pass_;
    return true;
}

} // namespace murmelo
