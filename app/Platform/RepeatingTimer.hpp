#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

#include "Platform/SerialQueue.hpp"

namespace ostrel {

// A timer that runs its handler on a serial queue: first after `firstDelay`, then every
// `interval` on a fixed grid. A handler that overruns the interval delays the next fire, and
// every fire that fell due meanwhile is merged into that one late fire instead of queueing up.
// `leeway` is how late a fire may come; the queue's thread gets it as its timer slack so the
// kernel can batch the wake-ups. `now` is the clock the grid is laid on; the queue still waits in
// real time for what it says.
class RepeatingTimer final {
public:
    using Clock = SerialQueue::Clock;

    RepeatingTimer(SerialQueue& queue, Clock::duration firstDelay, Clock::duration interval, Clock::duration leeway,
                   std::function<void()> handler, std::function<Clock::time_point()> now = Clock::now);
    ~RepeatingTimer();
    RepeatingTimer(const RepeatingTimer&) = delete;
    RepeatingTimer& operator=(const RepeatingTimer&) = delete;

    // Arms the timer; later calls do nothing.
    void resume();

    // No fire starts after this returns when called on the queue. From another thread a fire that
    // is already starting may still run once.
    void cancel();

    bool isCancelled() const { return state_->cancelled.load(); }

private:
    struct State {
        SerialQueue* queue = nullptr;
        Clock::duration interval{};
        Clock::time_point deadline{};
        std::function<void()> handler;
        std::function<Clock::time_point()> now;
        std::atomic<bool> cancelled{false};
    };
    static void schedule(const std::shared_ptr<State>& state, Clock::time_point at);
    static void fire(const std::shared_ptr<State>& state);

    std::shared_ptr<State> state_;
    Clock::duration firstDelay_;
    Clock::duration leeway_;
    bool resumed_ = false;
};

}  // namespace ostrel
