#pragma once

#include <functional>

namespace ostrel {

// The system's location permission for this program, on which the names of Wi-Fi networks may
// depend. Used from the main thread only.
class LocationManager {
public:
    // The system's authorization values; others may appear.
    static constexpr int notDetermined = 0;
    static constexpr int restricted = 1;
    static constexpr int denied = 2;
    static constexpr int authorizedAlways = 3;
    static constexpr int authorizedWhenInUse = 4;

    virtual ~LocationManager() = default;
    // False when location services are switched off for the whole system.
    virtual bool locationServicesEnabled() = 0;
    virtual int authorizationStatus() = 0;
    // The system decides whether to ask the user; an answer arrives through the change handler.
    virtual void requestWhenInUseAuthorization() = 0;
    // Called on the main thread whenever the authorization may have changed. One handler; a new
    // one replaces the previous.
    virtual void setAuthorizationChangeHandler(std::function<void()> handler) = 0;
};

}  // namespace ostrel
