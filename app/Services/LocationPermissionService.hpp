#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <utility>

#include "Model/Enums.hpp"
#include "Platform/BundleInfo.hpp"
#include "Platform/LocationManager.hpp"
#include "Platform/MainQueue.hpp"

namespace ostrel {

// What the user interface does around a request and for the settings link; empty ones do nothing.
struct LocationPermissionHooks {
    std::function<void()> closeVisibleMenuBarPopoverWindow;
    std::function<void()> bringAppToFront;
    std::function<void()> openSystemLocationSettings;
};

// Tracks the program's location permission and asks for it: once shortly after launch when the
// user has not decided, and on demand. Main thread only. Every update of the status is announced
// on the main queue, also when the value stays the same.
class LocationPermissionService final : public std::enable_shared_from_this<LocationPermissionService> {
public:
    static constexpr std::chrono::milliseconds launchRequestDelay{800};
    static constexpr std::chrono::milliseconds authorizationRequestDelay{150};
    static constexpr const char* whenInUseUsageDescriptionKey = "NSLocationWhenInUseUsageDescription";
    static constexpr const char* usageDescriptionKey = "NSLocationUsageDescription";

    // Reads the state at once; its first announcement follows on the main queue.
    static std::shared_ptr<LocationPermissionService> create(std::shared_ptr<LocationManager> manager,
                                                             BundleInfo bundle, std::shared_ptr<MainQueue> mainQueue);
    // The process-wide instance over this system's location state and the program's Info.json,
    // made by the first call with its main queue; later calls return it and ignore theirs.
    static std::shared_ptr<LocationPermissionService> shared(std::shared_ptr<MainQueue> mainQueue);

    LocationPermissionService(const LocationPermissionService&) = delete;
    LocationPermissionService& operator=(const LocationPermissionService&) = delete;

    // Whoever shows the status sets it; the callback set when an announcement runs receives it.
    std::function<void(LocationPermissionStatus)> onStatusChanged;

    LocationPermissionStatus status() const { return status_; }
    void setHooks(LocationPermissionHooks hooks) { hooks_ = std::move(hooks); }

    void refreshStatus();
    // Asks the system for when-in-use authorization, or announces why it cannot: whatever the
    // current status, so a request after a refusal asks again.
    void requestAccess(bool closeMenuBarPopover, bool bringAppToFront);
    void requestAccessIfNeededOnLaunch();
    void openSystemLocationSettings();
    // The system's report that the authorization may have changed.
    void locationManagerDidChangeAuthorization() { refreshStatus(); }

private:
    LocationPermissionService(std::shared_ptr<LocationManager> manager, BundleInfo bundle,
                              std::shared_ptr<MainQueue> mainQueue);

    void updateStatus(LocationPermissionStatus value);
    bool hasUsageDescription() const;

    std::shared_ptr<LocationManager> manager_;
    LocationPermissionStatus status_ = LocationPermissionStatus::unknown;
    BundleInfo bundle_;
    std::shared_ptr<MainQueue> mainQueue_;
    LocationPermissionHooks hooks_;
};

}  // namespace ostrel
