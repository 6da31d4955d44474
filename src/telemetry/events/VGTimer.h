#pragma once

#include <functional>
#include <memory>

namespace murmelo {

// A repeating timer whose action runs on a given queue: first one interval after it is armed,
// then every interval (with up to a second of slack, so the system can batch wake-ups).
class VGTimer {
public:
    // Hands the action to the queue it must run on (e.g. vgSdkAsync).
    using Queue = std::function<void(std::function<void()>)>;

    // Nothing when the queue or the action is missing or the interval is not above zero.
    static std::unique_ptr<VGTimer> initWithInterval(double seconds, Queue queue,
                                                     std::function<void()> block);
    ~VGTimer();
    VGTimer(const VGTimer &) = delete;
    VGTimer &operator=(const VGTimer &) = delete;

    // Sets the interval and re-arms the timer from now.
    void setInterval(double seconds);
    double interval() const;
    // Re-arms from now; ignored once invalid.
    void restart();
    // Runs the action now, on the calling thread.
    void fire();
    // Stops for good and drops the action.
    void invalidate();
    bool isValid() const;
    std::function<void()> block() const;
    void setBlock(std::function<void()> block);

private:
    struct State;
    explicit VGTimer(std::shared_ptr<State> state);
    static void fireState(State &state);
    std::shared_ptr<State> state_;
};

} // namespace murmelo
