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
    return {unattributed(totalRxBytes, totalTxBytes)};
}

AppUsageAttribution TrafficAttributionLayer::unattributed(std::int64_t rxBytes, std::int64_t txBytes) {
    AppUsageAttribution unattributed;
    unattributed.appID = "com.ostrel.unattributed";
    unattributed.bundleID = "com.ostrel.unattributed";
    unattributed.name = "Unattributed";
    unattributed.rxBytes = rxBytes;
    unattributed.txBytes = txBytes;
    unattributed.confidence = 0.2;
    unattributed.source = "fallback";
    return unattributed;
}

}  // namespace ostrel
