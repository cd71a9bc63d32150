#include "Model/Calendar.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <optional>
#include <string>

namespace ostrel {
namespace {

using namespace std::chrono;

Date utc(int y, unsigned mo, unsigned d, int h, int mi = 0) {
    return Date{sys_days{year{y} / mo / d} + hours{h} + minutes{mi}};
}

date::local_days localDate(int y, unsigned mo, unsigned d) {
    return date::local_days{date::year{y} / date::month{mo} / date::day{d}};
}

// Sets TZ for one test and puts the previous value back.
class ScopedTZ {
public:
    explicit ScopedTZ(const char* value) {
        if (const char* old = std::getenv("TZ")) {
            previous_ = old;
        }
        if (value != nullptr) {
            setenv("TZ", value, 1);
        } else {
            unsetenv("TZ");
        }
    }
    ~ScopedTZ() {
        if (previous_) {
            setenv("TZ", previous_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
    }
    ScopedTZ(const ScopedTZ&) = delete;
    ScopedTZ& operator=(const ScopedTZ&) = delete;

private:
    std::optional<std::string> previous_;
};

TEST(CalendarTest, CurrentReadsTZAsTheCLibraryDoes) {
    {
        ScopedTZ tz("Europe/Berlin");
        EXPECT_EQ(Calendar::current().zone().name(), "Europe/Berlin");
    }
    {
        ScopedTZ tz(":Asia/Tokyo");
        EXPECT_EQ(Calendar::current().zone().name(), "Asia/Tokyo");
    }
    {
        ScopedTZ tz("/usr/share/zoneinfo/America/New_York");
        EXPECT_EQ(Calendar::current().zone().name(), "America/New_York");
    }
    for (const char* utcLike : {"", "Not/AZone", "/nowhere/at/all"}) {
        ScopedTZ tz(utcLike);
        EXPECT_EQ(Calendar::current().zone().name(), "Etc/UTC") << utcLike;
    }
    {
        ScopedTZ tz(nullptr);
        EXPECT_EQ(&Calendar::current().zone(), date::current_zone());
    }
}

TEST(CalendarTest, NamedRefusesUnknownZonesAndNoZoneIsUTC) {
    EXPECT_THROW(Calendar::named("Mars/Olympus_Mons"), std::runtime_error);
    EXPECT_EQ(Calendar{}.zone().name(), "Etc/UTC");
    EXPECT_EQ(Calendar{}.startOfDay(localDate(2026, 3, 1)), utc(2026, 3, 1, 0));
}

TEST(CalendarTest, LocalDayFollowsTheZone) {
    const Date instant = utc(2026, 3, 1, 23, 30);
    EXPECT_EQ(Calendar::named("Europe/Berlin").localDay(instant), localDate(2026, 3, 2));
    EXPECT_EQ(Calendar::named("America/New_York").localDay(instant), localDate(2026, 3, 1));
    EXPECT_EQ(Calendar::named("America/New_York").localDay(utc(2026, 3, 1, 4, 59)), localDate(2026, 2, 28));
}

TEST(CalendarTest, StartOfDayWhenMidnightIsSkippedOrRepeated) {
    // São Paulo skipped from 00:00 to 01:00 on 4 November 2018: the day starts at 01:00 (-02).
    EXPECT_EQ(Calendar::named("America/Sao_Paulo").startOfDay(localDate(2018, 11, 4)), utc(2018, 11, 4, 3));
    const auto havana = Calendar::named("America/Havana");
    // Havana skips midnight in March and lives through it twice in November: the earlier counts.
    EXPECT_EQ(havana.startOfDay(localDate(2024, 3, 10)), utc(2024, 3, 10, 5));
    EXPECT_EQ(havana.startOfDay(localDate(2024, 11, 3)), utc(2024, 11, 3, 4));
}

TEST(CalendarTest, StartOfDayOutsideWhatDateHolds) {
    const auto utcCalendar = Calendar::named("UTC");
    EXPECT_FALSE(utcCalendar.startOfDay(localDate(1677, 9, 20)));
    EXPECT_FALSE(utcCalendar.startOfDay(localDate(2262, 4, 12)));
    EXPECT_TRUE(utcCalendar.startOfDay(localDate(1677, 9, 22)));
    EXPECT_TRUE(utcCalendar.startOfDay(localDate(2262, 4, 11)));
}

}  // namespace
}  // namespace ostrel
