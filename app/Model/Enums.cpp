#include "Model/Enums.hpp"

#include <utility>

namespace ostrel {
namespace {

template <class E, std::size_t N>
std::optional<E> fromRaw(const std::array<std::pair<E, std::string_view>, N>& table, std::string_view raw) {
    for (const auto& [value, text] : table) {
        if (text == raw) {
            return value;
        }
    }
    return std::nullopt;
}

template <class E, std::size_t N>
std::string_view toRaw(const std::array<std::pair<E, std::string_view>, N>& table, E value) {
    for (const auto& [candidate, text] : table) {
        if (candidate == value) {
            return text;
        }
    }
    return {};
}

constexpr std::array<std::pair<NetworkType, std::string_view>, 7> networkTypes{{
    {NetworkType::wifi, "wifi"},
    {NetworkType::ethernet, "ethernet"},
    {NetworkType::hotspot, "hotspot"},
    {NetworkType::vpn, "vpn"},
    {NetworkType::cellular, "cellular"},
    {NetworkType::loopback, "loopback"},
    {NetworkType::other, "other"},
}};
constexpr std::array<std::pair<NetworkResolutionState, std::string_view>, 3> resolutionStates{{
    {NetworkResolutionState::resolved, "resolved"},
    {NetworkResolutionState::redacted, "redacted"},
    {NetworkResolutionState::unavailable, "unavailable"},
}};
constexpr std::array<std::pair<AlertLevel, std::string_view>, 3> alertLevels{{
    {AlertLevel::normal, "normal"},
    {AlertLevel::warning, "warning"},
    {AlertLevel::danger, "danger"},
}};
constexpr std::array<std::pair<TimeframePreset, std::string_view>, 5> timeframePresets{{
    {TimeframePreset::daily, "daily"},
    {TimeframePreset::weekly, "weekly"},
    {TimeframePreset::monthly, "monthly"},
    {TimeframePreset::yearly, "yearly"},
    {TimeframePreset::custom, "custom"},
}};
constexpr std::array<std::pair<TimeframePreset, std::string_view>, 5> timeframeTitles{{
    {TimeframePreset::daily, "Daily"},
    {TimeframePreset::weekly, "Weekly"},
    {TimeframePreset::monthly, "Monthly"},
    {TimeframePreset::yearly, "Yearly"},
    {TimeframePreset::custom, "Custom"},
}};
constexpr std::array<std::pair<MenuBarDisplayMode, std::string_view>, 3> displayModes{{
    {MenuBarDisplayMode::totalToday, "totalToday"},
    {MenuBarDisplayMode::compactTotal, "compactTotal"},
    {MenuBarDisplayMode::uploadDownload, "uploadDownload"},
}};
constexpr std::array<std::pair<MenuBarDisplayMode, std::string_view>, 3> displayModeTitles{{
    {MenuBarDisplayMode::totalToday, "Total Today"},
    {MenuBarDisplayMode::compactTotal, "Compact"},
    {MenuBarDisplayMode::uploadDownload, "Down / Up"},
}};
constexpr std::array<std::pair<LocationPermissionStatus, std::string_view>, 7> locationPermissionStatuses{{
    {LocationPermissionStatus::authorized, "authorized"},
    {LocationPermissionStatus::notDetermined, "notDetermined"},
    {LocationPermissionStatus::denied, "denied"},
    {LocationPermissionStatus::restricted, "restricted"},
    {LocationPermissionStatus::servicesDisabled, "servicesDisabled"},
    {LocationPermissionStatus::missingUsageDescription, "missingUsageDescription"},
    {LocationPermissionStatus::unknown, "unknown"},
}};

}  // namespace

std::string_view rawValue(NetworkType value) { return toRaw(networkTypes, value); }
std::string_view rawValue(NetworkResolutionState value) { return toRaw(resolutionStates, value); }
std::string_view rawValue(AlertLevel value) { return toRaw(alertLevels, value); }
std::string_view rawValue(TimeframePreset value) { return toRaw(timeframePresets, value); }
std::string_view rawValue(MenuBarDisplayMode value) { return toRaw(displayModes, value); }
std::string_view rawValue(LocationPermissionStatus value) { return toRaw(locationPermissionStatuses, value); }

std::optional<NetworkType> networkTypeFromRaw(std::string_view raw) { return fromRaw(networkTypes, raw); }
std::optional<NetworkResolutionState> resolutionStateFromRaw(std::string_view raw) {
    return fromRaw(resolutionStates, raw);
}
std::optional<AlertLevel> alertLevelFromRaw(std::string_view raw) { return fromRaw(alertLevels, raw); }
std::optional<TimeframePreset> timeframePresetFromRaw(std::string_view raw) { return fromRaw(timeframePresets, raw); }
std::optional<MenuBarDisplayMode> menuBarDisplayModeFromRaw(std::string_view raw) {
    return fromRaw(displayModes, raw);
}
std::optional<LocationPermissionStatus> locationPermissionStatusFromRaw(std::string_view raw) {
    return fromRaw(locationPermissionStatuses, raw);
}

std::string_view title(TimeframePreset value) { return toRaw(timeframeTitles, value); }
std::string_view title(MenuBarDisplayMode value) { return toRaw(displayModeTitles, value); }

}  // namespace ostrel
