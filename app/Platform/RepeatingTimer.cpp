#include "Platform/RepeatingTimer.hpp"

#include <sys/prctl.h>

namespace ostrel {

RepeatingTimer::RepeatingTimer(SerialQueue& queue, Clock::duration firstDelay, Clock::duration interval,
                               Clock::duration leeway, std::function<void()> handler,
                               std::function<Clock::time_point()> now)
    : state_(std::make_shared<State>()), firstDelay_(firstDelay), leeway_(leeway) {
    state_->queue = &queue;
    // A zero interval would spin the queue.
    state_->interval = interval > Clock::duration::zero() ? interval : std::chrono::milliseconds(1);
    state_->handler = std::move(handler);
    state_->now = std::move(now);
}

RepeatingTimer::~RepeatingTimer() {
    cancel();
}

void RepeatingTimer::resume() {
    if (resumed_) {
        return;
    }
    resumed_ = true;
    const auto slack = std::chrono::duration_cast<std::chrono::nanoseconds>(leeway_).count();
    if (slack > 0) {
        state_->queue->async([slack] { prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(slack), 0, 0, 0); });
    }
    schedule(state_, state_->now() + firstDelay_);
}

void RepeatingTimer::cancel() {
    state_->cancelled.store(true);
}

void RepeatingTimer::schedule(const std::shared_ptr<State>& state, Clock::time_point at) {
    state->deadline = at;
    const auto delay = at - state->now();
    state->queue->asyncAfter(delay > Clock::duration::zero() ? delay : Clock::duration::zero(),
                             [state] { fire(state); });
}

void RepeatingTimer::fire(const std::shared_ptr<State>& state) {
    if (state->cancelled.load()) {
        return;
    }
    state->handler();
    if (state->cancelled.load()) {
        return;
    }
    const auto now = state->now();
    auto next = state->deadline + state->interval;
    if (next <= now) {
        // Every grid point passed while the handler ran collapses into one fire, right away;
        // the grid itself stays where it was.
        const auto missed = (now - state->deadline) / state->interval;
        state->deadline += missed * state->interval;
        state->queue->async([state] { fire(state); });
        return;
    }
    schedule(state, next);
}

}  // namespace ostrel
