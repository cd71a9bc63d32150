#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Platform/NotificationCenter.hpp"

namespace ostrel {

// Records what it is asked and answers at once, on the caller's thread, with the error a test
// sets.
class FakeNotificationCenter final : public NotificationCenter {
public:
    void setError(std::optional<std::string> error) {
        std::lock_guard lock(mutex_);
        error_ = std::move(error);
    }
    std::size_t authorizationRequests() const {
        std::lock_guard lock(mutex_);
        return authorizationRequests_;
    }
    std::vector<NotificationRequest> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }

    void requestAuthorization(AuthorizationHandler handler) override {
        std::unique_lock lock(mutex_);
        ++authorizationRequests_;
        auto error = error_;
        lock.unlock();
        handler(!error, error);
    }
    void add(NotificationRequest request, CompletionHandler handler) override {
        std::unique_lock lock(mutex_);
        requests_.push_back(std::move(request));
        auto error = error_;
        lock.unlock();
        handler(error);
    }

private:
    mutable std::mutex mutex_;
    std::optional<std::string> error_;
    std::size_t authorizationRequests_ = 0;
    std::vector<NotificationRequest> requests_;
};

}  // namespace ostrel
