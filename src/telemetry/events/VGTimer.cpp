#include "telemetry/events/VGTimer.h"

#include "telemetry/network/VGNetworkThread.h"

#include <QTimer>
#include <cmath>
#include <mutex>

namespace murmelo {

// The timer source lives on the telemetry's event-loop thread; only the action goes to the queue.
struct VGTimer::State {
    mutable std::mutex mutex;
    double interval = 0;
    std::function<void()> block;
    bool valid = true;
    Queue queue;
    QTimer *source = nullptr; // touched on the network thread only
};

namespace {
std::chrono::milliseconds milliseconds(double seconds)
{
    return std::chrono::milliseconds(std::llround(seconds * 1000));
}
} // namespace

VGTimer::VGTimer(std::shared_ptr<State> state) : state_(std::move(state)) {}

std::unique_ptr<VGTimer> VGTimer::initWithInterval(double seconds, Queue queue,
                                                   std::function<void()> block)
{
    if (!queue || !block || !(seconds > 0))
        return nullptr;
    auto state = std::make_shared<State>();
    state->interval = seconds;
    state->block = std::move(block);
    state->queue = std::move(queue);
    std::unique_ptr<VGTimer> timer(new VGTimer(state));
    timer->restart();
    return timer;
}

VGTimer::~VGTimer()
{
    invalidate();
}

void VGTimer::setInterval(double seconds)
{
    if (!(seconds > 0))
        return;
    {
        std::lock_guard lock(state_->mutex);
        state_->interval = seconds;
    }
    restart();
}

double VGTimer::interval() const
{
    std::lock_guard lock(state_->mutex);
    return state_->interval;
}

void VGTimer::restart()
{
    double seconds;
    {
        std::lock_guard lock(state_->mutex);
        if (!state_->valid)
            return;
        seconds = state_->interval;
    }
    std::weak_ptr<State> weak = state_;
    VGNetworkThread::post([weak, seconds] {
        auto state = weak.lock();
        if (!state)
            return;
        std::lock_guard lock(state->mutex);
        if (!state->valid)
            return;
        if (!state->source) {
            state->source = new QTimer(&VGNetworkThread::context());
            QObject::connect(state->source, &QTimer::timeout, [weak] {
                auto s = weak.lock();
                if (!s)
                    return;
                Queue queue;
                {
                    std::lock_guard lock(s->mutex);
                    if (!s->valid)
                        return;
                    queue = s->queue;
                }
                queue([weak] {
                    if (auto alive = weak.lock())
                        fireState(*alive);
                });
            });
        }
        // Long intervals may slip by a little (the platform's one-second tolerance).
        state->source->setTimerType(seconds >= 20 ? Qt::CoarseTimer : Qt::PreciseTimer);
        state->source->start(milliseconds(seconds));
    });
}

void VGTimer::fireState(State &state)
{
    std::function<void()> block;
    {
        std::lock_guard lock(state.mutex);
        if (!state.valid)
            return;
        block = state.block;
    }
    if (block)
        block();
}

void VGTimer::fire()
{
    fireState(*state_);
}

void VGTimer::invalidate()
{
    {
        std::lock_guard lock(state_->mutex);
        if (!state_->valid)
            return;
        state_->valid = false;
        state_->block = nullptr;
    }
    VGNetworkThread::post([state = state_] {
        std::lock_guard lock(state->mutex);
        delete state->source;
        state->source = nullptr;
    });
}

bool VGTimer::isValid() const
{
    std::lock_guard lock(state_->mutex);
    return state_->valid;
}

std::function<void()> VGTimer::block() const
{
    std::lock_guard lock(state_->mutex);
    return state_->block;
}

void VGTimer::setBlock(std::function<void()> block)
{
    std::lock_guard lock(state_->mutex);
    if (state_->valid)
        state_->block = std::move(block);
}

} // namespace murmelo
