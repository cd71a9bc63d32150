#include "PlatformAdapters/WifiToolOutput.hpp"

#include "PlatformAdapters/TextRules.hpp"

namespace ostrel {

std::optional<std::string> wifiDeviceFromHardwarePorts(std::string_view output) {
    const auto lines = text::nonEmptyLines(output);
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        if (!text::startsWith(lines[i], "Hardware Port: ") || !text::contains(text::lowercased(lines[i]), "wi-fi")) {
            continue;
        }
        const auto device = text::trimmedSpacesAndTabs(lines[i + 1]);
        if (text::startsWith(device, "Device:")) return text::trimmed(text::replacingAll(device, "Device:", ""));
    }
    return std::nullopt;
}

std::optional<std::string> ssidFromAirportNetwork(std::string_view output) {
    static constexpr std::string_view marker = "Current Wi-Fi Network:";
    const auto whole = text::trimmed(output);
    if (!text::contains(text::lowercased(whole), text::lowercased(marker))) return std::nullopt;
    // The last piece after splitting at the exact marker; the whole text when the marker only
    // matched in another letter case.
    const auto last = whole.rfind(marker);
    return text::trimmed(last == std::string::npos ? std::string_view(whole)
                                                   : std::string_view(whole).substr(last + marker.size()));
}

std::optional<std::string> ssidFromIPConfigSummary(std::string_view output) {
    for (const auto line : text::nonEmptyLines(output)) {
        const auto trimmedLine = text::trimmedSpacesAndTabs(line);
        if (text::startsWith(trimmedLine, "SSID :"))
            return text::trimmed(text::replacingAll(trimmedLine, "SSID :", ""));
    }
    return std::nullopt;
}

}  // namespace ostrel
