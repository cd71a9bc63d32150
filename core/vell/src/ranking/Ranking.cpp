#include "ranking/Ranking.hpp"

#include <algorithm>
#include <string_view>
#include <unordered_map>

namespace ostrel::vell {

RankingResponse rankEntities(const RankingRequest& request) {
    const bool byNetwork = request.dimension == RankingDimension::network;
    RankingResponse response;
    std::vector<RankingItem>& items = response.items;
    std::unordered_map<std::string_view, std::size_t> indexById;

    for (const UsageSample& sample : request.samples) {
        const std::string_view id = byNetwork ? sample.networkId : sample.appId;
        const auto& name = byNetwork ? sample.networkName : sample.appName;
        const auto [entry, added] = indexById.try_emplace(id, items.size());
        if (added) {
            RankingItem item;
            item.id = id;
            item.label = name.value_or(id);
            items.push_back(item);
        }
        RankingItem& item = items[entry->second];
        item.rxBytes = saturatingAdd(item.rxBytes, sample.rxBytes);
        item.txBytes = saturatingAdd(item.txBytes, sample.txBytes);
    }

    std::uint64_t grandTotal = 0;
    for (RankingItem& item : items) {
        item.totalBytes = saturatingAdd(item.rxBytes, item.txBytes);
        grandTotal = saturatingAdd(grandTotal, item.totalBytes);
    }
    for (RankingItem& item : items) {
        item.share = grandTotal > 0 ? static_cast<double>(item.totalBytes) / static_cast<double>(grandTotal) : 0.0;
    }
    std::stable_sort(items.begin(), items.end(),
                     [](const RankingItem& a, const RankingItem& b) { return a.totalBytes > b.totalBytes; });
    if (request.limit > 0 && items.size() > request.limit) items.resize(static_cast<std::size_t>(request.limit));
    return response;
}

}  // namespace ostrel::vell
