#pragma once

#include <memory>

#include "Platform/LoginItem.hpp"

namespace ostrel {

// Registers or unregisters the program as started at login, without reading the current state
// first.
class LoginItemService final {
public:
    explicit LoginItemService(std::shared_ptr<LoginItem> item);

    // Throws the item's LoginItemError unchanged.
    void setLaunchAtLogin(bool enabled);

private:
    std::shared_ptr<LoginItem> item_;
};

}  // namespace ostrel
