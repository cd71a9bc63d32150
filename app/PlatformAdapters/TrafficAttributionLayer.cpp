#include "PlatformAdapters/TrafficAttributionLayer.hpp"

#include <utility>

namespace ostrel {

TrafficAttributionLayer::TrafficAttributionLayer(std::vector<std::shared_ptr<TrafficAttributionProviding>> providers)
    : providers_(std::move(providers)) {}

std::vector<AppUsageAttribution> TrafficAttributionLayer::attributedUsage(std::int64_t totalRxBytes,
                                                                          std::int64_t totalTxBytes) {
    for (const auto& provider : providers_) {
        if (!provider) continue;
        auto result = provider->attributedUsage(totalRxBytes, totalTxBytes);
        if (!result.empty()) return result;
    }
    AppUsageAttribution unattributed;
    unattributed.appID = "com.ostrel.unattributed";
    unattributed.bundleID = "com.ostrel.unattributed";
    unattributed.name = "Unattributed";
    unattributed.rxBytes = totalRxBytes;
    unattributed.txBytes = totalTxBytes;
    unattributed.confidence = 0.2;
    unattributed.source = "fallback";
    return {unattributed};
}

}  // namespace ostrel
