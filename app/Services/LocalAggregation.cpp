#include "Services/LocalAggregation.hpp"

#include <algorithm>
#include <chrono>
#include <optional>

#include "PlatformAdapters/SaturatingAdd.hpp"

namespace ostrel {
namespace {

using namespace std::chrono;
using FiveMinutes = duration<std::int64_t, std::ratio<300>>;

// Local wall-clock times of instants that mostly come in time order: the zone's period (its
// offset and where it ends) is looked up only when an instant leaves the last one.
class WallClock {
public:
    explicit WallClock(const date::time_zone& zone) : zone_(zone) {}

    date::local_seconds wallTime(Date instant) {
        const auto second = floor<seconds>(instant);
        if (second < begin_ || second >= end_) {
            const auto info = zone_.get_info(second);
            begin_ = info.begin;
            end_ = info.end;
            offset_ = info.offset;
        }
        return date::local_seconds{(second + offset_).time_since_epoch()};
    }

    // The first instant showing `wall`: the end of the gap when it does not exist, the earlier
    // of two when it happens twice.
    std::optional<Date> firstInstant(date::local_seconds wall) const {
        const auto info = zone_.get_info(wall);
        const sys_seconds instant = info.result == date::local_info::nonexistent
                                        ? info.first.end
                                        : sys_seconds{wall.time_since_epoch()} - info.first.offset;
        if (instant < ceil<seconds>(Date::min()) || instant > floor<seconds>(Date::max())) {
            return std::nullopt;
        }
        return Date{instant};
    }

private:
    const date::time_zone& zone_;
    sys_seconds begin_ = sys_seconds::max();
    sys_seconds end_ = sys_seconds::min();
    seconds offset_{0};
};

}  // namespace

VellAggregation aggregateLocally(std::span<const UsageSampleRecord> samples, VellBucketSize bucketSize,
                                 const Calendar& calendar) {
    WallClock clock(calendar.zone());
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
            lastBucket =
                bucketSize == VellBucketSize::day ? calendar.startOfDay(floor<days>(wall)) : clock.firstInstant(wall);
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
