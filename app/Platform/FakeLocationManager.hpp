#pragma once

#include <functional>
#include <utility>

#include "Platform/LocationManager.hpp"

namespace ostrel {

// The state a test sets; counts requests and reports changes when the test says so, as the system
// would after the user answers.
class FakeLocationManager final : public LocationManager {
public:
    explicit FakeLocationManager(int authorization = notDetermined, bool servicesEnabled = true)
        : authorization_(authorization), servicesEnabled_(servicesEnabled) {}

    void setState(int authorization, bool servicesEnabled = true) {
        authorization_ = authorization;
        servicesEnabled_ = servicesEnabled;
    }
    // Calls the change handler, if any.
    void reportAuthorizationChange() {
        if (handler_) handler_();
    }
    int requestCount() const { return requests_; }

    bool locationServicesEnabled() override { return servicesEnabled_; }
    int authorizationStatus() override { return authorization_; }
    void requestWhenInUseAuthorization() override { ++requests_; }
    void setAuthorizationChangeHandler(std::function<void()> handler) override { handler_ = std::move(handler); }

private:
    int authorization_;
    bool servicesEnabled_;
    int requests_ = 0;
    std::function<void()> handler_;
};

}  // namespace ostrel
