#include <gtest/gtest.h>

#include "Model/LocalKeys.hpp"
#include "Model/support/ScopedTimeZone.hpp"

namespace ostrel {
namespace {

using namespace std::chrono;

Date utc(int y, unsigned mo, unsigned d, int h, int mi = 0, int s = 0) {
    return Date{sys_days{year{y} / mo / d} + hours{h} + minutes{mi} + seconds{s}};
}

TEST(LocalKeysTest, DayKeyReadsBackToTheStartOfThatLocalDay) {
    {
        testing::ScopedTimeZone berlin("Europe/Berlin");
        EXPECT_EQ(startOfDayKey("2024-03-31", Calendar::current()), utc(2024, 3, 30, 23));
        EXPECT_EQ(startOfDayKey("2024-10-27", Calendar::current()), utc(2024, 10, 26, 22));
    }
    testing::ScopedTimeZone saoPaulo("America/Sao_Paulo");
    EXPECT_EQ(startOfDayKey("2018-11-04", Calendar::current()), utc(2018, 11, 4, 3));  // began at 01:00
}

TEST(LocalKeysTest, UnreadableDayKeysGiveNothing) {
    testing::ScopedTimeZone zone("UTC");
    const auto utcCalendar = Calendar::current();
    for (const char* key : {"", "2024-02-30", "2024-13-01", "2024-00-10", "2024-3-01", "2024-03-1", "2024/03/01",
                            "2024-03-01T00:00:00", " 2024-03-01", "2024-03-0a", "1600-01-01", "+024-03-01"}) {
        EXPECT_FALSE(startOfDayKey(key, utcCalendar)) << key;
    }
    EXPECT_EQ(startOfDayKey("2024-02-29", utcCalendar), utc(2024, 2, 29, 0));
    EXPECT_EQ(dayKey(Date{} - nanoseconds{1}, utcCalendar), "1969-12-31");
}

}  // namespace
}  // namespace ostrel
