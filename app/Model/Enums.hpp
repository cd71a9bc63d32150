#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace ostrel {

// Raw strings are what the database stores; building from a string takes only an exact match.

enum class NetworkType { wifi, ethernet, hotspot, vpn, cellular, loopback, other };
enum class NetworkResolutionState { resolved, redacted, unavailable };
enum class AlertLevel { normal, warning, danger };
enum class TimeframePreset { daily, weekly, monthly, yearly, custom };
enum class MenuBarDisplayMode { totalToday, compactTotal, uploadDownload };
enum class LocationPermissionStatus {
    authorized,
    notDetermined,
    denied,
    restricted,
    servicesDisabled,
    missingUsageDescription,
    unknown
};

inline constexpr std::array allNetworkTypes{NetworkType::wifi,     NetworkType::ethernet, NetworkType::hotspot,
                                            NetworkType::vpn,      NetworkType::cellular, NetworkType::loopback,
                                            NetworkType::other};
inline constexpr std::array allResolutionStates{NetworkResolutionState::resolved, NetworkResolutionState::redacted,
                                                NetworkResolutionState::unavailable};
inline constexpr std::array allTimeframePresets{TimeframePreset::daily, TimeframePreset::weekly,
                                                TimeframePreset::monthly, TimeframePreset::yearly,
                                                TimeframePreset::custom};
inline constexpr std::array allMenuBarDisplayModes{MenuBarDisplayMode::totalToday, MenuBarDisplayMode::compactTotal,
                                                   MenuBarDisplayMode::uploadDownload};
inline constexpr std::array allLocationPermissionStatuses{
    LocationPermissionStatus::authorized,       LocationPermissionStatus::notDetermined,
    LocationPermissionStatus::denied,           LocationPermissionStatus::restricted,
    LocationPermissionStatus::servicesDisabled, LocationPermissionStatus::missingUsageDescription,
    LocationPermissionStatus::unknown};

std::string_view rawValue(NetworkType value);
std::string_view rawValue(NetworkResolutionState value);
std::string_view rawValue(AlertLevel value);
std::string_view rawValue(TimeframePreset value);
std::string_view rawValue(MenuBarDisplayMode value);
std::string_view rawValue(LocationPermissionStatus value);

std::optional<NetworkType> networkTypeFromRaw(std::string_view raw);
std::optional<NetworkResolutionState> resolutionStateFromRaw(std::string_view raw);
std::optional<AlertLevel> alertLevelFromRaw(std::string_view raw);
std::optional<TimeframePreset> timeframePresetFromRaw(std::string_view raw);
std::optional<MenuBarDisplayMode> menuBarDisplayModeFromRaw(std::string_view raw);
std::optional<LocationPermissionStatus> locationPermissionStatusFromRaw(std::string_view raw);

// Display names for pickers and labels.
std::string_view title(TimeframePreset value);
std::string_view title(MenuBarDisplayMode value);

}  // namespace ostrel
