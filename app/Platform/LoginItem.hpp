#pragma once

#include <stdexcept>

namespace ostrel {

class LoginItemError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The program's registration as something the session starts when the user logs in. Every
// call registers or unregisters again, whatever the state was.
class LoginItem {
public:
    virtual ~LoginItem() = default;
    // Both throw LoginItemError when the system refuses.
    virtual void registerItem() = 0;
    virtual void unregisterItem() = 0;
};

}  // namespace ostrel
