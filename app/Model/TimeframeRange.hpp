#pragma once

#include <optional>

#include "Model/Calendar.hpp"
#include "Model/Date.hpp"
#include "Model/Enums.hpp"
#include "Model/Records.hpp"

namespace ostrel {

// The same clock time `count` calendar days before `from`; nothing where the calendar forms no
// such date.
std::optional<Date> sameTimeDaysBefore(Date from, int count, const Calendar& calendar);

// The date range a timeframe covers at `now`, in calendar days of `calendar` (a day across a
// daylight-saving change has 23 or 25 hours). A given custom range comes back unchanged; a start
// the calendar cannot form is `now`.
DateRange resolvedRange(TimeframePreset preset, const std::optional<DateRange>& customRange, Date now,
                        const Calendar& calendar);

}  // namespace ostrel
