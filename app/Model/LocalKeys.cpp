#include "Model/LocalKeys.hpp"

#include <array>
#include <chrono>
#include <cstdio>

namespace ostrel {
namespace {

using namespace std::chrono;

struct LocalParts {
    date::year_month_day ymd;
    long hour;
};

LocalParts localParts(Date date, const Calendar& calendar) {
    const auto local = calendar.localTime(floor<seconds>(date));
    const auto day = floor<date::days>(local);
    return {date::year_month_day{day}, static_cast<long>(floor<hours>(local - day).count())};
}

bool readDigits(std::string_view text, std::size_t from, std::size_t count, unsigned& value) {
    value = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    return true;
}

}  // namespace

std::string dayKey(Date date, const Calendar& calendar) {
    const auto parts = localParts(date, calendar);
    std::array<char, 16> buffer{};
    const int length = std::snprintf(buffer.data(), buffer.size(), "%04d-%02u-%02u", static_cast<int>(parts.ymd.year()),
                                     static_cast<unsigned>(parts.ymd.month()), static_cast<unsigned>(parts.ymd.day()));
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

std::string hourKey(Date date, const Calendar& calendar) {
    const auto parts = localParts(date, calendar);
    std::array<char, 24> buffer{};
    const int length = std::snprintf(buffer.data(), buffer.size(), "%04d-%02u-%02uT%02ld:00:00",
                                     static_cast<int>(parts.ymd.year()), static_cast<unsigned>(parts.ymd.month()),
                                     static_cast<unsigned>(parts.ymd.day()), parts.hour);
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

std::optional<Date> startOfDayKey(std::string_view key, const Calendar& calendar) {
    unsigned y = 0, m = 0, d = 0;
    if (key.size() != 10 || key[4] != '-' || key[7] != '-' || !readDigits(key, 0, 4, y) || !readDigits(key, 5, 2, m) ||
        !readDigits(key, 8, 2, d)) {
        return std::nullopt;
    }
    const date::year_month_day ymd{date::year{static_cast<int>(y)}, date::month{m}, date::day{d}};
    if (!ymd.ok()) {
        return std::nullopt;
    }
    return calendar.startOfDay(date::local_days{ymd});
}

}  // namespace ostrel
