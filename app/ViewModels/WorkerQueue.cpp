#include "ViewModels/WorkerQueue.hpp"

#include <utility>

namespace ostrel {

WorkerQueue::WorkerQueue(std::string label) : queue_(std::make_shared<SerialQueue>(std::move(label))) {}

// The last reference goes to the queue itself, behind the work already there: it is dropped on
// the queue's own thread, which then lets itself end instead of being waited for.
WorkerQueue::~WorkerQueue() {
    SerialQueue& queue = *queue_;
    queue.async([last = std::move(queue_)] {});
}

}  // namespace ostrel
