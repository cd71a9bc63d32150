#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>

#include "Model/Records.hpp"
#include "Platform/ToolPaths.hpp"
#include "Platform/ToolRunner.hpp"
#include "Platform/WifiClient.hpp"

namespace ostrel {

// Decides which network the machine is on from the primary interface of the tick. Asks the
// Wi-Fi client and the tools afresh on every call; keeps no state between calls.
class NetworkIdentityResolver final {
public:
    NetworkIdentityResolver(std::shared_ptr<WifiClient> wifiClient, std::shared_ptr<ToolRunner> toolRunner,
                            ToolPaths toolPaths);

    NetworkIdentity resolveActiveNetwork(const std::optional<std::string>& primaryInterface);

private:
    struct SSIDResolutionResult {
        std::optional<std::string> ssid;
        std::string source;
        double confidence = 0;
        bool sawRedacted = false;
    };

    std::set<std::string> detectedWiFiInterfaces();
    SSIDResolutionResult resolvedSSID(const std::optional<std::string>& primaryInterface,
                                      const std::set<std::string>& wifiInterfaces);
    std::optional<std::string> wifiInterfaceFromNetworkSetup();
    std::optional<std::string> ssidFromNetworkSetup(const std::string& interface);
    std::optional<std::string> ssidFromIPConfig(const std::string& interface);
    std::optional<std::string> ssidFromTools(const std::string& interface);

    std::shared_ptr<WifiClient> wifiClient_;
    std::shared_ptr<ToolRunner> toolRunner_;
    ToolPaths toolPaths_;
};

}  // namespace ostrel
