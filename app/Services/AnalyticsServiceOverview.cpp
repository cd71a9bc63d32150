#include <exception>
#include <utility>

#include "Model/SaturatingAdd.hpp"
#include "Model/TimeframeRange.hpp"
#include "Services/AnalyticsService.hpp"
#include "Services/TodaysLeaders.hpp"

namespace ostrel {
namespace {

// Rankings are the same over any rows that stand for the samples.
const RawReading kTotalsOnly = RawReading::wholeHoursFromRollups(RowBuckets::none);

}  // namespace

OverviewSnapshot AnalyticsService::overview(TimeframePreset timeframe, const std::optional<DateRange>& customRange,
                                            const OstrelSettings& settings) const {
    const Source from = source(timeframe, customRange);
    // Today runs from the start of the current local day to the same current time.
    const DateRange today = resolvedRange(TimeframePreset::daily, std::nullopt, from.now, from.calendar);
    OverviewSnapshot snapshot;
    snapshot.timeframe = timeframe;
    snapshot.range = from.range;
    if (from.rollup) {
        snapshot.summary = repository->fetchSummaryFromDailyRollup(from.range);
        snapshot.trend = repository->fetchTrendFromDailyRollup(from.range);
        snapshot.topNetworks = repository->fetchTopNetworksFromDailyRollup(from.range, overviewRankLimit);
        snapshot.topApplications = repository->fetchTopApplicationsFromDailyRollup(from.range, overviewRankLimit);
    } else {
        auto samples = repository->fetchSamples(from.range, samplesFor(from.trendBucket));
        // One text of the samples serves the aggregation and both rankings.
        VellSamples prepared = vellCore->prepare(samples);
        auto aggregated = aggregate(prepared, samples, from.range, from.trendBucket, from.calendar);
        snapshot.summary = aggregated.summary;
        snapshot.trend = std::move(aggregated.trend);
        // A failing query that stands in for the library's ranking leaves its list empty.
        const auto ranked = [&](VellRankingDimension dimension, auto query) -> std::vector<RankedUsage> {
            if (auto answer = vellCore->rank(prepared, dimension, overviewRankLimit)) {
                return std::move(*answer);
            }
            try {
                return ((*repository).*query)(from.range, overviewRankLimit, kTotalsOnly);
            } catch (const std::exception&) {
                return {};
            }
        };
        snapshot.topNetworks = ranked(VellRankingDimension::network, &OstrelRepository::fetchTopNetworks);
        snapshot.topApplications = ranked(VellRankingDimension::application, &OstrelRepository::fetchTopApplications);
    }

    // Today's leaders, whatever the timeframe, as the menu bar names them.
    TodaysLeaders leaders = todaysLeaders(*repository, today);
    snapshot.activeNetwork = std::move(leaders.activeNetwork);
    snapshot.topAppToday = std::move(leaders.topApp);
    snapshot.topNetworkToday = std::move(leaders.topNetwork);
    snapshot.threshold = evaluateThreshold(snapshot.summary, settings);
    return snapshot;
}

ThresholdEvaluation AnalyticsService::evaluateThreshold(const UsageSummary& summary,
                                                        const OstrelSettings& settings) const {
    const std::int64_t total = saturatingAdd(summary.rxBytes, summary.txBytes);
    const std::int64_t warning = settings.warningThresholdBytes;
    const std::int64_t danger = settings.dangerThresholdBytes;
    if (auto answer = vellCore->evaluateThreshold(total, warning, danger)) {
        return *answer;
    }
    ThresholdEvaluation evaluation;
    evaluation.exceedsWarning = warning > 0 && total >= warning;
    evaluation.exceedsDanger = danger > 0 && total >= danger;
    evaluation.level = evaluation.exceedsDanger    ? AlertLevel::danger
                       : evaluation.exceedsWarning ? AlertLevel::warning
                                                   : AlertLevel::normal;
    evaluation.usageRatio = warning > 0 ? static_cast<double>(total) / static_cast<double>(warning) : 0;
    return evaluation;
}

ThresholdEvaluation AnalyticsService::recordThresholdEventIfNeeded(const UsageSummary& summary,
                                                                   TimeframePreset timeframe,
                                                                   const OstrelSettings& settings) const {
    const ThresholdEvaluation evaluation = evaluateThreshold(summary, settings);
    const auto last = repository->fetchLatestThresholdLevel(timeframe);
    if (evaluation.level != AlertLevel::normal && evaluation.level != last) {
        repository->recordThresholdEvent(evaluation.level, saturatingAdd(summary.rxBytes, summary.txBytes), timeframe,
                                         settings.notificationsEnabled);
    }
    return evaluation;
}

}  // namespace ostrel
