#include "aggregation/Aggregation.hpp"

#include <limits>
#include <string>

#include "timeframe/Timeframe.hpp"

namespace ostrel::vell {
namespace {

// Flooring below the earliest instant, or stepping past the latest bucket, would leave the
// 64-bit seconds count; read dates (years 0000-9999) lie far inside, built ones may not.
constexpr std::int64_t kEdge = std::numeric_limits<std::int64_t>::max() - 2 * 86400;

bool nearEdge(Timestamp instant) { return instant.seconds < -kEdge || instant.seconds > kEdge; }

// Number of points from `first` to `last`, both aligned; 0 when first is after last.
std::uint64_t pointCount(std::int64_t first, std::int64_t last, std::int64_t length) {
    if (first > last) return 0;
    // Unsigned difference: both ends may lie far apart on either side of 1970.
    const std::uint64_t span = static_cast<std::uint64_t>(last) - static_cast<std::uint64_t>(first);
    return span / static_cast<std::uint64_t>(length) + 1;
}

}  // namespace

AggregateResponse aggregateUsage(const AggregateRequest& request) {
    if (nearEdge(request.start) || nearEdge(request.end)) {
        throw AggregationError("range reaches the edge of representable time");
    }
    const std::int64_t length = bucketLengthSeconds(request.bucketSize);
    const std::int64_t first = floorToBucket(request.start, request.bucketSize).seconds;
    const std::int64_t last = floorToBucket(request.end, request.bucketSize).seconds;
    const std::uint64_t count = pointCount(first, last, length);
    if (count > kMaxPoints) {
        throw AggregationError("range needs " + std::to_string(count) + " points, more than the limit of " +
                               std::to_string(kMaxPoints));
    }

    AggregateResponse response;
    response.points.resize(count);
    for (std::uint64_t i = 0; i < count; ++i) {
        response.points[i].bucketStart = Timestamp{first + static_cast<std::int64_t>(i) * length, 0};
    }
    // Points are evenly spaced from `first`, so a kept sample's bucket index is a division away:
    // the ordered table of buckets becomes a direct index.
    for (const UsageSample& sample : request.samples) {
        if (sample.timestamp < request.start || request.end < sample.timestamp) continue;
        response.totalRxBytes = saturatingAdd(response.totalRxBytes, sample.rxBytes);
        response.totalTxBytes = saturatingAdd(response.totalTxBytes, sample.txBytes);
        const std::int64_t bucket = floorToBucket(sample.timestamp, request.bucketSize).seconds;
        BucketPoint& point = response.points[static_cast<std::size_t>((bucket - first) / length)];
        point.rxBytes = saturatingAdd(point.rxBytes, sample.rxBytes);
        point.txBytes = saturatingAdd(point.txBytes, sample.txBytes);
    }
    return response;
}

}  // namespace ostrel::vell
