#include "OstrelApp/AppDelegate.hpp"

#include "OstrelApp/StatusBarController.hpp"
#include "Platform/BundleInfo.hpp"
#include "Platform/LogSink.hpp"
#include "Services/LocationPermissionService.hpp"
#include "Services/OstrelDataService.hpp"
#include "ViewModels/MenuBarViewModel.hpp"

namespace ostrel {

AppDelegate::AppDelegate(std::shared_ptr<MainQueue> mainQueue)
    : mainQueue_(std::move(mainQueue)),
      locationPermissionService_(LocationPermissionService::shared(mainQueue_)) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching() {
    dataService_ = OstrelDataService::shared(mainQueue_);
    menuBarViewModel_ = std::make_unique<MenuBarViewModel>(dataService_, mainQueue_);
    statusBarController_ = std::make_unique<StatusBarController>(
        dataService_, menuBarViewModel_.get(), LinkCommands(BundleInfo::forRunningProgram(*dataService_->logSink())));
    StatusBarController* controller = statusBarController_.get();
    locationPermissionService_->setHooks({
        [controller] { controller->closePopover(); },
        [controller] { controller->bringToFront(); },
        {},
    });
    locationPermissionService_->requestAccessIfNeededOnLaunch();
}

}  // namespace ostrel
