#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace ostrel {

// Where results reach the user interface. The program backs it with Qt's event loop.
class MainQueue {
public:
    virtual ~MainQueue() = default;
    virtual void async(std::function<void()> task) = 0;
};

// A main queue that runs nothing until its owner pumps it; for tests and headless use.
class PumpableMainQueue final : public MainQueue {
public:
    void async(std::function<void()> task) override;

    // Runs everything queued so far (and what that queues in turn); returns how many ran.
    std::size_t pump();

    // Pumps until `done` holds or `timeout` passes; returns whether `done` held.
    bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<std::function<void()>> tasks_;
};

}  // namespace ostrel
