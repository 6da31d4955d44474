#pragma once

#include <QString>

namespace murmelo {

// The look every slider of the application shares: our thumb over a track whose filled and
// empty parts stretch between fixed 5-point end caps.
QString sliderStyleSheet();
// Adds it to the application's style sheet, once.
void applySliderAppearance();

} // namespace murmelo
