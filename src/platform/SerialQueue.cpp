#include "platform/SerialQueue.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <pthread.h>
#include <thread>

namespace murmelo {

namespace {
// Counts live workers so that shutdown and tests can wait for detached ones. Never destroyed: a
// detached worker may still be reporting its end while the process exits and runs the static
// destructors, and must not find its mutex and condition gone.
struct Workers {
    std::mutex mutex;
    std::condition_variable done;
    int live = 0;
};
Workers &workers()
{
    static Workers *const all = new Workers;
    return *all;
}
} // namespace

struct SerialQueue::State {
    std::string name;
    std::mutex mutex;
    std::condition_variable idle;
    std::deque<std::function<void()>> work;
    bool running = false; // a worker thread exists
    bool busy = false;    // the worker is running an item
};

SerialQueue::SerialQueue(std::string name) : state_(std::make_shared<State>())
{
    state_->name = std::move(name);
}

SerialQueue::~SerialQueue() = default;

const std::string &SerialQueue::name() const
{
    return state_->name;
}

void SerialQueue::async(std::function<void()> work)
{
    std::lock_guard lock(state_->mutex);
    state_->work.push_back(std::move(work));
    if (!state_->running) {
        state_->running = true;
        {
            std::lock_guard count(workers().mutex);
            ++workers().live;
        }
        std::thread(runWorker, state_).detach();
    }
}

void SerialQueue::waitUntilIdle()
{
    std::unique_lock lock(state_->mutex);
    state_->idle.wait(lock, [&] { return state_->work.empty() && !state_->busy; });
}

void SerialQueue::waitForAllQueues()
{
    Workers &all = workers();
    std::unique_lock lock(all.mutex);
    all.done.wait(lock, [&all] { return all.live == 0; });
}

void SerialQueue::runWorker(std::shared_ptr<State> state)
{
    // Linux limits thread names to 15 characters.
    pthread_setname_np(pthread_self(), state->name.substr(0, 15).c_str());
    std::unique_lock lock(state->mutex);
    for (;;) {
        if (state->work.empty()) {
            // Nothing left: the worker ends; the next async() starts a new one.
            state->running = false;
            state->idle.notify_all();
            break;
        }
        auto item = std::move(state->work.front());
        state->work.pop_front();
        state->busy = true;
        lock.unlock();
        item();
        item = nullptr; // release captures on the worker, before reporting idle
        lock.lock();
        state->busy = false;
    }
    lock.unlock();
    Workers &all = workers();
    std::lock_guard count(all.mutex);
    --all.live;
    all.done.notify_all();
}

} // namespace murmelo
