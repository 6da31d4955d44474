#include "app/Startup.h"

#include <cstdlib>

namespace murmelo {

bool chooseOffscreenWhenHeadless()
{
    const bool hasDisplay = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
    if (hasDisplay || std::getenv("QT_QPA_PLATFORM"))
        return false;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return true;
}

} // namespace murmelo
