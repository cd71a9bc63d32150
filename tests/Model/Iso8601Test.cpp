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

TEST(Iso8601Test, WritesThreeFractionDigitsAndZFromFlooredMilliseconds) {
    EXPECT_EQ(ostrelISO8601String(utc(2026, 3, 1, 14, 5, 9, 123)), "2026-03-01T14:05:09.123Z");
    EXPECT_EQ(ostrelISO8601String(utc(2026, 3, 1, 0, 0, 0)), "2026-03-01T00:00:00.000Z");
    EXPECT_EQ(ostrelISO8601String(Date{} - milliseconds{1}), "1969-12-31T23:59:59.999Z");
    EXPECT_EQ(ostrelISO8601String(Date::max()), "2262-04-11T23:47:16.854Z");
    EXPECT_EQ(ostrelISO8601String(Date::min()), "1677-09-21T00:12:43.145Z");
    // Cutting, not rounding, keeps text order equal to time order.
    const Date base = utc(2026, 12, 31, 23, 59, 59, 999);
    EXPECT_EQ(ostrelISO8601String(base + nanoseconds{999'999}), "2026-12-31T23:59:59.999Z");
    for (int step = 1; step < 3000; ++step) {
        EXPECT_LE(ostrelISO8601String(base + microseconds{(step - 1) * 337}),
                  ostrelISO8601String(base + microseconds{step * 337}));
    }
}

TEST(Iso8601Test, ReadsWhatItWritesAndOtherFractionsAndOffsets) {
    for (const Date date : {utc(2024, 2, 29, 23, 59, 59, 999), Date{} - milliseconds{1}, utc(1700, 1, 1, 0, 0, 0)}) {
        EXPECT_EQ(ostrelISO8601Date(ostrelISO8601String(date)), date) << ostrelISO8601String(date);
    }
    EXPECT_EQ(ostrelISO8601Date("2026-03-01T14:05:09.1Z"), utc(2026, 3, 1, 14, 5, 9, 100));
    EXPECT_EQ(ostrelISO8601Date("2026-03-01T14:05:09.123456789Z"),
              utc(2026, 3, 1, 14, 5, 9, 123) + nanoseconds{456'789});
    EXPECT_EQ(ostrelISO8601Date("2026-03-01T14:05:09.123+01:30"), utc(2026, 3, 1, 12, 35, 9, 123));
    EXPECT_EQ(iso8601DateWithoutFraction("2026-03-01T14:05:09Z"), utc(2026, 3, 1, 14, 5, 9));
    EXPECT_EQ(iso8601DateWithoutFraction("2026-01-01T00:00:00+14:00"), utc(2025, 12, 31, 10, 0, 0));
    EXPECT_EQ(iso8601DateWithoutFraction("2026-03-01T00:05:09-05:00"), utc(2026, 3, 1, 5, 5, 9));
}

TEST(Iso8601Test, RefusesEverythingElse) {
    for (const char* text :
         {"2026-03-01T14:05:09Z", "2026-03-01T14:05:09.Z", "2026-03-01T14:05:09.1234567891Z",
          "2026-03-01t14:05:09.123Z", "2026-03-01T14:05:09,123Z", "2026-03-01T14:05:09.123+0100",
          "2026-03-01T14:05:09.123", "2025-02-29T00:00:00.000Z", "2026-03-01T24:00:00.000Z", "2026-12-31T23:59:60.000Z",
          "1677-01-01T00:00:00.000Z", "2263-01-01T00:00:00.000Z", "2026-3-01T14:05:09.123Z",
          " 2026-03-01T14:05:09.123Z", "2026-03-01T14:05:09.123+24:00", "", "2026-03-01T14:05:09.-12Z"}) {
        EXPECT_FALSE(ostrelISO8601Date(text)) << text;
    }
    EXPECT_FALSE(ostrelISO8601Date(std::string_view("2026-03-01T14:05:09.123Z\0", 25)));
    for (const char* text : {"2026-03-01T14:05:09.123Z", "2026-03-01T14:05:09", "2026-03-01T14:05:09+01"}) {
        EXPECT_FALSE(iso8601DateWithoutFraction(text)) << text;
    }
}

}  // namespace
}  // namespace ostrel
