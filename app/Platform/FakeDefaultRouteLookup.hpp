#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "Platform/DefaultRouteLookup.hpp"

namespace ostrel {

// Answers what the test set last and counts the lookups.
class FakeDefaultRouteLookup final : public DefaultRouteLookup {
public:
    void set(std::optional<std::string> interface) {
        std::lock_guard lock(mutex_);
        interface_ = std::move(interface);
    }

    std::optional<std::string> defaultRouteInterface() override {
        std::lock_guard lock(mutex_);
        ++lookups_;
        return interface_;
    }

    int lookups() {
        std::lock_guard lock(mutex_);
        return lookups_;
    }

private:
    std::mutex mutex_;
    std::optional<std::string> interface_;
    int lookups_ = 0;
};

}  // namespace ostrel
