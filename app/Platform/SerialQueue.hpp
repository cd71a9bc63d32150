#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>

namespace ostrel {

// One worker thread that runs submitted work in order. Work already queued when the
// queue is destroyed still runs; delayed work that is not yet due is dropped.
class SerialQueue final {
public:
    using Clock = std::chrono::steady_clock;
    using Task = std::function<void()>;

    explicit SerialQueue(std::string label);
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const std::string& label() const { return label_; }

    void async(Task task);
    void asyncAfter(Clock::duration delay, Task task);

    // True when called from the queue's own worker thread.
    bool isCurrent() const { return std::this_thread::get_id() == workerId_; }

    // Runs `work` on the queue and waits for it; its result or exception is handed back.
    // Calling it from the queue itself would wait forever, so that is refused.
    template <class F>
    std::invoke_result_t<F&> sync(F&& work) {
        using R = std::invoke_result_t<F&>;
        if (isCurrent()) {
            throw std::logic_error("SerialQueue::sync called from its own queue '" + label_ + "'");
        }
        std::packaged_task<R()> packaged(std::ref(work));
        auto result = packaged.get_future();
        async([&packaged] { packaged(); });
        return result.get();
    }

private:
    // Shared with the worker so that a worker detached by its own task outlives the queue safely.
    struct State {
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<Task> ready;
        std::multimap<Clock::time_point, Task> delayed;
        bool stopping = false;
    };
    static void run(const std::shared_ptr<State>& state);

    std::string label_;
    std::shared_ptr<State> state_;
    std::thread worker_;
    std::thread::id workerId_;
};

}  // namespace ostrel
