#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Platform/WifiClient.hpp"

namespace ostrel {

// Wi-Fi station interfaces and their joined networks, asked of the kernel over nl80211 on each
// call. No nl80211 (no Wi-Fi hardware, no cfg80211) reads as no interfaces.
class Nl80211WifiClient final : public WifiClient {
public:
    std::vector<WifiInterface> interfaces() override;
    std::optional<WifiInterface> interfaceWithName(const std::string& name) override;
};

}  // namespace ostrel
