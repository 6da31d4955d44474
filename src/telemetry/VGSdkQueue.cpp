#include "telemetry/VGSdkQueue.h"

#include "platform/SerialQueue.h"

#include <future>

namespace murmelo {

namespace {
thread_local bool t_onSdkQueue = false;

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
    vgSdkQueue().async([work = std::move(work)] {
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
    std::promise<void> done;
    vgSdkQueue().async([&] {
        {
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

} // namespace murmelo
