#include "telemetry/VGSdkQueue.h"

#include "platform/SerialQueue.h"

#include <atomic>
#include <chrono>
#include <future>
#include <memory>

namespace murmelo {

namespace {
thread_local bool t_onSdkQueue = false;
std::atomic<bool> g_shuttingDown{false};

struct OnQueue {
    OnQueue() { t_onSdkQueue = true; }
    ~OnQueue() { t_onSdkQueue = false; }
};
} // namespace

SerialQueue &vgSdkQueue()
{
    static SerialQueue *queue = new SerialQueue("org.murmelo.Vigil"); // lives for the process
    return *queue;
}

void vgSdkAsync(std::function<void()> work)
{
    if (g_shuttingDown)
        return;
    vgSdkQueue().async([work = std::move(work)] {
        if (g_shuttingDown)
            return;
        OnQueue on;
        work();
    });
}

void vgSdkSync(const std::function<void()> &work)
{
    if (t_onSdkQueue) {
        work();
        return;
    }
    if (g_shuttingDown)
        return;
    std::promise<void> done;
    vgSdkQueue().async([&] {
        if (!g_shuttingDown) {
            OnQueue on;
            work();
        }
        done.set_value();
    });
    done.get_future().wait();
}

bool vgOnSdkQueue()
{
    return t_onSdkQueue;
}

void vgSdkShutDown(int boundMillis)
{
    if (g_shuttingDown.exchange(true) || t_onSdkQueue)
        return;
    // Queued behind whatever runs now; everything else still waiting is skipped.
    auto idle = std::make_shared<std::promise<void>>();
    std::future<void> reached = idle->get_future();
    vgSdkQueue().async([idle] { idle->set_value(); });
    reached.wait_for(std::chrono::milliseconds(boundMillis));
}

bool vgSdkShuttingDown()
{
    return g_shuttingDown;
}

} // namespace murmelo
