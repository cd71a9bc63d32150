#pragma once

#include <functional>
#include <utility>

#include "Platform/LocationManager.hpp"

namespace ostrel {

// Linux does not hide Wi-Fi names from programs, so there is no permission to ask for: location
// services are on and the program is authorized always. A request only reports that state again.
class LinuxLocationManager final : public LocationManager {
public:
    bool locationServicesEnabled() override { return true; }
    int authorizationStatus() override { return authorizedAlways; }
    void requestWhenInUseAuthorization() override {
        if (handler_) handler_();
    }
    void setAuthorizationChangeHandler(std::function<void()> handler) override { handler_ = std::move(handler); }

private:
    std::function<void()> handler_;
};

}  // namespace ostrel
