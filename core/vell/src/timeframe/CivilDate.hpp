#pragma once

#include <cstdint>

namespace ostrel::vell {

struct CivilDate {
    std::int64_t year = 1970;
    unsigned month = 1;  // 1 ... 12
    unsigned day = 1;    // 1 ... 31
};

// Proleptic Gregorian calendar, days counted from 1970-01-01.
std::int64_t daysFromCivil(const CivilDate& date);
CivilDate civilFromDays(std::int64_t days);
bool isLeapYear(std::int64_t year);
unsigned daysInMonth(std::int64_t year, unsigned month);

// Floor division and remainder, so that instants before 1970 land in the right day or bucket.
constexpr std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}
constexpr std::int64_t floorMod(std::int64_t a, std::int64_t b) {
    const std::int64_t r = a % b;
    return (r != 0 && ((r < 0) != (b < 0))) ? r + b : r;
}

}  // namespace ostrel::vell
