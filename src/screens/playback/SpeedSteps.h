#pragma once

#include <QPoint>

namespace murmelo {

// The speed as its label shows it, in tenths: Up/Down and one notch of the wheel move it by
// exactly one shown step, whatever finer value a drag left on the slider.
class SpeedSteps {
public:
    // The slider value (in `scale`ths of 1x) one shown tenth from `value` in `direction` (+1 or
    // -1): a value between tenths is counted from the tenth nearest to it, as the label shows it.
    static int stepFrom(int value, int direction, int scale);
    // Adds a wheel turn (in eighths of a degree; a sideways turn counts right as down) and
    // returns the whole notches it completes, signed; the rest waits for the next turn, so a fine
    // wheel steps once per notch's worth.
    int addWheel(QPoint angleDelta);

private:
    int pendingDelta_ = 0;
};

} // namespace murmelo
