#pragma once

#include <memory>

namespace ostrel {

class InstanceLock;
class LocationPermissionService;
class MainQueue;
class MenuBarViewModel;
class OstrelDataService;
class StatusBarController;

// Wires the program together at launch and holds its parts for the life of the process.
class AppDelegate final {
public:
    // `instanceLock`: the lock on the database the program already holds, handed to the data
    // service.
    explicit AppDelegate(std::shared_ptr<MainQueue> mainQueue, std::shared_ptr<InstanceLock> instanceLock = nullptr);
    ~AppDelegate();

    // The data service (a failed start ends the process), the menu-bar model, the tray item,
    // then the launch request for location permission.
    void applicationDidFinishLaunching();

    StatusBarController* statusBarController() const { return statusBarController_.get(); }

private:
    std::shared_ptr<MainQueue> mainQueue_;
    std::shared_ptr<InstanceLock> instanceLock_;
    std::shared_ptr<LocationPermissionService> locationPermissionService_;
    std::unique_ptr<StatusBarController> statusBarController_;
    std::unique_ptr<MenuBarViewModel> menuBarViewModel_;
    std::shared_ptr<OstrelDataService> dataService_;
};

}  // namespace ostrel
