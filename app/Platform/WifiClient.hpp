#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ostrel {

// A Wi-Fi interface and the name of the network it has joined, if any.
struct WifiInterface {
    std::string interfaceName;
    std::optional<std::string> ssid;

    bool operator==(const WifiInterface&) const = default;
};

// The machine's Wi-Fi client side. Machines without Wi-Fi report no interfaces; nothing throws.
class WifiClient {
public:
    virtual ~WifiClient() = default;
    virtual std::vector<WifiInterface> interfaces() = 0;
    // None when no Wi-Fi interface has that name.
    virtual std::optional<WifiInterface> interfaceWithName(const std::string& name) = 0;
};

}  // namespace ostrel
