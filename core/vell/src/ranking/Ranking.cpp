#include "ranking/Ranking.hpp"

#include <sys/random.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <unordered_map>

namespace ostrel::vell {
namespace {

// Identifiers are short; mixing eight bytes at a time is several times faster than the library's
// byte-wise hash and spreads them as well. Unseeded, identifiers that all collide are easy to build
// (each word can undo the state the previous one left), and a request of them would make every
// lookup a walk through one bucket; a seed drawn per call keeps such collisions unpredictable. The
// output does not depend on the seed: entities are kept in first-seen order.
struct IdentifierHash {
    std::uint64_t seed = 0;

    std::size_t operator()(std::string_view id) const noexcept {
        std::uint64_t hash = (seed + 0x9E3779B97F4A7C15ULL) ^ id.size();
        std::size_t i = 0;
        for (; i + 8 <= id.size(); i += 8) {
            std::uint64_t word;
            std::memcpy(&word, id.data() + i, 8);
            hash = (hash ^ word) * 0xFF51AFD7ED558CCDULL;
            hash ^= hash >> 32;
        }
        std::uint64_t tail = 0;
        std::memcpy(&tail, id.data() + i, id.size() - i);
        hash = (hash ^ tail) * 0xC4CEB9FE1A85EC53ULL;
        return static_cast<std::size_t>(hash ^ (hash >> 29));
    }
};

std::uint64_t drawSeed() {
    std::uint64_t seed = 0;
    if (getrandom(&seed, sizeof seed, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof seed)) {
        // No entropy to be had: the stack's address still varies from process to process.
        seed = reinterpret_cast<std::uintptr_t>(&seed) * 0x9E3779B97F4A7C15ULL;
    }
    return seed;
}

}  // namespace

RankingResponse rankEntities(const RankingRequest& request) {
    const bool byNetwork = request.dimension == RankingDimension::network;
    RankingResponse response;
    std::vector<RankingItem>& items = response.items;
    std::unordered_map<std::string_view, std::size_t, IdentifierHash> indexById(0, IdentifierHash{drawSeed()});

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
