#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "Model/Calendar.hpp"
#include "Model/Date.hpp"
#include "Model/Enums.hpp"
#include "Model/Records.hpp"
#include "Model/ScreenModels.hpp"
#include "Persistence/OstrelRepository.hpp"
#include "Services/VellCoreBridge.hpp"

namespace ostrel {

// Turns stored usage into the screens' models. Weekly, monthly and yearly timeframes, and custom
// ranges of 48 hours or more, read the daily roll-ups; the daily timeframe and shorter custom
// ranges read raw samples, aggregated and ranked by the core library when it answers and by
// local rules otherwise. No state: every call reads the store afresh, and calls may run on
// several threads at once. Every store error propagates unchanged.
class AnalyticsService final {
public:
    static constexpr std::size_t sparklinePointCount = 14;
    static constexpr std::int64_t detailRankLimit = 6;
    static constexpr std::size_t busiestPeriodCount = 8;
    static constexpr std::int64_t overviewRankLimit = 5;
    static constexpr std::chrono::seconds rollupSpan{172800};

    using Clock = std::function<Date()>;

    // The clock and the user's calendar (the process's time zone) are read at each call.
    AnalyticsService(std::shared_ptr<OstrelRepository> repository, std::shared_ptr<const VellCoreBridge> vellCore,
                     Clock clock = currentDate);

    // Overview and thresholds (AnalyticsServiceOverview.cpp)

    OverviewSnapshot overview(TimeframePreset timeframe, const std::optional<DateRange>& customRange,
                              const OstrelSettings& settings) const;
    // Evaluates the thresholds; writes an event when the level is not normal and differs from
    // the last one recorded for the timeframe. Gives the evaluation either way.
    ThresholdEvaluation recordThresholdEventIfNeeded(const UsageSummary& summary, TimeframePreset timeframe,
                                                     const OstrelSettings& settings) const;

    // Lists and details (AnalyticsService.cpp)

    std::vector<NetworkListItem> networkList(TimeframePreset timeframe,
                                             const std::optional<DateRange>& customRange) const;
    std::vector<ApplicationListItem> appList(TimeframePreset timeframe,
                                             const std::optional<DateRange>& customRange) const;
    // Nothing when no network or application has the identifier.
    std::optional<NetworkDetailModel> networkDetail(const std::string& networkID, TimeframePreset timeframe,
                                                    const std::optional<DateRange>& customRange) const;
    std::optional<ApplicationDetailModel> appDetail(const std::string& appID, TimeframePreset timeframe,
                                                    const std::optional<DateRange>& customRange) const;

private:
    // What a call reads: the current time and calendar, the range resolved in them, the path,
    // and the trend bucket of the raw path.
    struct Source {
        Date now;
        Calendar calendar;
        DateRange range;
        bool rollup = false;
        VellBucketSize trendBucket = VellBucketSize::hour;
    };
    Source source(TimeframePreset timeframe, const std::optional<DateRange>& customRange) const;
    // Raw samples whose buckets of `bucket` the aggregation will fill: whole local hours may come
    // from the hourly roll-ups when they fall into one of the core library's UTC buckets (or any,
    // for the local bucketing), since both give the same answers over them.
    RawReading samplesFor(VellBucketSize bucket) const;

    // The core library's answer unchanged when it gives one, else the local bucketing.
    VellAggregation aggregate(std::span<const UsageSampleRecord> samples, const DateRange& range, VellBucketSize bucket,
                              const Calendar& calendar) const;
    VellAggregation aggregate(VellSamples& prepared, std::span<const UsageSampleRecord> samples, const DateRange& range,
                              VellBucketSize bucket, const Calendar& calendar) const;
    ThresholdEvaluation evaluateThreshold(const UsageSummary& summary, const OstrelSettings& settings) const;

    std::shared_ptr<OstrelRepository> repository;
    std::shared_ptr<const VellCoreBridge> vellCore;
    Clock clock;
};

}  // namespace ostrel
