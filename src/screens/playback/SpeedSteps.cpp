#include "screens/playback/SpeedSteps.h"

#include <cmath>
#include <cstdlib>

namespace murmelo {

namespace {
constexpr double kShownStep = 0.1;
constexpr int kNotch = 120; // eighths of a degree, as wheels report a click
} // namespace

int SpeedSteps::stepFrom(int value, int direction, int scale)
{
    const int unit = int(std::lround(kShownStep * scale));
    const int shown = int(std::lround(double(value) / unit)) * unit;
    return shown + (direction > 0 ? unit : -unit);
}

int SpeedSteps::addWheel(QPoint angleDelta)
{
    pendingDelta_ +=
        std::abs(angleDelta.y()) >= std::abs(angleDelta.x()) ? angleDelta.y() : -angleDelta.x();
    const int notches = pendingDelta_ / kNotch;
    pendingDelta_ -= notches * kNotch;
    return notches;
}

} // namespace murmelo
