#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ostrel {

// Readers of the outputs of `networksetup` and `ipconfig`.

// `networksetup -listallhardwareports`: the device of the first Wi-Fi hardware port.
std::optional<std::string> wifiDeviceFromHardwarePorts(std::string_view output);
// `networksetup -getairportnetwork IFACE`: the joined network's name (possibly empty).
std::optional<std::string> ssidFromAirportNetwork(std::string_view output);
// `ipconfig getsummary IFACE`: the value of the first "SSID :" line.
std::optional<std::string> ssidFromIPConfigSummary(std::string_view output);

}  // namespace ostrel
