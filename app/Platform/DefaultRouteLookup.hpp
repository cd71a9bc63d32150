#pragma once

#include <optional>
#include <string>

namespace ostrel {

// The interface that carries the machine's traffic to the outside: the one the kernel would pick
// towards a public address. Asked once per sampling tick; nothing throws.
class DefaultRouteLookup {
public:
    virtual ~DefaultRouteLookup() = default;
    // None when there is no usable route.
    virtual std::optional<std::string> defaultRouteInterface() = 0;
};

}  // namespace ostrel
