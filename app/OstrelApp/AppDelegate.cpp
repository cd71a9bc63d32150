#include "OstrelApp/AppDelegate.hpp"

#include "OstrelApp/StatusBarController.hpp"
#include "Platform/BundleInfo.hpp"
#include "Platform/LogSink.hpp"
#include "Services/LocationPermissionService.hpp"
#include "Services/OstrelDataService.hpp"
#include "ViewModels/MenuBarViewModel.hpp"

namespace ostrel {

AppDelegate::AppDelegate(std::shared_ptr<MainQueue> mainQueue,
                         std::function<bool(const OstrelDataServiceError&)> retryStart)
    : mainQueue_(std::move(mainQueue)),
      retryStart_(std::move(retryStart)),
      locationPermissionService_(LocationPermissionService::shared(mainQueue_)) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching() {
    dataService_ = OstrelDataService::shared(mainQueue_, retryStart_);
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
