#include "telemetry/device/VGInformationChanged.h"

#include <mutex>

namespace murmelo {

namespace {
std::mutex g_mutex;
std::function<void()> g_handler;
} // namespace

void vgSetInformationChangedHandler(std::function<void()> handler)
{
    std::lock_guard lock(g_mutex);
    g_handler = std::move(handler);
}

void vgInformationChanged()
{
    std::function<void()> handler;
    {
        std::lock_guard lock(g_mutex);
        handler = g_handler;
    }
    if (handler)
        handler();
}

} // namespace murmelo
