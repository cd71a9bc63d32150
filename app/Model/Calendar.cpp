#include "Model/Calendar.hpp"

#include <time.h>

namespace ostrel {
namespace {

using namespace std::chrono;

// Beyond any UTC offset the C library takes (a POSIX rule allows 24:59:59).
constexpr seconds offsetBound = hours{26};
// Offset changes crossed while looking for one local time; real zones change twice a year.
constexpr int maximumChanges = 8;

std::optional<Date> representable(sys_seconds instant) {
    if (instant < ceil<seconds>(Date::min()) || instant > floor<seconds>(Date::max())) {
        return std::nullopt;
    }
    return Date{instant};
}

}  // namespace

Calendar Calendar::current() {
    tzset();
    return Calendar{};
}

date::local_seconds Calendar::localTime(sys_seconds instant) const {
    const auto value = static_cast<time_t>(instant.time_since_epoch().count());
    tm fields{};
    if (localtime_r(&value, &fields) == nullptr) {
        return date::local_seconds{instant.time_since_epoch()};
    }
    // From the fields, as SQLite takes them: a leap second's :60 runs into the next minute.
    const date::year_month_day day{date::year{fields.tm_year + 1900},
                                   date::month{static_cast<unsigned>(fields.tm_mon + 1)},
                                   date::day{static_cast<unsigned>(fields.tm_mday)}};
    return date::local_days{day} + hours{fields.tm_hour} + minutes{fields.tm_min} + seconds{fields.tm_sec};
}

seconds Calendar::offsetAt(sys_seconds instant) const {
    return localTime(instant).time_since_epoch() - instant.time_since_epoch();
}

date::local_days Calendar::localDay(Date date) const {
    return floor<days>(localTime(floor<seconds>(date)));
}

// The library tells offsets, not transitions: walk from an instant surely before `local`, and
// wherever the offset differs from the one in force, bisect for the change and go on from it.
// A change and its reversal within one step would go unseen; no zone has those.
sys_seconds Calendar::firstSecondAtOrAfter(date::local_seconds local) const {
    const sys_seconds wall{local.time_since_epoch()};
    sys_seconds from = wall - offsetBound;
    for (int change = 0; change < maximumChanges; ++change) {
        const seconds offset = offsetAt(from);
        if (from + offset >= wall) {
            return from;  // a gap ends here
        }
        const sys_seconds reached = wall - offset;
        if (offsetAt(reached) == offset) {
            return reached;
        }
        sys_seconds same = from, other = reached;
        while (other - same > seconds{1}) {
            const sys_seconds middle = same + (other - same) / 2;
            (offsetAt(middle) == offset ? same : other) = middle;
        }
        from = other;
    }
    return from;
}

std::optional<Date> Calendar::firstInstantAtOrAfter(date::local_seconds local) const {
    return representable(firstSecondAtOrAfter(local));
}

std::optional<Date> Calendar::startOfDay(date::local_days day) const {
    return firstInstantAtOrAfter(date::local_seconds{day});
}

std::optional<Date> Calendar::instant(date::local_seconds local) const {
    const sys_seconds first = firstSecondAtOrAfter(local);
    if (localTime(first) == local) {
        return representable(first);
    }
    // Skipped: read with the offset before the gap, which lands as far past its end.
    return representable(sys_seconds{local.time_since_epoch()} - offsetAt(first - seconds{1}));
}

}  // namespace ostrel
