#include "Services/AnalyticsService.hpp"

#include <algorithm>
#include <map>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "Model/SaturatingAdd.hpp"
#include "Model/TimeframeRange.hpp"
#include "Services/LocalAggregation.hpp"

namespace ostrel {
namespace {

using SampleKey = std::string UsageSampleRecord::*;

// The samples of a range moved into one run per network or application, each run in the
// samples' order: one pass, and each run is handed on without copies.
class SampleRuns {
public:
    SampleRuns(std::vector<UsageSampleRecord> samples, SampleKey key) {
        std::unordered_map<std::string_view, std::size_t> groupOf;
        std::vector<std::size_t> group(samples.size());
        std::vector<std::size_t> next;  // each run's size, then where its next sample goes
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const auto [found, added] = groupOf.try_emplace(samples[i].*key, next.size());
            if (added) {
                next.push_back(0);
            }
            group[i] = found->second;
            ++next[found->second];
        }
        std::size_t start = 0;
        for (auto& slot : next) {
            start += std::exchange(slot, start);
        }
        const std::vector<std::size_t> starts = next;
        samples_.resize(samples.size());
        for (std::size_t i = 0; i < samples.size(); ++i) {
            samples_[next[group[i]]++] = std::move(samples[i]);
        }
        for (std::size_t g = 0; g < starts.size(); ++g) {
            const std::span<const UsageSampleRecord> run(samples_.data() + starts[g], next[g] - starts[g]);
            runs_.emplace(run.front().*key, run);
        }
    }

