#include "Model/TimeframeRange.hpp"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

using namespace std::chrono;

Date utc(int y, unsigned mo, unsigned d, int h, int mi = 0) {
    return Date{sys_days{year{y} / mo / d} + hours{h} + minutes{mi}};
}

DateRange range(TimeframePreset preset, Date now, const Calendar& calendar) {
    return resolvedRange(preset, std::nullopt, now, calendar);
}

TEST(TimeframeRangeTest, DailyAtMidnightIsEmptyAndWeeklyOrCustomGoBackSixCalendarDays) {
    const auto berlin = Calendar::named("Europe/Berlin");
    const Date midnight = utc(2026, 3, 1, 23);  // 00:00 on 2 March in Berlin
    EXPECT_EQ(range(TimeframePreset::daily, midnight, berlin), (DateRange{midnight, midnight}));
    EXPECT_EQ(range(TimeframePreset::daily, midnight - nanoseconds{1}, berlin).start, utc(2026, 2, 28, 23));

    const Date mondayTen = utc(2026, 3, 2, 10) + milliseconds{250};
    EXPECT_EQ(range(TimeframePreset::weekly, mondayTen, Calendar{}), (DateRange{utc(2026, 2, 24, 0), mondayTen}));
    EXPECT_EQ(range(TimeframePreset::custom, mondayTen, Calendar{}).start, utc(2026, 2, 24, 10) + milliseconds{250});
}

TEST(TimeframeRangeTest, MonthlyAndYearlyStartAtLocalMidnight) {
    const auto berlin = Calendar::named("Europe/Berlin");
    const Date now = utc(2026, 7, 15, 12);
    EXPECT_EQ(range(TimeframePreset::monthly, now, berlin).start, utc(2026, 6, 30, 22));
    EXPECT_EQ(range(TimeframePreset::yearly, now, berlin).start, utc(2025, 12, 31, 23));
    // 00:30 on 1 January in Berlin is still 31 December in UTC.
    EXPECT_EQ(range(TimeframePreset::yearly, utc(2025, 12, 31, 23, 30), berlin).start, utc(2025, 12, 31, 23));
    EXPECT_EQ(range(TimeframePreset::monthly, utc(2025, 12, 31, 23, 30), berlin).start, utc(2025, 12, 31, 23));
}

TEST(TimeframeRangeTest, GivenCustomRangeComesBackUnchanged) {
    const auto utcCalendar = Calendar::named("UTC");
    const Date now = utc(2026, 3, 2, 10);
    const DateRange reversed{utc(2026, 3, 1, 0), utc(2026, 2, 1, 0)};
    const DateRange future{utc(2026, 2, 1, 0), utc(2027, 1, 1, 0)};
    EXPECT_EQ(resolvedRange(TimeframePreset::custom, reversed, now, utcCalendar), reversed);
    EXPECT_EQ(resolvedRange(TimeframePreset::custom, future, now, utcCalendar), future);
    // Other presets ignore a custom range; a calendar without a zone is UTC.
    EXPECT_EQ(resolvedRange(TimeframePreset::daily, future, now, Calendar{}), (DateRange{utc(2026, 3, 2, 0), now}));
}

TEST(TimeframeRangeTest, WeeksAcrossDaylightSavingChangesCountCalendarDays) {
    const auto berlin = Calendar::named("Europe/Berlin");
    const Date friday = utc(2024, 4, 5, 8);  // 10:00 CEST, the week holds a 23-hour day
    EXPECT_EQ(range(TimeframePreset::weekly, friday, berlin).start, utc(2024, 3, 29, 23));  // Saturday 00:00 CET
    EXPECT_EQ(range(TimeframePreset::custom, friday, berlin).start, utc(2024, 3, 30, 9));   // Saturday 10:00 CET
    const auto newYork = Calendar::named("America/New_York");
    const Date later = utc(2024, 11, 8, 15);  // 10:00 EST, the week holds a 25-hour day
    EXPECT_EQ(range(TimeframePreset::weekly, later, newYork).start, utc(2024, 11, 2, 4));
    EXPECT_EQ(range(TimeframePreset::custom, later, newYork).start, utc(2024, 11, 2, 14));  // 10:00 EDT
}

TEST(TimeframeRangeTest, CustomClockTimeInAGapOrAnOverlap) {
    const auto newYork = Calendar::named("America/New_York");
    // 02:30 on 10 March 2024 does not exist: it moves past the gap to 03:30 EDT.
    EXPECT_EQ(range(TimeframePreset::custom, utc(2024, 3, 16, 6, 30), newYork).start, utc(2024, 3, 10, 7, 30));
    // 01:30 on 3 November 2024 happens twice: the earlier (EDT) one.
    EXPECT_EQ(range(TimeframePreset::custom, utc(2024, 11, 9, 6, 30), newYork).start, utc(2024, 11, 3, 5, 30));
}

TEST(TimeframeRangeTest, DayWithoutMidnightStartsWhenTheDayBegins) {
    const auto saoPaulo = Calendar::named("America/Sao_Paulo");
    // 4 November 2018 began at 01:00 -02.
    EXPECT_EQ(range(TimeframePreset::daily, utc(2018, 11, 4, 15), saoPaulo).start, utc(2018, 11, 4, 3));
    EXPECT_EQ(range(TimeframePreset::weekly, utc(2018, 11, 10, 14), saoPaulo).start, utc(2018, 11, 4, 3));
    const auto havana = Calendar::named("America/Havana");
    EXPECT_EQ(range(TimeframePreset::daily, utc(2024, 3, 10, 17), havana).start, utc(2024, 3, 10, 5));
    // Midnight twice on 3 November 2024: the day starts at the first one.
    EXPECT_EQ(range(TimeframePreset::daily, utc(2024, 11, 3, 17), havana).start, utc(2024, 11, 3, 4));
}

TEST(TimeframeRangeTest, StartsDateCannotHoldBecomeNow) {
    const auto utcCalendar = Calendar::named("UTC");
    const Date early = Date::min() + hours{1};  // 1677-09-21, after that day's midnight
    for (const auto preset : allTimeframePresets) {
        EXPECT_EQ(range(preset, early, utcCalendar), (DateRange{early, early})) << rawValue(preset);
    }
    const Date late = Date::max() - hours{1};
    EXPECT_EQ(range(TimeframePreset::daily, late, utcCalendar).start, utc(2262, 4, 11, 0));
}

}  // namespace
}  // namespace ostrel
