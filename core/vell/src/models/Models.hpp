#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "models/Timestamp.hpp"

namespace ostrel::vell {

enum class BucketSize { fiveMinutes, hour, day };
enum class RankingDimension { network, application };
enum class AlertLevel { normal, warning, danger };

// Texts of a request point into the text buffer that its reader owns (see ParsedRequest).
struct UsageSample {
    Timestamp timestamp;
    std::string_view networkId;
    std::optional<std::string_view> networkName;
    std::string_view appId;
    std::optional<std::string_view> appName;
    std::uint64_t rxBytes = 0;
    std::uint64_t txBytes = 0;
};

struct AggregateRequest {
    std::vector<UsageSample> samples;
    Timestamp start;
    Timestamp end;
    BucketSize bucketSize = BucketSize::hour;
};

struct BucketPoint {
    Timestamp bucketStart;
    std::uint64_t rxBytes = 0;
    std::uint64_t txBytes = 0;
};

struct AggregateResponse {
    std::uint64_t totalRxBytes = 0;
    std::uint64_t totalTxBytes = 0;
    std::vector<BucketPoint> points;
};

struct RankingRequest {
    std::vector<UsageSample> samples;
    RankingDimension dimension = RankingDimension::network;
    std::uint64_t limit = 0;
};

struct RankingItem {
    std::string_view id;
    std::string_view label;
    std::uint64_t rxBytes = 0;
    std::uint64_t txBytes = 0;
    std::uint64_t totalBytes = 0;
    double share = 0.0;
};

struct RankingResponse {
    std::vector<RankingItem> items;
};

struct ThresholdRequest {
    std::uint64_t totalBytes = 0;
    std::uint64_t warningThresholdBytes = 0;
    std::uint64_t dangerThresholdBytes = 0;
};

struct ThresholdResponse {
    AlertLevel level = AlertLevel::normal;
    bool exceedsWarning = false;
    bool exceedsDanger = false;
    double usageRatio = 0.0;
};

struct ErrorResponse {
    std::string error;
};

constexpr std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
    const std::uint64_t sum = a + b;
    return sum < a ? UINT64_MAX : sum;
}

}  // namespace ostrel::vell
