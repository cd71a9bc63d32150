#include "Services/LocalAggregation.hpp"

#include <algorithm>
#include <chrono>
#include <optional>

#include "Model/SaturatingAdd.hpp"

namespace ostrel {
namespace {

using namespace std::chrono;
using FiveMinutes = duration<std::int64_t, std::ratio<300>>;

// Local wall-clock times of instants that mostly come in time order. Each offset the calendar
// gives is kept for a span found to start and end on it: the C library tells offsets, not where
// they change, and no zone changes its offset and back within an hour. A span that straddles a
// change is halved until it does not, so a day with a change costs a few dozen more look-ups.
class WallClock {
public:
    explicit WallClock(const Calendar& calendar) : calendar_(calendar) {}

    date::local_seconds wallTime(Date instant) {
        const auto second = floor<seconds>(instant);
        if (second < from_ || second > until_) {
            offset_ = offsetAt(second);
            from_ = second;
            seconds span = hours{1};
            while (span > seconds{0} && offsetAt(second + span) != offset_) span /= 2;
            until_ = second + span;
        }
        return date::local_seconds{(second + offset_).time_since_epoch()};
    }

private:
    seconds offsetAt(sys_seconds second) const {
        return calendar_.localTime(second).time_since_epoch() - second.time_since_epoch();
    }

    const Calendar& calendar_;
    sys_seconds from_ = sys_seconds::max();
    sys_seconds until_ = sys_seconds::min();
    seconds offset_{0};
};

}  // namespace

VellAggregation aggregateLocally(std::span<const UsageSampleRecord> samples, VellBucketSize bucketSize,
                                 const Calendar& calendar) {
    WallClock clock(calendar);
    VellAggregation result;
    // A bucket depends only on its wall-clock start, and neighbouring samples mostly share one.
    std::optional<date::local_seconds> lastWall;
    std::optional<Date> lastBucket;
    bool ordered = true;
    for (const UsageSampleRecord& sample : samples) {
        const auto local = clock.wallTime(sample.timestamp);
        date::local_seconds wall;
        switch (bucketSize) {
            case VellBucketSize::day:
                wall = floor<days>(local);
                break;
            case VellBucketSize::hour:
                wall = floor<hours>(local);
                break;
            case VellBucketSize::fiveMinutes:
                wall = floor<FiveMinutes>(local);
                break;
        }
        if (wall != lastWall) {
            lastWall = wall;
            lastBucket = calendar.firstInstantAtOrAfter(wall);
        }
        const Date bucket = lastBucket.value_or(sample.timestamp);

        result.summary.rxBytes = saturatingAdd(result.summary.rxBytes, sample.rxBytes);
        result.summary.txBytes = saturatingAdd(result.summary.txBytes, sample.txBytes);
        auto& points = result.trend;
        if (!points.empty() && points.back().timestamp == bucket) {
            points.back().rxBytes = saturatingAdd(points.back().rxBytes, sample.rxBytes);
            points.back().txBytes = saturatingAdd(points.back().txBytes, sample.txBytes);
            continue;
        }
        ordered = ordered && (points.empty() || points.back().timestamp < bucket);
        points.push_back(TrendPoint{bucket, sample.rxBytes, sample.txBytes});
    }
    if (!ordered) {
        auto& points = result.trend;
        std::stable_sort(points.begin(), points.end(),
                         [](const TrendPoint& a, const TrendPoint& b) { return a.timestamp < b.timestamp; });
        std::vector<TrendPoint> merged;
        for (const TrendPoint& point : points) {
            if (!merged.empty() && merged.back().timestamp == point.timestamp) {
                merged.back().rxBytes = saturatingAdd(merged.back().rxBytes, point.rxBytes);
                merged.back().txBytes = saturatingAdd(merged.back().txBytes, point.txBytes);
            } else {
                merged.push_back(point);
            }
        }
        points = std::move(merged);
    }
    return result;
}

}  // namespace ostrel
