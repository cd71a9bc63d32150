#pragma once

#include <QString>
#include <cstdint>
#include <string>

#include "Model/Calendar.hpp"
#include "Model/Date.hpp"
#include "Model/Enums.hpp"

namespace ostrel {

// The type's raw string with its first letter capitalized: "wifi" -> "Wifi", "vpn" -> "Vpn".
QString networkTypeLabel(NetworkType type);

// byteString and percentageString, as Qt text.
QString bytesText(std::int64_t count);
QString shareText(double fraction);

// When a busiest period began: abbreviated month, day and hour with its AM/PM marker where the
// locale has one, arranged as the locale does ("Mar 10, 2 PM" in English, "10. März, 14 Uhr" in
// German), in the calendar's time zone. An empty `localeName` is the user's locale.
QString periodStartText(Date start, const Calendar& calendar, const std::string& localeName = {});

}  // namespace ostrel
