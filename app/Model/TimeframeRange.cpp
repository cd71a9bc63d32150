#include "Model/TimeframeRange.hpp"

#include <chrono>

namespace ostrel {

using namespace std::chrono;

// A time the change to summer time skips moves forward by the gap; a time that happens twice
// takes the earlier instant.
std::optional<Date> sameTimeDaysBefore(Date from, int count, const Calendar& calendar) {
    const sys_seconds whole = floor<seconds>(from);
    const auto fraction = from - whole;
    const auto moved = calendar.instant(calendar.localTime(whole) - date::days{count});
    if (!moved || *moved > Date::max() - fraction) {
        return std::nullopt;
    }
    return *moved + fraction;
}

DateRange resolvedRange(TimeframePreset preset, const std::optional<DateRange>& customRange, Date now,
                        const Calendar& calendar) {
    if (preset == TimeframePreset::custom && customRange) {
        return *customRange;
    }
    const date::local_days today = calendar.localDay(now);
    const date::year_month_day ymd{today};
    std::optional<Date> start;
    switch (preset) {
        case TimeframePreset::daily:
            start = calendar.startOfDay(today);
            break;
        case TimeframePreset::weekly:
            // Calendar days back from today's start keep its clock time, which is not midnight
            // on a day whose midnight the clocks skip.
            if (const auto todayStart = calendar.startOfDay(today)) {
                start = sameTimeDaysBefore(*todayStart, 6, calendar);
            }
            break;
        case TimeframePreset::monthly:
            start = calendar.startOfDay(date::local_days{ymd.year() / ymd.month() / 1});
            break;
        case TimeframePreset::yearly:
            start = calendar.startOfDay(date::local_days{ymd.year() / 1 / 1});
            break;
        case TimeframePreset::custom:
            start = sameTimeDaysBefore(now, 6, calendar);
            break;
    }
    return DateRange{start.value_or(now), now};
}

}  // namespace ostrel
