#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Model/Date.hpp"
#include "Model/Enums.hpp"

namespace ostrel {

// One measured slice of traffic of one application on one network.
struct UsageSampleRecord {
    std::string id;  // upper-case UUID text
    Date timestamp{};
    std::string networkID;
    std::string networkName;
    NetworkType networkType = NetworkType::other;
    std::string appID;
    std::string appName;
    std::int64_t rxBytes = 0;
    std::int64_t txBytes = 0;
    std::string source;  // "nettop", "fallback" or "mock"
    double attributionConfidence = 0;

    bool operator==(const UsageSampleRecord&) const = default;
};

// One application's share of one tick before it becomes a record.
struct AppUsageAttribution {
    std::string appID;
    std::string bundleID;
    std::string name;
    std::optional<std::string> iconPath;
    std::int64_t rxBytes = 0;
    std::int64_t txBytes = 0;
    double confidence = 0;
    std::string source;

    bool operator==(const AppUsageAttribution&) const = default;
};

// A network as resolved and as stored.
struct NetworkIdentity {
    std::string id;
    std::string name;
    NetworkType type = NetworkType::other;
    bool isActive = false;
    std::optional<std::string> interfaceName;
    NetworkResolutionState resolutionState = NetworkResolutionState::unavailable;
    std::string resolutionSource;
    double resolutionConfidence = 0;

    bool operator==(const NetworkIdentity&) const = default;
};

// No order is enforced: a range may start after it ends.
struct DateRange {
    Date start{};
    Date end{};

    bool operator==(const DateRange&) const = default;
};

struct UsageSummary {
    std::int64_t rxBytes = 0;
    std::int64_t txBytes = 0;

    bool operator==(const UsageSummary&) const = default;
};

// `timestamp` is the start of the bucket the point sums.
struct TrendPoint {
    Date timestamp{};
    std::int64_t rxBytes = 0;
    std::int64_t txBytes = 0;

    bool operator==(const TrendPoint&) const = default;
};

struct RankedUsage {
    std::string id;
    std::string title;
    std::int64_t rxBytes = 0;
    std::int64_t txBytes = 0;
    double share = 0;  // fraction of the ranked total, 0 to 1

    bool operator==(const RankedUsage&) const = default;
};

struct ThresholdEvaluation {
    AlertLevel level = AlertLevel::normal;
    bool exceedsWarning = false;
    bool exceedsDanger = false;
    double usageRatio = 0;

    bool operator==(const ThresholdEvaluation&) const = default;
};

struct OstrelSettings {
    MenuBarDisplayMode menuBarDisplayMode = MenuBarDisplayMode::totalToday;
    std::int64_t warningThresholdBytes = 5368709120;   // 5 GiB
    std::int64_t dangerThresholdBytes = 10737418240;   // 10 GiB
    bool notificationsEnabled = true;
    bool launchAtLogin = false;

    bool operator==(const OstrelSettings&) const = default;
};

}  // namespace ostrel
