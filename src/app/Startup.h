#pragma once

namespace murmelo {

// Chooses the Qt platform before the application object exists: with no display to show a
// window on, the window is drawn offscreen. Returns true when it chose offscreen.
bool chooseOffscreenWhenHeadless();

} // namespace murmelo
