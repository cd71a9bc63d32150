#pragma once

#include <memory>
#include <string>

#include "Platform/SerialQueue.hpp"

namespace ostrel {

// A view model's serial worker queue whose release never waits. The work already queued still
// runs, in order, on the queue's own thread, which ends after it; its answers find the view model
// gone and are dropped. So a view model released on the main thread while a load waits for the
// database returns at once.
class WorkerQueue final {
public:
    explicit WorkerQueue(std::string label);
    ~WorkerQueue();
    WorkerQueue(const WorkerQueue&) = delete;
    WorkerQueue& operator=(const WorkerQueue&) = delete;

    const std::string& label() const { return queue_->label(); }
    void async(SerialQueue::Task task) { queue_->async(std::move(task)); }

private:
    std::shared_ptr<SerialQueue> queue_;
};

}  // namespace ostrel
