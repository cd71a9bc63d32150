#pragma once

#include <cstdint>
#include <string>

namespace ostrel {

// A fraction as a percentage in the user's locale, 0 to 1 fraction digits: 0.25 -> "25%",
// 0.1234 -> "12.3%" (English). NaN, infinities and formatter failures give "0%".
std::string percentageString(double fraction);

// Byte counts for people, binary units (1 KB = 1024 bytes), KB to TB only, the number in the
// user's locale (decimal and grouping separators) with at most 0 (KB), 1 (MB) or 2 (GB, TB)
// fraction digits and no trailing zeros: 1536 -> "2 KB", 1572864 -> "1.5 MB".
// - 0 is "Zero KB", as macOS writes it; any other count below 1 KB is "1 KB", never "0 KB".
// - Rounding is half-to-even at the unit's precision; a value that rounds to 1024 of its unit
//   moves up one unit (1023.6 KB -> "1 MB", not "1,024 KB"). Past 1023.995 TB it stays in TB.
// - A negative count is written as its size with the locale's minus sign ("-1.5 MB").
std::string byteString(std::int64_t count);

// The same in a named ICU locale ("en_US", "de_DE") instead of the user's.
std::string percentageString(double fraction, const std::string& localeName);
std::string byteString(std::int64_t count, const std::string& localeName);

}  // namespace ostrel
