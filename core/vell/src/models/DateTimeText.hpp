#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "models/Timestamp.hpp"

namespace ostrel::vell {

// Why a date-time text does not read; the text of each is the reader's description.
enum class DateTimeFault { outOfRange, impossible, prematureEnd, invalidCharacters, trailingInput };

std::string_view describe(DateTimeFault fault);

// RFC 3339, relaxed: "T", "t" or a space between date and time, a fraction of any length (digits past
// the ninth ignored), blanks before the offset, and "Z", "z", "UTC" (any case) or +HH:MM / +HHMM.
std::variant<Timestamp, DateTimeFault> readDateTime(std::string_view text);

// YYYY-MM-DDTHH:MM:SS[.fff|.ffffff|.fffffffff]Z; years outside 0000-9999 carry a sign.
void appendDateTime(std::string& out, Timestamp instant);

}  // namespace ostrel::vell