    // Empty for a key no sample has.
    std::span<const UsageSampleRecord> run(const std::string& key) const {
        const auto found = runs_.find(key);
        return found == runs_.end() ? std::span<const UsageSampleRecord>{} : found->second;
    }

private:
    std::vector<UsageSampleRecord> samples_;
    std::unordered_map<std::string_view, std::span<const UsageSampleRecord>> runs_;
};

std::vector<TrendPoint> lastPoints(std::vector<TrendPoint> points) {
    if (points.size() > AnalyticsService::sparklinePointCount) {
        points.erase(points.begin(), points.end() - AnalyticsService::sparklinePointCount);
    }
    return points;
}

// Largest total first; equal totals keep their time order.
std::vector<TrendPoint> busiestPeriods(std::vector<TrendPoint> points) {
    std::stable_sort(points.begin(), points.end(), [](const TrendPoint& a, const TrendPoint& b) {
        return saturatingAdd(a.rxBytes, a.txBytes) > saturatingAdd(b.rxBytes, b.txBytes);
    });
    if (points.size() > AnalyticsService::busiestPeriodCount) {
        points.resize(AnalyticsService::busiestPeriodCount);
    }
    return points;
}

UsageSummary sumOf(const std::vector<TrendPoint>& points) {
    UsageSummary summary;
    for (const TrendPoint& point : points) {
        summary.rxBytes = saturatingAdd(summary.rxBytes, point.rxBytes);
        summary.txBytes = saturatingAdd(summary.txBytes, point.txBytes);
    }
    return summary;
}

// The repository's queries of one kind of entity: networks or applications.
struct EntityQueries {
    SampleKey sampleKey;
    std::vector<TrendPoint> (OstrelRepository::*rollupTrend)(const std::string&, const DateRange&);
    std::vector<RankedUsage> (OstrelRepository::*rollupTop)(const std::string&, const DateRange&, std::int64_t);
    std::vector<RankedUsage> (OstrelRepository::*rawTop)(const std::string&, const DateRange&, std::int64_t,
                                                         const RawReading&);
};

// Totals and rankings are the same over any rows that stand for the samples.
const RawReading kTotalsOnly = RawReading::wholeHoursFromRollups(RowBuckets::none);

constexpr EntityQueries kNetworkQueries{
    &UsageSampleRecord::networkID, &OstrelRepository::fetchNetworkTrendFromDailyRollup,
    &OstrelRepository::fetchTopAppsForNetworkFromDailyRollup, &OstrelRepository::fetchTopAppsForNetwork};
constexpr EntityQueries kAppQueries{&UsageSampleRecord::appID, &OstrelRepository::fetchAppTrendFromDailyRollup,
                                    &OstrelRepository::fetchTopNetworksForAppFromDailyRollup,
                                    &OstrelRepository::fetchTopNetworksForApp};

template <class Item>
struct ListQueries {
    SampleKey sampleKey;
    std::vector<Item> (OstrelRepository::*rollupList)(const DateRange&);
    std::map<std::string, std::vector<TrendPoint>> (OstrelRepository::*rollupTrends)(const DateRange&);
    std::vector<Item> (OstrelRepository::*rawList)(const DateRange&, const RawReading&);
};

constexpr ListQueries<NetworkListItem> kNetworkLists{
    &UsageSampleRecord::networkID, &OstrelRepository::fetchNetworkListFromDailyRollup,
    &OstrelRepository::fetchNetworkTrendMapFromDailyRollup, &OstrelRepository::fetchNetworkList};
constexpr ListQueries<ApplicationListItem> kAppLists{
    &UsageSampleRecord::appID, &OstrelRepository::fetchApplicationListFromDailyRollup,
    &OstrelRepository::fetchAppTrendMapFromDailyRollup, &OstrelRepository::fetchApplicationList};

// The repository's items with their sparklines: one trend-map query on the roll-up path; on
// the raw path one fetch of the range's samples, grouped in memory and aggregated by day.
template <class Item, class Aggregate>
std::vector<Item> listWithSparklines(OstrelRepository& repository, const ListQueries<Item>& queries,
                                     const DateRange& range, bool rollup, const RawReading& dayBuckets,
                                     Aggregate&& aggregate) {
    if (rollup) {
        auto items = (repository.*queries.rollupList)(range);
        auto trends = (repository.*queries.rollupTrends)(range);
        for (auto& item : items) {
            if (const auto found = trends.find(item.id); found != trends.end()) {
                item.sparkline = lastPoints(std::move(found->second));
            }
        }
        return items;
    }
    auto items = (repository.*queries.rawList)(range, kTotalsOnly);
    const SampleRuns runs(repository.fetchSamples(range, dayBuckets), queries.sampleKey);
    for (auto& item : items) {
        item.sparkline = lastPoints(aggregate(runs.run(item.id)).trend);
    }
    return items;
}

struct DetailParts {
    UsageSummary summary;
    std::vector<TrendPoint> trend;
    std::vector<RankedUsage> ranked;
    std::vector<TrendPoint> busiest;
};

// The summary, trend and ranked rows of one network or application, and its busiest periods.
template <class Aggregate>
DetailParts detailParts(OstrelRepository& repository, const EntityQueries& queries, const std::string& id,
                        const DateRange& range, bool rollup, const RawReading& trendBuckets, Aggregate&& aggregate) {
    DetailParts parts;
    if (rollup) {
        parts.trend = (repository.*queries.rollupTrend)(id, range);
        parts.summary = sumOf(parts.trend);
        parts.ranked = (repository.*queries.rollupTop)(id, range, AnalyticsService::detailRankLimit);
    } else {
        auto samples = repository.fetchSamples(range, trendBuckets);
        std::erase_if(samples, [&](const UsageSampleRecord& sample) { return sample.*queries.sampleKey != id; });
        auto aggregated = aggregate(std::span<const UsageSampleRecord>(samples));
        parts.summary = aggregated.summary;
        parts.trend = std::move(aggregated.trend);
        parts.ranked = (repository.*queries.rawTop)(id, range, AnalyticsService::detailRankLimit, kTotalsOnly);
    }
    parts.busiest = busiestPeriods(parts.trend);
    return parts;
}

}  // namespace

AnalyticsService::AnalyticsService(std::shared_ptr<OstrelRepository> repositoryIn,
                                   std::shared_ptr<const VellCoreBridge> vellCoreIn, Clock clockIn)
    : repository(std::move(repositoryIn)), vellCore(std::move(vellCoreIn)), clock(std::move(clockIn)) {}

