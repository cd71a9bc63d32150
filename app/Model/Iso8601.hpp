#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Model/Date.hpp"

namespace ostrel {

// The one timestamp text of the program: UTC, three fraction digits, "Z"
// (2026-03-01T14:05:09.123Z), so that text order is time order. Thread-safe.
// Sub-millisecond parts are cut off (floored), so a later instant never writes a smaller text.
std::string ostrelISO8601String(Date date);

// Reads the internet date-time form with a fraction (1 to 9 digits) back; the zone is "Z" or a
// "+hh:mm"/"-hh:mm" offset, as any internet date-time may carry. Nothing for any other text:
// no fraction, out-of-range fields (month 13, 24:00, leap second 60, 30 February), instants
// Date cannot hold (before 1677-09-21, after 2262-04-11), lower-case separators, blanks.
std::optional<Date> ostrelISO8601Date(std::string_view text);

// The same form without a fraction (2026-03-01T14:05:09+01:00), for text written by older
// builds or other tools. Text with a fraction is not this form and gives nothing.
std::optional<Date> iso8601DateWithoutFraction(std::string_view text);

}  // namespace ostrel
