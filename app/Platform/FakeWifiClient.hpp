#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Platform/WifiClient.hpp"

namespace ostrel {

// Reports the interfaces a test sets.
class FakeWifiClient final : public WifiClient {
public:
    explicit FakeWifiClient(std::vector<WifiInterface> interfaces = {}) : interfaces_(std::move(interfaces)) {}

    void setInterfaces(std::vector<WifiInterface> interfaces) {
        std::lock_guard lock(mutex_);
        interfaces_ = std::move(interfaces);
    }

    std::vector<WifiInterface> interfaces() override {
        std::lock_guard lock(mutex_);
        return interfaces_;
    }

    std::optional<WifiInterface> interfaceWithName(const std::string& name) override {
        std::lock_guard lock(mutex_);
        for (const auto& wifi : interfaces_) {
            if (wifi.interfaceName == name) return wifi;
        }
        return std::nullopt;
    }

private:
    std::mutex mutex_;
    std::vector<WifiInterface> interfaces_;
};

}  // namespace ostrel
