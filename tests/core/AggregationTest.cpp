#include "aggregation/Aggregation.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "models/DateTimeText.hpp"
#include "core/support/CoreCall.hpp"
#include "timeframe/Timeframe.hpp"

namespace ostrel::vell {
namespace {

Timestamp at(const std::string& text) { return std::get<Timestamp>(readDateTime(text)); }

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

TEST(AggregationTest, FloorToBucketTruncatesUtcFields) {
    const Timestamp instant = at("2024-03-01T10:17:45.25Z");
    EXPECT_EQ(text(floorToBucket(instant, BucketSize::fiveMinutes)), "2024-03-01T10:15:00Z");
    EXPECT_EQ(text(floorToBucket(instant, BucketSize::hour)), "2024-03-01T10:00:00Z");
    EXPECT_EQ(text(floorToBucket(instant, BucketSize::day)), "2024-03-01T00:00:00Z");
    EXPECT_EQ(text(floorToBucket(at("1969-12-31T23:59:59.5Z"), BucketSize::day)), "1969-12-31T00:00:00Z");
    EXPECT_EQ(text(floorToBucket(at("0000-01-01T00:04:59Z"), BucketSize::fiveMinutes)), "0000-01-01T00:00:00Z");
}

TEST(AggregationTest, EmptyRangeIsGapFilledFromStartBucketToEndBucket) {
    const auto response = aggregateUsage({{}, at("2024-03-01T10:07:12Z"), at("2024-03-01T10:21:00Z"), BucketSize::fiveMinutes});
    EXPECT_EQ(response.totalRxBytes, 0u);
    ASSERT_EQ(response.points.size(), 4u);
    const char* expected[] = {"2024-03-01T10:05:00Z", "2024-03-01T10:10:00Z", "2024-03-01T10:15:00Z", "2024-03-01T10:20:00Z"};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(text(response.points[i].bucketStart), expected[i]);
        EXPECT_EQ(response.points[i].rxBytes + response.points[i].txBytes, 0u);
    }
}

TEST(AggregationTest, RangeIsInclusiveToTheNanosecond) {
    const Timestamp start = at("2024-03-01T10:00:00.000000001Z");
    const Timestamp end = at("2024-03-01T10:59:59.999999998Z");
    const auto response = aggregateUsage({{sampleAt("2024-03-01T10:00:00.000000001Z", 1),
                                           sampleAt("2024-03-01T10:59:59.999999998Z", 2),
                                           sampleAt("2024-03-01T10:00:00Z", 4), sampleAt("2024-03-01T10:59:59.999999999Z", 8)},
                                          start, end, BucketSize::hour});
    EXPECT_EQ(response.totalRxBytes, 3u);
    ASSERT_EQ(response.points.size(), 1u);
    EXPECT_EQ(response.points[0].rxBytes, 3u);
}

TEST(AggregationTest, DayBucketsAreUtcDays) {
    const auto response = aggregateUsage({{sampleAt("2024-03-02T01:30:00+02:00", 5, 6)}, at("2024-03-01T00:00:00Z"),
                                          at("2024-03-02T12:00:00Z"), BucketSize::day});
    ASSERT_EQ(response.points.size(), 2u);
    EXPECT_EQ(text(response.points[0].bucketStart), "2024-03-01T00:00:00Z");
    EXPECT_EQ(response.points[0].rxBytes, 5u);
    EXPECT_EQ(response.points[0].txBytes, 6u);
    EXPECT_EQ(response.points[1].rxBytes, 0u);
}

TEST(AggregationTest, StartAfterEndMatchesNothing) {
    const auto apart = aggregateUsage({{sampleAt("2024-03-01T10:30:00Z", 5)}, at("2024-03-01T12:00:00Z"),
                                       at("2024-03-01T10:00:00Z"), BucketSize::hour});
    EXPECT_EQ(apart.totalRxBytes, 0u);
    EXPECT_TRUE(apart.points.empty());
    const auto sameBucket = aggregateUsage({{sampleAt("2024-03-01T10:30:00Z", 5)}, at("2024-03-01T10:40:00Z"),
                                            at("2024-03-01T10:20:00Z"), BucketSize::hour});
    EXPECT_EQ(sameBucket.totalRxBytes, 0u);
    ASSERT_EQ(sameBucket.points.size(), 1u);
    EXPECT_EQ(sameBucket.points[0].rxBytes, 0u);
}

TEST(AggregationTest, SumsSaturateAndPointsAddUpToTotals) {
    const std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
    const auto response = aggregateUsage({{sampleAt("2024-03-01T10:10:00Z", max, 1), sampleAt("2024-03-01T10:20:00Z", max, 2),
                                           sampleAt("2024-03-01T11:20:00Z", 7, 3), sampleAt("2024-03-01T10:10:00Z", 0, 1)},
                                          at("2024-03-01T10:00:00Z"), at("2024-03-01T11:59:59Z"), BucketSize::hour});
    EXPECT_EQ(response.totalRxBytes, max);
    EXPECT_EQ(response.totalTxBytes, 7u);
    ASSERT_EQ(response.points.size(), 2u);
    EXPECT_EQ(response.points[0].rxBytes, max);
    EXPECT_EQ(response.points[0].txBytes, 4u);
    EXPECT_EQ(response.points[1].rxBytes, 7u);
}

TEST(AggregationTest, WholeDayOnTheHourGivesTwentyFivePoints) {
    const auto response = aggregateUsage({{}, at("2024-03-01T00:00:00Z"), at("2024-03-02T00:00:00Z"), BucketSize::hour});
    ASSERT_EQ(response.points.size(), 25u);
    EXPECT_EQ(text(response.points.back().bucketStart), "2024-03-02T00:00:00Z");
    const auto fiveMinutes =
        aggregateUsage({{}, at("2024-03-01T00:00:00Z"), at("2024-03-01T23:59:59Z"), BucketSize::fiveMinutes});
    EXPECT_EQ(fiveMinutes.points.size(), 288u);
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
