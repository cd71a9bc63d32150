#include <gtest/gtest.h>

#include "Model/TimeframeRange.hpp"
#include "Model/support/ScopedTimeZone.hpp"

namespace ostrel {
namespace {

using namespace std::chrono;
using P = TimeframePreset;

Date utc(int y, unsigned mo, unsigned d, int h, int mi = 0) {
    return Date{sys_days{year{y} / mo / d} + hours{h} + minutes{mi}};
}

// Presets count calendar days of the zone: a week across a daylight-saving change is not 7 x 24
// hours, and a day without a midnight starts when it begins.
TEST(TimeframeRangeTest, PresetsStartAtLocalDayBoundaries) {
    const Date mondayTen = utc(2026, 3, 2, 10) + milliseconds{250};
    const struct {
        P preset;
        const char* zone;
        Date now, start;
    } cases[] = {
        {P::daily, "Europe/Berlin", utc(2026, 3, 1, 23), utc(2026, 3, 1, 23)},  // at midnight: empty
        {P::daily, "Europe/Berlin", utc(2026, 3, 1, 23) - nanoseconds{1}, utc(2026, 2, 28, 23)},
        {P::weekly, "UTC", mondayTen, utc(2026, 2, 24, 0)},
        {P::custom, "UTC", mondayTen, utc(2026, 2, 24, 10) + milliseconds{250}},
        {P::monthly, "Europe/Berlin", utc(2026, 7, 15, 12), utc(2026, 6, 30, 22)},
        {P::yearly, "Europe/Berlin", utc(2026, 7, 15, 12), utc(2025, 12, 31, 23)},
        {P::yearly, "Europe/Berlin", utc(2025, 12, 31, 23, 30), utc(2025, 12, 31, 23)},  // already 1 January
        {P::monthly, "Europe/Berlin", utc(2025, 12, 31, 23, 30), utc(2025, 12, 31, 23)},
        {P::weekly, "Europe/Berlin", utc(2024, 4, 5, 8), utc(2024, 3, 29, 23)},  // holds a 23-hour day
        {P::custom, "Europe/Berlin", utc(2024, 4, 5, 8), utc(2024, 3, 30, 9)},
        {P::weekly, "America/New_York", utc(2024, 11, 8, 15), utc(2024, 11, 2, 4)},  // holds a 25-hour day
        {P::custom, "America/New_York", utc(2024, 11, 8, 15), utc(2024, 11, 2, 14)},
        {P::custom, "America/New_York", utc(2024, 3, 16, 6, 30), utc(2024, 3, 10, 7, 30)},  // 02:30 skipped
        {P::custom, "America/New_York", utc(2024, 11, 9, 6, 30), utc(2024, 11, 3, 5, 30)},  // 01:30 twice
        {P::daily, "America/Sao_Paulo", utc(2018, 11, 4, 15), utc(2018, 11, 4, 3)},         // began at 01:00
        {P::weekly, "America/Sao_Paulo", utc(2018, 11, 10, 14), utc(2018, 11, 4, 3)},       // 6 days back
        {P::daily, "America/Havana", utc(2024, 3, 10, 17), utc(2024, 3, 10, 5)},
        {P::weekly, "America/Havana", utc(2024, 3, 10, 17), utc(2024, 3, 4, 6)},  // today's 01:00, 6 days back
        {P::daily, "America/Havana", utc(2024, 11, 3, 17), utc(2024, 11, 3, 4)},  // midnight twice
        {P::daily, "UTC", Date::max() - hours{1}, utc(2262, 4, 11, 0)},
    };
    for (const auto& c : cases) {
        testing::ScopedTimeZone zone(c.zone);
        EXPECT_EQ(resolvedRange(c.preset, std::nullopt, c.now, Calendar::current()), (DateRange{c.start, c.now}))
            << rawValue(c.preset) << " " << c.zone << " " << c.now.time_since_epoch().count();
    }
    // A start before the earliest representable midnight is now.
    testing::ScopedTimeZone zone("UTC");
    const Date early = Date::min() + hours{1};
    for (const auto preset : allTimeframePresets) {
        EXPECT_EQ(resolvedRange(preset, std::nullopt, early, Calendar::current()), (DateRange{early, early}))
            << rawValue(preset);
    }
}

TEST(TimeframeRangeTest, GivenCustomRangeComesBackUnchangedAndOtherPresetsIgnoreIt) {
    testing::ScopedTimeZone zone("UTC");
    const Date now = utc(2026, 3, 2, 10);
    for (const DateRange given : {DateRange{utc(2026, 3, 1, 0), utc(2026, 2, 1, 0)},     // reversed
                                  DateRange{utc(2026, 2, 1, 0), utc(2027, 1, 1, 0)}}) {  // into the future
        EXPECT_EQ(resolvedRange(P::custom, given, now, Calendar::current()), given);
        EXPECT_EQ(resolvedRange(P::daily, given, now, Calendar::current()), (DateRange{utc(2026, 3, 2, 0), now}));
    }
}

}  // namespace
}  // namespace ostrel
