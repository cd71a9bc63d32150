#include <chrono>
#include <exception>
#include <type_traits>
#include <utility>

#include "Model/TimeframeRange.hpp"
#include "Services/OstrelDataService.hpp"
#include "Services/SecondsText.hpp"
#include "Services/TodaysLeaders.hpp"

namespace ostrel {
namespace {

template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};

// An age of exactly the time to live is young still, and so is a negative one (a clock set back).
bool isYoung(Date updatedAt, Date now, double timeToLive) {
    return std::chrono::duration<double>(now - updatedAt).count() <= timeToLive;
}

}  // namespace

std::string OstrelDataService::overviewCacheKey(TimeframePreset timeframe,
                                                const std::optional<DateRange>& customRange) {
    if (timeframe != TimeframePreset::custom || !customRange) return std::string(rawValue(timeframe));
    return "custom:" + secondsSince1970Text(customRange->start) + ":" + secondsSince1970Text(customRange->end);
}

std::string OstrelDataService::detailCacheKey(const std::string& id, TimeframePreset timeframe,
                                              const std::optional<DateRange>& customRange) {
    return id + ":" + overviewCacheKey(timeframe, customRange);
}

// The answer for `key` from `cache` while it is young, else computed (without the lock) and
// stored as of the moment the load began. A computation that gives nothing stores nothing.
template <class Value, class Compute>
auto OstrelDataService::cachedLoad(CacheMap<Value> Caches::*cache, const std::string& key, double timeToLive,
                                   bool forceRefresh, Compute compute) {
    using Answer = decltype(compute());
    const Date now = clock_();
    if (!forceRefresh) {
        std::lock_guard lock(cacheMutex_);
        const auto& entries = caches_.*cache;
        if (const auto found = entries.find(key);
            found != entries.end() && isYoung(found->second.updatedAt, now, timeToLive)) {
            return Answer(found->second.value);
        }
    }
    Answer answer = compute();
    const Value* value = nullptr;
    if constexpr (IsOptional<Answer>::value) {
        value = answer ? &*answer : nullptr;
    } else {
        value = &answer;
    }
    if (value != nullptr) {
        std::lock_guard lock(cacheMutex_);
        (caches_.*cache).insert_or_assign(key, TimedCache<Value>{*value, now});
    }
    return answer;
}

OverviewSnapshot OstrelDataService::loadOverview(TimeframePreset timeframe, const std::optional<DateRange>& customRange,
                                                 bool forceRefresh) {
    return cachedLoad(&Caches::overview, overviewCacheKey(timeframe, customRange), overviewCacheTTL, forceRefresh,
                      [&] { return computeOverview(timeframe, customRange); });
}

OverviewSnapshot OstrelDataService::computeOverview(TimeframePreset timeframe,
                                                    const std::optional<DateRange>& customRange) {
    const OstrelSettings current = settings();
    OverviewSnapshot snapshot = analytics_->overview(timeframe, customRange, current);
    const ThresholdEvaluation evaluation =
        analytics_->recordThresholdEventIfNeeded(snapshot.summary, timeframe, current);
    if (current.notificationsEnabled && evaluation.level != AlertLevel::normal) {
        notificationService_->notifyThreshold(evaluation.level, snapshot.summary);
    }
    snapshot.threshold = evaluation;
    return snapshot;
}

std::vector<NetworkListItem> OstrelDataService::loadNetworks(TimeframePreset timeframe,
                                                             const std::optional<DateRange>& customRange,
                                                             bool forceRefresh) {
    return cachedLoad(&Caches::networks, overviewCacheKey(timeframe, customRange), listCacheTTL, forceRefresh,
                      [&] { return analytics_->networkList(timeframe, customRange); });
}

std::vector<ApplicationListItem> OstrelDataService::loadApplications(TimeframePreset timeframe,
                                                                     const std::optional<DateRange>& customRange,
                                                                     bool forceRefresh) {
    return cachedLoad(&Caches::applications, overviewCacheKey(timeframe, customRange), listCacheTTL, forceRefresh,
                      [&] { return analytics_->appList(timeframe, customRange); });
}

std::optional<NetworkDetailModel> OstrelDataService::loadNetworkDetail(const std::string& networkID,
                                                                       TimeframePreset timeframe,
                                                                       const std::optional<DateRange>& customRange,
                                                                       bool forceRefresh) {
    return cachedLoad(&Caches::networkDetail, detailCacheKey(networkID, timeframe, customRange), detailCacheTTL,
                      forceRefresh, [&] { return analytics_->networkDetail(networkID, timeframe, customRange); });
}

std::optional<ApplicationDetailModel> OstrelDataService::loadApplicationDetail(
    const std::string& appID, TimeframePreset timeframe, const std::optional<DateRange>& customRange,
    bool forceRefresh) {
    return cachedLoad(&Caches::applicationDetail, detailCacheKey(appID, timeframe, customRange), detailCacheTTL,
                      forceRefresh, [&] { return analytics_->appDetail(appID, timeframe, customRange); });
}

MenuBarSnapshot OstrelDataService::loadMenuBarSnapshot() {
    const Date now = clock_();
    {
        std::lock_guard lock(cacheMutex_);
        if (caches_.menuBar && isYoung(caches_.menuBar->updatedAt, now, menuBarCacheTTL)) {
            return caches_.menuBar->value;
        }
    }
    MenuBarSnapshot snapshot = buildMenuBarSnapshot();
    std::lock_guard lock(cacheMutex_);
    caches_.menuBar = TimedCache<MenuBarSnapshot>{snapshot, now};
    return snapshot;
}

MenuBarSnapshot OstrelDataService::buildMenuBarSnapshot() {
    const DateRange today = resolvedRange(TimeframePreset::daily, std::nullopt, clock_(), Calendar::current());
    // Today's raw samples, with whole past hours taken from the hourly roll-ups where those
    // provably hold the same sums: a cost that does not grow with the day's traffic, at every
    // batch, every few seconds.
    const auto reading = RawReading::wholeHoursFromRollups(RowBuckets::none);
    MenuBarSnapshot snapshot;
    snapshot.summary = repository_->fetchSummary(today, reading);
    TodaysLeaders leaders = todaysLeaders(*repository_, today);
    snapshot.activeNetwork = std::move(leaders.activeNetwork);
    snapshot.topAppToday = std::move(leaders.topApp);
    snapshot.topNetworkToday = std::move(leaders.topNetwork);
    return snapshot;
}

// The sampler wrote a batch or changed the active network: the menu-bar answer is rebuilt off the
// main thread, then the observers hear of it, also when the rebuild failed. The other caches only
// age.
void OstrelDataService::handleSamplerBatch() {
    workerQueue_.async([weak = weak_from_this()] {
        const auto service = weak.lock();
        if (!service) return;
        try {
            const Date began = service->clock_();
            MenuBarSnapshot snapshot = service->buildMenuBarSnapshot();
            std::lock_guard lock(service->cacheMutex_);
            service->caches_.menuBar = TimedCache<MenuBarSnapshot>{std::move(snapshot), began};
        } catch (const std::exception& error) {
            service->log_->log(std::string("Menu bar cache refresh failed: ") + error.what());
        }
        service->mainQueue_->async([weak] {
            if (auto alive = weak.lock()) alive->publishUpdate();
        });
    });
}

void OstrelDataService::clearAnalyticsCaches(bool keepMenuBar) {
    std::lock_guard lock(cacheMutex_);
    if (!keepMenuBar) caches_.menuBar.reset();
    caches_ = Caches{std::move(caches_.menuBar), {}, {}, {}, {}, {}};
}

}  // namespace ostrel
