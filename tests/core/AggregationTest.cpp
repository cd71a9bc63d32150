#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "aggregation/Aggregation.hpp"
#include "core/support/CoreCall.hpp"
#include "models/DateTimeText.hpp"
#include "timeframe/Timeframe.hpp"

namespace ostrel::vell {
namespace {

Timestamp at(const std::string& text) {
    return std::get<Timestamp>(readDateTime(text));
}

std::string text(Timestamp instant) {
    std::string out;
    appendDateTime(out, instant);
    return out;
}

UsageSample sampleAt(const std::string& when, std::uint64_t rx, std::uint64_t tx = 0) {
    UsageSample sample;
    sample.timestamp = at(when);
    sample.rxBytes = rx;
    sample.txBytes = tx;
    return sample;
}

AggregateResponse aggregate(std::vector<UsageSample> samples, const std::string& start, const std::string& end,
                            BucketSize size) {
    return aggregateUsage({std::move(samples), at(start), at(end), size});
}

std::string pointsText(const AggregateResponse& response) {
    std::string out;
    for (const BucketPoint& point : response.points) {
        out +=
            text(point.bucketStart) + "=" + std::to_string(point.rxBytes) + "/" + std::to_string(point.txBytes) + " ";
    }
    return out;
}

TEST(AggregationTest, FloorToBucketTruncatesUtcFields) {
    const Timestamp instant = at("2024-03-01T10:17:45.25Z");
    EXPECT_EQ(text(floorToBucket(instant, BucketSize::fiveMinutes)), "2024-03-01T10:15:00Z");
    EXPECT_EQ(text(floorToBucket(instant, BucketSize::hour)), "2024-03-01T10:00:00Z");
    EXPECT_EQ(text(floorToBucket(instant, BucketSize::day)), "2024-03-01T00:00:00Z");
    EXPECT_EQ(text(floorToBucket(at("1969-12-31T23:59:59.5Z"), BucketSize::day)), "1969-12-31T00:00:00Z");
    EXPECT_EQ(text(floorToBucket(at("0000-01-01T00:04:59Z"), BucketSize::fiveMinutes)), "0000-01-01T00:00:00Z");
}

TEST(AggregationTest, PointsRunGapFilledFromTheStartBucketToTheEndBucket) {
    const auto empty = aggregate({}, "2024-03-01T10:07:12Z", "2024-03-01T10:21:00Z", BucketSize::fiveMinutes);
    EXPECT_EQ(empty.totalRxBytes + empty.totalTxBytes, 0u);
    EXPECT_EQ(pointsText(empty),
              "2024-03-01T10:05:00Z=0/0 2024-03-01T10:10:00Z=0/0 2024-03-01T10:15:00Z=0/0 2024-03-01T10:20:00Z=0/0 ");
    // Day buckets are UTC days: 01:30 on 2 March at +02:00 is still 1 March.
    const auto days = aggregate({sampleAt("2024-03-02T01:30:00+02:00", 5, 6)}, "2024-03-01T00:00:00Z",
                                "2024-03-02T12:00:00Z", BucketSize::day);
    EXPECT_EQ(pointsText(days), "2024-03-01T00:00:00Z=5/6 2024-03-02T00:00:00Z=0/0 ");
    const auto hours = aggregate({}, "2024-03-01T00:00:00Z", "2024-03-02T00:00:00Z", BucketSize::hour);
    ASSERT_EQ(hours.points.size(), 25u);
    EXPECT_EQ(text(hours.points.back().bucketStart), "2024-03-02T00:00:00Z");
    EXPECT_EQ(aggregate({}, "2024-03-01T00:00:00Z", "2024-03-01T23:59:59Z", BucketSize::fiveMinutes).points.size(),
              288u);
}

TEST(AggregationTest, RangeIsInclusiveToTheNanosecondAndStartAfterEndMatchesNothing) {
    const auto response =
        aggregate({sampleAt("2024-03-01T10:00:00.000000001Z", 1), sampleAt("2024-03-01T10:59:59.999999998Z", 2),
                   sampleAt("2024-03-01T10:00:00Z", 4), sampleAt("2024-03-01T10:59:59.999999999Z", 8)},
                  "2024-03-01T10:00:00.000000001Z", "2024-03-01T10:59:59.999999998Z", BucketSize::hour);
    EXPECT_EQ(response.totalRxBytes, 3u);
    EXPECT_EQ(pointsText(response), "2024-03-01T10:00:00Z=3/0 ");
    const std::vector<UsageSample> inside = {sampleAt("2024-03-01T10:30:00Z", 5)};
    const auto apart = aggregate(inside, "2024-03-01T12:00:00Z", "2024-03-01T10:00:00Z", BucketSize::hour);
    EXPECT_EQ(apart.totalRxBytes, 0u);
    EXPECT_TRUE(apart.points.empty());
    const auto sameBucket = aggregate(inside, "2024-03-01T10:40:00Z", "2024-03-01T10:20:00Z", BucketSize::hour);
    EXPECT_EQ(sameBucket.totalRxBytes, 0u);
    EXPECT_EQ(pointsText(sameBucket), "2024-03-01T10:00:00Z=0/0 ");
}

TEST(AggregationTest, SumsSaturateAndPointsAddUpToTotals) {
    const std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
    const auto response = aggregate({sampleAt("2024-03-01T10:10:00Z", max, 1), sampleAt("2024-03-01T10:20:00Z", max, 2),
                                     sampleAt("2024-03-01T11:20:00Z", 7, 3), sampleAt("2024-03-01T10:10:00Z", 0, 1)},
                                    "2024-03-01T10:00:00Z", "2024-03-01T11:59:59Z", BucketSize::hour);
    EXPECT_EQ(response.totalRxBytes, max);
    EXPECT_EQ(response.totalTxBytes, 7u);
    EXPECT_EQ(pointsText(response), "2024-03-01T10:00:00Z=" + std::to_string(max) + "/4 2024-03-01T11:00:00Z=7/3 ");
}

TEST(AggregationTest, PointCapIsExactAndBeyondItIsAnError) {
    // A leap year at five minutes fills the cap exactly; one bucket more is refused.
    const Timestamp start = at("2024-01-01T00:00:00Z");
    const auto full = aggregateUsage({{}, start, at("2024-12-31T23:59:59Z"), BucketSize::fiveMinutes});
    EXPECT_EQ(full.points.size(), kMaxPoints);
    EXPECT_THROW(aggregateUsage({{}, start, at("2025-01-01T00:00:00Z"), BucketSize::fiveMinutes}), AggregationError);
    const std::string answer = test::call(
        ol_core_aggregate_usage,
        R"({"samples":[],"start":"0000-01-01T00:00:00Z","end":"9999-12-31T23:59:59Z","bucket_size":"five_minutes"})");
    EXPECT_EQ(answer, test::errorOf("range needs 1051898400 points, more than the limit of 105408"));
}

TEST(AggregationTest, RangesAtTheEdgeOfRepresentableTimeAreErrors) {
    const std::int64_t latest = std::numeric_limits<std::int64_t>::max();
    const std::int64_t earliest = std::numeric_limits<std::int64_t>::min();
    EXPECT_THROW(aggregateUsage({{}, Timestamp{latest - 10, 0}, Timestamp{latest, 999'999'999}, BucketSize::day}),
                 AggregationError);
    EXPECT_THROW(aggregateUsage({{}, Timestamp{earliest, 0}, Timestamp{latest - 86400 * 2, 0}, BucketSize::day}),
                 AggregationError);
    EXPECT_THROW(aggregateUsage({{}, Timestamp{earliest, 0}, Timestamp{earliest, 0}, BucketSize::fiveMinutes}),
                 AggregationError);
    const auto farFuture = aggregateUsage({{}, Timestamp{latest / 2, 0}, Timestamp{latest / 2, 0}, BucketSize::day});
    EXPECT_EQ(farFuture.points.size(), 1u);
}

}  // namespace
}  // namespace ostrel::vell
