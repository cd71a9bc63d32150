#include "Features/Preferences/LocationStatusPresentation.hpp"

namespace ostrel {
namespace {

QString fromRaw(std::string_view raw) {
    return QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size()));
}

}  // namespace

LocationStatusPresentation presentationOf(LocationPermissionStatus status) {
    using S = LocationPermissionStatus;
    switch (status) {
        case S::authorized:
            return {"Allowed",
                    StatusColor::green,
                    "Ostrel can request SSID context from Linux when available.",
                    false,
                    false,
                    true};
        case S::notDetermined:
            return {"Not Requested",
                    StatusColor::orange,
                    "Grant location permission so Linux can expose Wi-Fi/hotspot SSID.",
                    true,
                    true,
                    true};
        case S::denied:
            return {"Denied",
                    StatusColor::red,
                    "Location permission is denied. Enable it in system settings to show SSID.",
                    false,
                    true,
                    true};
        case S::restricted:
            return {"Restricted",
                    StatusColor::red,
                    "Location permission is restricted by policy on this computer.",
                    false,
                    true,
                    true};
        case S::servicesDisabled:
            return {"Location Services Off",
                    StatusColor::red,
                    "Location Services are disabled globally in system settings.",
                    false,
                    true,
                    true};
        case S::missingUsageDescription:
            return {"App Config Missing",
                    StatusColor::red,
                    "This build is missing location usage description metadata, so Linux cannot prompt.",
                    false,
                    true,
                    true};
        case S::unknown:
            break;
    }
    return {"Unknown", Hierarchy::secondary, "Permission state could not be determined yet.", false, false, true};
}

QString activeNetworkDetailsPrefix(const NetworkIdentity& network) {
    return "State: " + fromRaw(rawValue(network.resolutionState)) +
           " | Source: " + QString::fromStdString(network.resolutionSource) + " | Interface: ";
}

}  // namespace ostrel
