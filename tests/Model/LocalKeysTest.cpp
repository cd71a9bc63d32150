#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <ctime>

#include "Model/LocalKeys.hpp"

namespace ostrel {
namespace {

using namespace std::chrono;

Date utc(int y, unsigned mo, unsigned d, int h, int mi = 0, int s = 0) {
    return Date{sys_days{year{y} / mo / d} + hours{h} + minutes{mi} + seconds{s}};
}

// SQLite's strftime(..., 'localtime') goes through the C library; the keys must match it.
TEST(LocalKeysTest, KeysAgreeWithTheCLibrary) {
    for (const char* zone :
         {"Europe/Berlin", "America/New_York", "America/Sao_Paulo", "Asia/Kolkata", "Australia/Lord_Howe"}) {
        setenv("TZ", zone, 1);
        tzset();
        const auto calendar = Calendar::current();
        for (Date at = utc(2018, 1, 1, 0); at < utc(2019, 1, 1, 0); at += minutes{30 * 7 + 13}) {
            const std::time_t seconds = system_clock::to_time_t(time_point_cast<system_clock::duration>(at));
            std::tm local{};
            localtime_r(&seconds, &local);
            std::array<char, 32> expected{};
            std::strftime(expected.data(), expected.size(), "%Y-%m-%dT%H:00:00", &local);
            ASSERT_EQ(hourKey(at, calendar), expected.data()) << zone;
            ASSERT_EQ(dayKey(at, calendar), std::string(expected.data(), 10)) << zone;
        }
    }
    unsetenv("TZ");
    tzset();
}

TEST(LocalKeysTest, DayKeyReadsBackToTheStartOfThatLocalDay) {
    const auto berlin = Calendar::named("Europe/Berlin");
    EXPECT_EQ(startOfDayKey("2024-03-31", berlin), utc(2024, 3, 30, 23));
    EXPECT_EQ(startOfDayKey("2024-10-27", berlin), utc(2024, 10, 26, 22));
    EXPECT_EQ(startOfDayKey("2018-11-04", Calendar::named("America/Sao_Paulo")), utc(2018, 11, 4, 3));
    EXPECT_EQ(dayKey(Date{} - nanoseconds{1}, Calendar::named("UTC")), "1969-12-31");
}

TEST(LocalKeysTest, UnreadableDayKeysGiveNothing) {
    const auto utcCalendar = Calendar::named("UTC");
    for (const char* key : {"", "2024-02-30", "2024-13-01", "2024-00-10", "2024-3-01", "2024-03-1", "2024/03/01",
                            "2024-03-01T00:00:00", " 2024-03-01", "2024-03-0a", "1600-01-01", "+024-03-01"}) {
        EXPECT_FALSE(startOfDayKey(key, utcCalendar)) << key;
    }
    EXPECT_EQ(startOfDayKey("2024-02-29", utcCalendar), utc(2024, 2, 29, 0));
}

}  // namespace
}  // namespace ostrel
