#include "Services/LocationPermissionService.hpp"

#include <stdexcept>
#include <utility>

#include "Platform/LinuxLocationManager.hpp"
#include "Platform/LogSink.hpp"

namespace ostrel {
namespace {

LocationPermissionStatus statusForAuthorization(int authorization) {
    switch (authorization) {
        case LocationManager::notDetermined:
            return LocationPermissionStatus::notDetermined;
        case LocationManager::restricted:
            return LocationPermissionStatus::restricted;
        case LocationManager::denied:
            return LocationPermissionStatus::denied;
        case LocationManager::authorizedAlways:
        case LocationManager::authorizedWhenInUse:
            return LocationPermissionStatus::authorized;
        default:
            return LocationPermissionStatus::unknown;
    }
}

}  // namespace

LocationPermissionService::LocationPermissionService(std::shared_ptr<LocationManager> manager, BundleInfo bundle,
                                                     std::shared_ptr<MainQueue> mainQueue)
    : manager_(std::move(manager)), bundle_(std::move(bundle)), mainQueue_(std::move(mainQueue)) {
    if (!manager_ || !mainQueue_)
        throw std::invalid_argument("LocationPermissionService needs a manager and a main queue");
}

std::shared_ptr<LocationPermissionService> LocationPermissionService::create(std::shared_ptr<LocationManager> manager,
                                                                             BundleInfo bundle,
                                                                             std::shared_ptr<MainQueue> mainQueue) {
    std::shared_ptr<LocationPermissionService> service(
        new LocationPermissionService(std::move(manager), std::move(bundle), std::move(mainQueue)));
    // Only now can the handler and the first announcement hold the service weakly.
    service->manager_->setAuthorizationChangeHandler([weak = service->weak_from_this()] {
        if (const auto self = weak.lock()) self->locationManagerDidChangeAuthorization();
    });
    service->refreshStatus();
    return service;
}

std::shared_ptr<LocationPermissionService> LocationPermissionService::shared(std::shared_ptr<MainQueue> mainQueue) {
    static const auto instance = [&mainQueue] {
        SyslogSink log;
        return create(std::make_shared<LinuxLocationManager>(), BundleInfo::forRunningProgram(log),
                      std::move(mainQueue));
    }();
    return instance;
}

void LocationPermissionService::refreshStatus() {
    if (!manager_->locationServicesEnabled()) {
        updateStatus(LocationPermissionStatus::servicesDisabled);
        return;
    }
    updateStatus(statusForAuthorization(manager_->authorizationStatus()));
}

void LocationPermissionService::requestAccess(bool closeMenuBarPopover, bool bringAppToFront) {
    const bool described = hasUsageDescription();
    if (!described || !manager_->locationServicesEnabled()) {
        updateStatus(described ? LocationPermissionStatus::servicesDisabled
                               : LocationPermissionStatus::missingUsageDescription);
        return;
    }
    if (closeMenuBarPopover && hooks_.closeVisibleMenuBarPopoverWindow) hooks_.closeVisibleMenuBarPopoverWindow();
    if (bringAppToFront && hooks_.bringAppToFront) hooks_.bringAppToFront();
    // Gives the window changes time to settle before the system may show its prompt.
    mainQueue_->asyncAfter(authorizationRequestDelay, [weak = weak_from_this()] {
        if (const auto self = weak.lock()) self->manager_->requestWhenInUseAuthorization();
    });
}

void LocationPermissionService::requestAccessIfNeededOnLaunch() {
    refreshStatus();
    if (status_ != LocationPermissionStatus::notDetermined) return;
    mainQueue_->asyncAfter(launchRequestDelay, [weak = weak_from_this()] {
        if (const auto self = weak.lock()) self->requestAccess(true, true);
    });
}

void LocationPermissionService::openSystemLocationSettings() {
    if (hooks_.openSystemLocationSettings) hooks_.openSystemLocationSettings();
}

void LocationPermissionService::updateStatus(LocationPermissionStatus value) {
    status_ = value;
    mainQueue_->async([weak = weak_from_this(), value] {
        const auto self = weak.lock();
        if (!self || !self->onStatusChanged) return;
        // A copy, so that the callback may replace itself.
        const auto callback = self->onStatusChanged;
        callback(value);
    });
}

bool LocationPermissionService::hasUsageDescription() const {
    return bundle_.contains(whenInUseUsageDescriptionKey) || bundle_.contains(usageDescriptionKey);
}

}  // namespace ostrel
