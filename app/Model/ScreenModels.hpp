#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Model/Records.hpp"

namespace ostrel {

struct NetworkListItem {
    std::string id;
    std::string name;
    NetworkType type = NetworkType::other;
    std::int64_t totalBytes = 0;
    bool isActive = false;
    std::vector<TrendPoint> sparkline;

    bool operator==(const NetworkListItem&) const = default;
};

struct ApplicationListItem {
    std::string id;
    std::string bundleID;
    std::string name;
    std::optional<std::string> iconPath;
    std::int64_t totalBytes = 0;
    double share = 0;
    std::vector<TrendPoint> sparkline;

    bool operator==(const ApplicationListItem&) const = default;
};

struct NetworkDetailModel {
    std::string networkID;
    std::string name;
    NetworkType type = NetworkType::other;
    UsageSummary summary;
    std::vector<TrendPoint> trend;
    std::vector<RankedUsage> topApps;
    std::vector<TrendPoint> busiestHours;

    bool operator==(const NetworkDetailModel&) const = default;
};

struct ApplicationDetailModel {
    std::string appID;
    std::string bundleID;
    std::string name;
    std::optional<std::string> iconPath;
    UsageSummary summary;
    std::vector<TrendPoint> trend;
    std::vector<RankedUsage> byNetwork;
    std::vector<TrendPoint> busiestHours;

    bool operator==(const ApplicationDetailModel&) const = default;
};

struct OverviewSnapshot {
    TimeframePreset timeframe = TimeframePreset::daily;
    DateRange range;
    UsageSummary summary;
    std::vector<TrendPoint> trend;
    std::vector<RankedUsage> topNetworks;
    std::vector<RankedUsage> topApplications;
    std::optional<std::string> activeNetwork;
    std::optional<std::string> topAppToday;
    std::optional<std::string> topNetworkToday;
    ThresholdEvaluation threshold;

    bool operator==(const OverviewSnapshot&) const = default;
};

struct MenuBarSnapshot {
    UsageSummary summary;
    std::optional<std::string> activeNetwork;
    std::optional<std::string> topAppToday;
    std::optional<std::string> topNetworkToday;
};

}  // namespace ostrel
