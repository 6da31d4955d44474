#pragma once

class QAbstractButton;

namespace murmelo {

// Makes a button blink by flipping its selected (checked) state every half second, as the
// record button does while recording. The duration given to blinkSelectWithDuration only
// switches blinking on; the period is fixed.
void blinkSelectWithDuration(QAbstractButton *button, double duration);
void blinkToggle(QAbstractButton *button);
void blinkSelectStop(QAbstractButton *button);

} // namespace murmelo
