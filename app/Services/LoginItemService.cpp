#include "Services/LoginItemService.hpp"

#include <utility>

namespace ostrel {

LoginItemService::LoginItemService(std::shared_ptr<LoginItem> item) : item_(std::move(item)) {}

void LoginItemService::setLaunchAtLogin(bool enabled) {
    if (enabled) {
        item_->registerItem();
    } else {
        item_->unregisterItem();
    }
}

}  // namespace ostrel
