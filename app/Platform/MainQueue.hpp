#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

namespace ostrel {

// Where results reach the user interface. The program backs it with Qt's event loop.
class MainQueue {
public:
    virtual ~MainQueue() = default;
    virtual void async(std::function<void()> task) = 0;
    // Runs `task` on the main queue once `delay` has passed.
    virtual void asyncAfter(std::chrono::milliseconds delay, std::function<void()> task) = 0;
};

// A main queue that runs nothing until its owner pumps it; for tests and headless use. Its clock
// is virtual: delayed tasks run only when advance() moves the clock past their time.
class PumpableMainQueue final : public MainQueue {
public:
    void async(std::function<void()> task) override;
    void asyncAfter(std::chrono::milliseconds delay, std::function<void()> task) override;

    // Runs everything queued so far (and what that queues in turn); returns how many ran.
    std::size_t pump();

    // Pumps until `done` holds or `timeout` passes; returns whether `done` held.
    bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

    // Time since the queue was made, as far as delayed tasks are concerned.
    std::chrono::milliseconds now() const;

    // Moves the clock forward by `step`, running each delayed task as its time comes (earliest
    // first, equal times in the order queued) after everything queued before it; returns how many
    // tasks ran.
    std::size_t advance(std::chrono::milliseconds step);

private:
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<std::function<void()>> tasks_;
    std::multimap<std::chrono::milliseconds, std::function<void()>> delayed_;
    std::chrono::milliseconds now_{0};
};

}  // namespace ostrel
