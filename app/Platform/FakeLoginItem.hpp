#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Platform/LoginItem.hpp"

namespace ostrel {

// Records each call ("register", "unregister") and fails them with the error a test sets.
class FakeLoginItem final : public LoginItem {
public:
    void setError(std::optional<std::string> error) {
        std::lock_guard lock(mutex_);
        error_ = std::move(error);
    }
    std::vector<std::string> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

    void registerItem() override { record("register"); }
    void unregisterItem() override { record("unregister"); }

private:
    void record(std::string call) {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
        if (error_) throw LoginItemError(*error_);
    }

    mutable std::mutex mutex_;
    std::optional<std::string> error_;
    std::vector<std::string> calls_;
};

}  // namespace ostrel
