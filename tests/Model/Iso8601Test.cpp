#include "Model/Iso8601.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace ostrel {
namespace {

using namespace std::chrono;

Date utc(int y, unsigned mo, unsigned d, int h, int mi, int s, int ms = 0) {
    return Date{sys_days{year{y} / mo / d} + hours{h} + minutes{mi} + seconds{s} + milliseconds{ms}};
}

TEST(Iso8601Test, WritesThreeFractionDigitsAndZ) {
    EXPECT_EQ(ostrelISO8601String(utc(2026, 3, 1, 14, 5, 9, 123)), "2026-03-01T14:05:09.123Z");
    EXPECT_EQ(ostrelISO8601String(utc(2026, 3, 1, 0, 0, 0)), "2026-03-01T00:00:00.000Z");
    EXPECT_EQ(ostrelISO8601String(Date{}), "1970-01-01T00:00:00.000Z");
    // Before 1970 the day and the fraction still count forwards.
    EXPECT_EQ(ostrelISO8601String(Date{} - milliseconds{1}), "1969-12-31T23:59:59.999Z");
}

TEST(Iso8601Test, CutsSubMillisecondsSoTextOrderFollowsTimeOrder) {
    const Date base = utc(2026, 12, 31, 23, 59, 59, 999);
    EXPECT_EQ(ostrelISO8601String(base + nanoseconds{999'999}), "2026-12-31T23:59:59.999Z");
    EXPECT_EQ(ostrelISO8601String(base + nanoseconds{1'000'000}), "2027-01-01T00:00:00.000Z");

    Date earlier = utc(1999, 12, 31, 23, 59, 59, 998);
    for (int step = 0; step < 3000; ++step) {
        const Date later = earlier + microseconds{step * 337};
        EXPECT_LE(ostrelISO8601String(earlier), ostrelISO8601String(later));
    }
}

TEST(Iso8601Test, WritesTheExtremesDateCanHold) {
    EXPECT_EQ(ostrelISO8601String(Date::max()), "2262-04-11T23:47:16.854Z");
    EXPECT_EQ(ostrelISO8601String(Date::min()), "1677-09-21T00:12:43.145Z");
}

TEST(Iso8601Test, ReadsWhatItWrites) {
    for (const Date date : {utc(2026, 3, 1, 14, 5, 9, 123), utc(2024, 2, 29, 23, 59, 59, 999), Date{},
                            Date{} - milliseconds{1}, utc(1700, 1, 1, 0, 0, 0), utc(2262, 1, 1, 0, 0, 0)}) {
        const auto read = ostrelISO8601Date(ostrelISO8601String(date));
        ASSERT_TRUE(read.has_value()) << ostrelISO8601String(date);
        EXPECT_EQ(*read, date);
    }
}

TEST(Iso8601Test, ReadsOneToNineFractionDigits) {
    EXPECT_EQ(ostrelISO8601Date("2026-03-01T14:05:09.1Z"), utc(2026, 3, 1, 14, 5, 9, 100));
    EXPECT_EQ(ostrelISO8601Date("2026-03-01T14:05:09.123456789Z"),
              utc(2026, 3, 1, 14, 5, 9, 123) + nanoseconds{456'789});
    EXPECT_FALSE(ostrelISO8601Date("2026-03-01T14:05:09.1234567891Z"));
    EXPECT_FALSE(ostrelISO8601Date("2026-03-01T14:05:09.Z"));
}

TEST(Iso8601Test, RefusesTextWithoutFractionOrWithOtherZones) {
    for (const char* text : {"2026-03-01T14:05:09Z", "2026-03-01T14:05:09.123+01:00", "2026-03-01T14:05:09.123+00:00",
                             "2026-03-01T14:05:09.123", "2026-03-01T14:05:09.123z", "2026-03-01t14:05:09.123Z",
                             "2026-03-01 14:05:09.123Z", "2026-03-01T14:05:09,123Z"}) {
        EXPECT_FALSE(ostrelISO8601Date(text)) << text;
    }
}

TEST(Iso8601Test, RefusesOutOfRangeFields) {
    for (const char* text : {"2026-13-01T00:00:00.000Z", "2026-00-01T00:00:00.000Z", "2026-02-30T00:00:00.000Z",
                             "2025-02-29T00:00:00.000Z", "2026-03-00T00:00:00.000Z", "2026-03-01T24:00:00.000Z",
                             "2026-03-01T23:60:00.000Z", "2026-12-31T23:59:60.000Z"}) {
        EXPECT_FALSE(ostrelISO8601Date(text)) << text;
    }
    EXPECT_TRUE(ostrelISO8601Date("2024-02-29T00:00:00.000Z"));
}

TEST(Iso8601Test, RefusesYearsDateCannotHoldAndMalformedText) {
    for (const char* text : {"0000-01-01T00:00:00.000Z", "9999-12-31T23:59:59.999Z", "1677-01-01T00:00:00.000Z",
                             "2263-01-01T00:00:00.000Z", "+2026-03-01T14:05:09.123Z", "12026-03-01T14:05:09.123Z",
                             "26-03-01T14:05:09.123Z", "2026-3-01T14:05:09.123Z", "2026-03-01T14:05:09.123Z ",
                             " 2026-03-01T14:05:09.123Z", "2026-03-01T14:05:09.123ZZ", "", "2026-03-01",
                             "2026-0a-01T14:05:09.123Z", "2026-03-01T14:05:09.-12Z"}) {
        EXPECT_FALSE(ostrelISO8601Date(text)) << text;
    }
    using namespace std::string_literals;
    EXPECT_FALSE(ostrelISO8601Date("2026-03-01T14:05:09.123Z\0"s));
}

TEST(Iso8601Test, WithoutFractionReadsZAndOffsets) {
    EXPECT_EQ(iso8601DateWithoutFraction("2026-03-01T14:05:09Z"), utc(2026, 3, 1, 14, 5, 9));
    EXPECT_EQ(iso8601DateWithoutFraction("2026-03-01T14:05:09+01:30"), utc(2026, 3, 1, 12, 35, 9));
    EXPECT_EQ(iso8601DateWithoutFraction("2026-03-01T00:05:09-05:00"), utc(2026, 3, 1, 5, 5, 9));
    EXPECT_EQ(iso8601DateWithoutFraction("2026-01-01T00:00:00+14:00"), utc(2025, 12, 31, 10, 0, 0));
    for (const char* text : {"2026-03-01T14:05:09.123Z", "2026-03-01T14:05:09", "2026-03-01T14:05:09+24:00",
                             "2026-03-01T14:05:09+01:60", "2026-03-01T14:05:09+0100", "2026-03-01T14:05:09+01"}) {
        EXPECT_FALSE(iso8601DateWithoutFraction(text)) << text;
    }
}

}  // namespace
}  // namespace ostrel
