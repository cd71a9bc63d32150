#pragma once

#include <functional>
#include <memory>

namespace ostrel {

class LocationPermissionService;
class MainQueue;
class MenuBarViewModel;
class OstrelDataService;
class OstrelDataServiceError;
class StatusBarController;

// Wires the program together at launch and holds its parts for the life of the process.
class AppDelegate final {
public:
    // `retryStart`: whether a failed start of the data service is tried again.
    explicit AppDelegate(std::shared_ptr<MainQueue> mainQueue,
                         std::function<bool(const OstrelDataServiceError&)> retryStart = {});
    ~AppDelegate();

    // The data service (a failed start ends the process, unless `retryStart` tries it again), the
    // menu-bar model, the tray item, then the launch request for location permission.
    void applicationDidFinishLaunching();

    StatusBarController* statusBarController() const { return statusBarController_.get(); }
    std::shared_ptr<OstrelDataService> dataService() const { return dataService_; }

private:
    std::shared_ptr<MainQueue> mainQueue_;
    std::function<bool(const OstrelDataServiceError&)> retryStart_;
    std::shared_ptr<LocationPermissionService> locationPermissionService_;
    std::unique_ptr<StatusBarController> statusBarController_;
    std::unique_ptr<MenuBarViewModel> menuBarViewModel_;
    std::shared_ptr<OstrelDataService> dataService_;
};

}  // namespace ostrel
