#include "Platform/SerialQueue.hpp"

#include <pthread.h>

namespace ostrel {

SerialQueue::SerialQueue(std::string label)
    : label_(std::move(label)), state_(std::make_shared<State>()) {
    worker_ = std::thread([state = state_] { run(state); });
    workerId_ = worker_.get_id();
    // Thread names are limited to 15 bytes; the tail of a label is the telling part.
    std::string name = label_.size() > 15 ? label_.substr(label_.size() - 15) : label_;
    pthread_setname_np(worker_.native_handle(), name.c_str());
}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
    }
    state_->wake.notify_all();
    if (isCurrent()) {
        // The last owner let go from inside a task: the worker cannot join itself.
        worker_.detach();
    } else {
        worker_.join();
    }
}

// Notifying under the lock: once it is released the task may run and end the queue's life,
// so nothing here may touch the queue afterwards.
void SerialQueue::async(Task task) {
    State& state = *state_;
    std::lock_guard lock(state.mutex);
    state.ready.push_back(std::move(task));
    state.wake.notify_one();
}

void SerialQueue::asyncAfter(Clock::duration delay, Task task) {
    State& state = *state_;
    std::lock_guard lock(state.mutex);
    state.delayed.emplace(Clock::now() + delay, std::move(task));
    state.wake.notify_one();
}

void SerialQueue::run(const std::shared_ptr<State>& state) {
    std::unique_lock lock(state->mutex);
    for (;;) {
        auto now = Clock::now();
        while (!state->delayed.empty() && state->delayed.begin()->first <= now) {
            state->ready.push_back(std::move(state->delayed.begin()->second));
            state->delayed.erase(state->delayed.begin());
        }
        if (!state->ready.empty()) {
            Task task = std::move(state->ready.front());
            state->ready.pop_front();
            lock.unlock();
            task();
            task = nullptr;  // captured state is released off the lock
            lock.lock();
            continue;
        }
        if (state->stopping) {
            return;
        }
        if (state->delayed.empty()) {
            state->wake.wait(lock);
        } else {
            state->wake.wait_until(lock, state->delayed.begin()->first);
        }
    }
}

}  // namespace ostrel
