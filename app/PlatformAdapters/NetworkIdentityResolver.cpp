#include "PlatformAdapters/NetworkIdentityResolver.hpp"

#include <utility>

#include "PlatformAdapters/TextRules.hpp"
#include "PlatformAdapters/WifiToolOutput.hpp"

namespace ostrel {
namespace {

std::string slug(std::string_view name) {
    auto out = text::lowercased(name);
    out = text::replacingAll(out, " ", "-");
    out = text::replacingAll(out, "/", "-");
    out = text::replacingAll(out, ".", "-");
    return text::replacingAll(out, "'", "");
}

// Without location permission macOS reports these instead of the network's name.
std::optional<std::string> sanitizedSSID(const std::optional<std::string>& ssid, bool& sawRedacted) {
    if (!ssid) return std::nullopt;
    auto value = text::cleanedName(text::trimmed(*ssid));
    if (value.empty()) return std::nullopt;
    if (text::lowercased(value) == "redacted" || value == "<redacted>" || value == "<private>" || value == "0x00") {
        sawRedacted = true;
        return std::nullopt;
    }
    return value;
}

bool isLikelyHotspot(std::string_view name) {
    const auto lower = text::lowercased(name);
    return text::contains(lower, "iphone") || text::contains(lower, "hotspot");
}

NetworkType interfaceType(const std::string& name, const std::set<std::string>& wifiInterfaces) {
    using text::startsWith;
    if (wifiInterfaces.count(name) != 0) return NetworkType::wifi;
    if (startsWith(name, "en")) return NetworkType::ethernet;
    if (startsWith(name, "utun")) return NetworkType::vpn;
    if (text::contains(text::lowercased(name), "vpn")) return NetworkType::vpn;
    if (startsWith(name, "pdp_ip")) return NetworkType::cellular;
    // Linux names.
    if (startsWith(name, "eth")) return NetworkType::ethernet;
    if (startsWith(name, "wl")) return NetworkType::wifi;
    if (startsWith(name, "tun") || startsWith(name, "tap") || startsWith(name, "wg")) return NetworkType::vpn;
    if (startsWith(name, "wwan") || startsWith(name, "rmnet")) return NetworkType::cellular;
    if (name == "lo" || name == "lo0") return NetworkType::loopback;
    return NetworkType::other;
}

}  // namespace

NetworkIdentityResolver::NetworkIdentityResolver(std::shared_ptr<WifiClient> wifiClient,
                                                 std::shared_ptr<ToolRunner> toolRunner, ToolPaths toolPaths)
    : wifiClient_(std::move(wifiClient)), toolRunner_(std::move(toolRunner)), toolPaths_(std::move(toolPaths)) {}

NetworkIdentity NetworkIdentityResolver::resolveActiveNetwork(const std::optional<std::string>& primaryInterface) {
    const auto wifiInterfaces = detectedWiFiInterfaces();
    std::optional<std::string> primary;
    if (primaryInterface) primary = text::trimmed(*primaryInterface);
    const auto search = resolvedSSID(primary, wifiInterfaces);

    // The interface's name is the kernel's bytes: the lookups above take it as it is, but what is
    // stored and shown must be text.
    std::optional<std::string> interfaceName;
    if (primary) interfaceName = text::cleanedName(*primary);

    NetworkIdentity identity;
    identity.isActive = true;
    identity.interfaceName = interfaceName;
    if (search.ssid) {
        identity.id = "wifi-" + slug(*search.ssid);
        identity.name = *search.ssid;
        identity.type = isLikelyHotspot(*search.ssid) ? NetworkType::hotspot : NetworkType::wifi;
        identity.resolutionState = NetworkResolutionState::resolved;
        identity.resolutionSource = search.source;
        identity.resolutionConfidence = search.confidence;
    } else if (primary && wifiInterfaces.count(*primary) != 0) {
        identity.id = "wifi-iface-" + slug(*interfaceName);
        identity.name = "Wi-Fi (SSID unavailable)";
        identity.type = NetworkType::wifi;
        identity.resolutionState =
            search.sawRedacted ? NetworkResolutionState::redacted : NetworkResolutionState::unavailable;
        identity.resolutionSource = search.source;
        identity.resolutionConfidence = 0.2;
    } else if (primary) {
        identity.id = "iface-" + slug(*interfaceName);
        identity.type = interfaceType(*primary, wifiInterfaces);
        switch (identity.type) {
            case NetworkType::ethernet:
                identity.name = "Ethernet";
                break;
            case NetworkType::vpn:
                identity.name = "VPN";
                break;
            case NetworkType::cellular:
                identity.name = "Cellular";
                break;
            default:
                identity.name = *interfaceName;
                break;
        }
        const bool wellKnown = identity.type == NetworkType::ethernet || identity.type == NetworkType::vpn ||
                               identity.type == NetworkType::cellular;
        identity.resolutionState = NetworkResolutionState::unavailable;
        identity.resolutionSource = "interface";
        identity.resolutionConfidence = wellKnown ? 0.8 : 0.5;
    } else {
        identity.id = "unknown-network";
        identity.name = "Unknown Network";
        identity.type = NetworkType::other;
        identity.resolutionState = NetworkResolutionState::unavailable;
        identity.resolutionSource = "none";
        identity.resolutionConfidence = 0.0;
    }
    return identity;
}

std::set<std::string> NetworkIdentityResolver::detectedWiFiInterfaces() {
    std::set<std::string> names;
    if (wifiClient_) {
        for (const auto& wifi : wifiClient_->interfaces()) {
            auto name = text::trimmed(wifi.interfaceName);
            if (!name.empty()) names.insert(std::move(name));
        }
    }
    if (auto fromTool = wifiInterfaceFromNetworkSetup()) names.insert(std::move(*fromTool));
    return names;
}

NetworkIdentityResolver::SSIDResolutionResult NetworkIdentityResolver::resolvedSSID(
    const std::optional<std::string>& primaryInterface, const std::set<std::string>& wifiInterfaces) {
    SSIDResolutionResult result;
    const auto found = [&](std::string ssid, std::string source, double confidence) {
        result.ssid = std::move(ssid);
        result.source = std::move(source);
        result.confidence = confidence;
        return result;
    };

    if (primaryInterface && wifiClient_) {
        if (const auto wifi = wifiClient_->interfaceWithName(*primaryInterface)) {
            if (auto ssid = sanitizedSSID(wifi->ssid, result.sawRedacted)) {
                return found(std::move(*ssid), "corewlan_primary", 1.0);
            }
        }
    }
    if (wifiClient_) {
        for (const auto& wifi : wifiClient_->interfaces()) {
            if (auto ssid = sanitizedSSID(wifi.ssid, result.sawRedacted)) {
                return found(std::move(*ssid), "corewlan_any", 0.95);
            }
        }
    }
    if (primaryInterface) {
        if (auto ssid = sanitizedSSID(ssidFromTools(*primaryInterface), result.sawRedacted)) {
            return found(std::move(*ssid), "networksetup_or_ipconfig_primary", 0.85);
        }
    }
    for (const auto& name : wifiInterfaces) {
        if (auto ssid = sanitizedSSID(ssidFromTools(name), result.sawRedacted)) {
            return found(std::move(*ssid), "networksetup_or_ipconfig_any", 0.8);
        }
    }
    result.source = result.sawRedacted ? "redacted" : "unavailable";
    result.confidence = 0.0;
    return result;
}

std::optional<std::string> NetworkIdentityResolver::ssidFromTools(const std::string& interface) {
    if (auto ssid = ssidFromNetworkSetup(interface)) return ssid;
    return ssidFromIPConfig(interface);
}

std::optional<std::string> NetworkIdentityResolver::wifiInterfaceFromNetworkSetup() {
    if (!toolRunner_) return std::nullopt;
    const auto output = toolRunner_->runCommand(toolPaths_.networksetup, {"-listallhardwareports"});
    return output ? wifiDeviceFromHardwarePorts(*output) : std::nullopt;
}

std::optional<std::string> NetworkIdentityResolver::ssidFromNetworkSetup(const std::string& interface) {
    if (!toolRunner_) return std::nullopt;
    const auto output = toolRunner_->runCommand(toolPaths_.networksetup, {"-getairportnetwork", interface});
    return output ? ssidFromAirportNetwork(*output) : std::nullopt;
}

std::optional<std::string> NetworkIdentityResolver::ssidFromIPConfig(const std::string& interface) {
    if (!toolRunner_) return std::nullopt;
    const auto output = toolRunner_->runCommand(toolPaths_.ipconfig, {"getsummary", interface});
    return output ? ssidFromIPConfigSummary(*output) : std::nullopt;
}

}  // namespace ostrel
