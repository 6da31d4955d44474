#pragma once

#include <functional>
#include <memory>
#include <string>

namespace murmelo {

// A named serial queue: one worker thread, named after the queue, runs the posted work in order.
// The handle may be dropped right after posting; the worker finishes what was posted and then
// ends by itself. Work that must report back posts its completion with postToMainQueue().
class SerialQueue {
public:
    explicit SerialQueue(std::string name);
    ~SerialQueue();
    SerialQueue(const SerialQueue &) = delete;
    SerialQueue &operator=(const SerialQueue &) = delete;

    const std::string &name() const;
    void async(std::function<void()> work);
    // Blocks until everything posted so far has run. For shutdown paths and tests.
    void waitUntilIdle();

    // Blocks until every worker of every queue has finished its posted work.
    static void waitForAllQueues();

private:
    struct State;
    static void runWorker(std::shared_ptr<State> state);
    std::shared_ptr<State> state_;
};

} // namespace murmelo
