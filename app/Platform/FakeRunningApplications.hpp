#pragma once

#include <mutex>
#include <optional>
#include <vector>

#include "Platform/RunningApplications.hpp"

namespace ostrel {

// Reports the applications a test sets, in the order given.
class FakeRunningApplications final : public RunningApplications {
public:
    explicit FakeRunningApplications(std::vector<RunningApplication> applications = {})
        : applications_(std::move(applications)) {}

    void setApplications(std::vector<RunningApplication> applications) {
        std::lock_guard lock(mutex_);
        applications_ = std::move(applications);
    }

    std::optional<RunningApplication> applicationWithProcessIdentifier(int pid) override {
        std::lock_guard lock(mutex_);
        for (const auto& app : applications_) {
            if (app.processIdentifier == pid) return app;
        }
        return std::nullopt;
    }

    std::vector<RunningApplication> runningApplications() override {
        std::lock_guard lock(mutex_);
        return applications_;
    }

private:
    std::mutex mutex_;
    std::vector<RunningApplication> applications_;
};

}  // namespace ostrel
