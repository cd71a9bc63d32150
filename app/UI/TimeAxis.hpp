#pragma once

#include <string>
#include <vector>

#include "Model/Calendar.hpp"
#include "Model/Date.hpp"

namespace ostrel {

struct TimeAxisMark {
    Date date;
    std::string label;

    bool operator==(const TimeAxisMark&) const = default;
};

// About `desiredCount` marks between `first` and `last` (inclusive) at round local times: whole
// minutes or hours of the day, midnights, firsts of months or New Years, whichever step comes
// closest to the count (the finer one on a tie). Labels follow the locale: "6 AM" or "18" for
// hours, "Mar 3" or "3. März" for days, the month or the year for longer steps. An empty
// `localeName` is the user's locale.
std::vector<TimeAxisMark> timeAxisMarks(Date first, Date last, int desiredCount, const Calendar& calendar,
                                        const std::string& localeName = {});

}  // namespace ostrel
