#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Model/Calendar.hpp"
#include "Model/Date.hpp"

namespace ostrel {

// The roll-up keys: the local wall-clock day "yyyy-MM-dd" and hour "yyyy-MM-ddTHH:00:00"
// of an instant, the same texts SQLite's strftime(..., 'localtime') gives in that zone.
std::string dayKey(Date date, const Calendar& calendar);
std::string hourKey(Date date, const Calendar& calendar);

// The first instant of the local day a "yyyy-MM-dd" key names (see Calendar::startOfDay);
// nothing for any other text or a day that does not exist.
std::optional<Date> startOfDayKey(std::string_view key, const Calendar& calendar);

}  // namespace ostrel