AnalyticsService::Source AnalyticsService::source(TimeframePreset timeframe,
                                                  const std::optional<DateRange>& customRange) const {
    Source from{clock(), Calendar::current(), {}, false, VellBucketSize::hour};
    from.range = resolvedRange(timeframe, customRange, from.now, from.calendar);
    switch (timeframe) {
        case TimeframePreset::daily:
            break;
        case TimeframePreset::weekly:
        case TimeframePreset::monthly:
        case TimeframePreset::yearly:
            from.rollup = true;
            break;
        case TimeframePreset::custom:
            from.rollup = from.range.end - from.range.start >= rollupSpan;
            from.trendBucket = VellBucketSize::day;
            break;
    }
    return from;
}

RawReading AnalyticsService::samplesFor(VellBucketSize bucket) const {
    if (!vellCore->isAvailable()) return kTotalsOnly;
    return RawReading::wholeHoursFromRollups(bucket == VellBucketSize::day ? RowBuckets::utcDay : RowBuckets::utcHour);
}

VellAggregation AnalyticsService::aggregate(std::span<const UsageSampleRecord> samples, const DateRange& range,
                                            VellBucketSize bucket, const Calendar& calendar) const {
    VellSamples prepared = vellCore->prepare(samples);
    return aggregate(prepared, samples, range, bucket, calendar);
}

VellAggregation AnalyticsService::aggregate(VellSamples& prepared, std::span<const UsageSampleRecord> samples,
                                            const DateRange& range, VellBucketSize bucket,
                                            const Calendar& calendar) const {
    if (auto answer = vellCore->aggregate(prepared, range, bucket)) {
        return std::move(*answer);
    }
    return aggregateLocally(samples, bucket, calendar);
}

std::vector<NetworkListItem> AnalyticsService::networkList(TimeframePreset timeframe,
                                                           const std::optional<DateRange>& customRange) const {
    const Source from = source(timeframe, customRange);
    return listWithSparklines(
        *repository, kNetworkLists, from.range, from.rollup, samplesFor(VellBucketSize::day),
        [&](auto samples) { return aggregate(samples, from.range, VellBucketSize::day, from.calendar); });
}

std::vector<ApplicationListItem> AnalyticsService::appList(TimeframePreset timeframe,
                                                           const std::optional<DateRange>& customRange) const {
    const Source from = source(timeframe, customRange);
    return listWithSparklines(
        *repository, kAppLists, from.range, from.rollup, samplesFor(VellBucketSize::day),
        [&](auto samples) { return aggregate(samples, from.range, VellBucketSize::day, from.calendar); });
}

std::optional<NetworkDetailModel> AnalyticsService::networkDetail(const std::string& networkID,
                                                                  TimeframePreset timeframe,
                                                                  const std::optional<DateRange>& customRange) const {
    const Source from = source(timeframe, customRange);
    auto identity = repository->fetchNetworkIdentity(networkID);
    if (!identity) {
        return std::nullopt;
    }
    auto parts =
        detailParts(*repository, kNetworkQueries, networkID, from.range, from.rollup, samplesFor(from.trendBucket),
                    [&](auto samples) { return aggregate(samples, from.range, from.trendBucket, from.calendar); });
    return NetworkDetailModel{std::move(identity->id), std::move(identity->name), identity->type,
                              parts.summary,           std::move(parts.trend),    std::move(parts.ranked),
                              std::move(parts.busiest)};
}

std::optional<ApplicationDetailModel> AnalyticsService::appDetail(const std::string& appID, TimeframePreset timeframe,
                                                                  const std::optional<DateRange>& customRange) const {
    const Source from = source(timeframe, customRange);
    auto application = repository->fetchApplication(appID);
    if (!application) {
        return std::nullopt;
    }
    auto parts =
        detailParts(*repository, kAppQueries, appID, from.range, from.rollup, samplesFor(from.trendBucket),
                    [&](auto samples) { return aggregate(samples, from.range, from.trendBucket, from.calendar); });
    return ApplicationDetailModel{std::move(application->id),
                                  std::move(application->bundleID),
                                  std::move(application->name),
                                  std::move(application->iconPath),
                                  parts.summary,
                                  std::move(parts.trend),
                                  std::move(parts.ranked),
                                  std::move(parts.busiest)};
}

}  // namespace ostrel
