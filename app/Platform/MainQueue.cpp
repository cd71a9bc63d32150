#include "Platform/MainQueue.hpp"

#include <algorithm>

namespace ostrel {

void PumpableMainQueue::async(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    arrived_.notify_all();
}

void PumpableMainQueue::asyncAfter(std::chrono::milliseconds delay, std::function<void()> task) {
    if (delay <= std::chrono::milliseconds::zero()) {
        async(std::move(task));
        return;
    }
    std::lock_guard lock(mutex_);
    delayed_.emplace(now_ + delay, std::move(task));
}

std::chrono::milliseconds PumpableMainQueue::now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

std::size_t PumpableMainQueue::advance(std::chrono::milliseconds step) {
    std::chrono::milliseconds target;
    {
        std::lock_guard lock(mutex_);
        target = now_ + std::max(step, std::chrono::milliseconds::zero());
    }
    std::size_t ran = pump();
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            const auto next = delayed_.begin();
            if (next == delayed_.end() || next->first > target) {
                now_ = target;
                break;
            }
            now_ = next->first;
            tasks_.push_back(std::move(next->second));
            delayed_.erase(next);
        }
        ran += pump();
    }
    return ran;
}

std::size_t PumpableMainQueue::pump() {
    std::size_t ran = 0;
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard lock(mutex_);
            if (tasks_.empty()) {
                return ran;
            }
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
        ++ran;
    }
}

bool PumpableMainQueue::pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        pump();
        if (done()) {
            return true;
        }
        std::unique_lock lock(mutex_);
        if (!arrived_.wait_until(lock, deadline, [this] { return !tasks_.empty(); })) {
            lock.unlock();
            pump();
            return done();
        }
    }
}

}  // namespace ostrel
