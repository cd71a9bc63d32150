#pragma once

#include <date/date.h>

#include <chrono>
#include <optional>

#include "Model/Date.hpp"

namespace ostrel {

// The user's calendar: Gregorian, in the time zone as the C library reads it (TZ: a zone name, a
// zone file anywhere, a POSIX rule, or UTC for anything it cannot use; unset: /etc/localtime).
// SQLite's 'localtime' asks the same library, so the day and hour keys written from here and
// those the SQL rebuild writes agree. Safe from any thread: the library guards its zone state.
class Calendar final {
public:
    // Re-reads the zone setting first, so a changed TZ or /etc/localtime counts from this call on,
    // for SQLite too.
    static Calendar current();

    // The local wall-clock time of an instant.
    date::local_seconds localTime(std::chrono::sys_seconds instant) const;
    date::local_days localDay(Date date) const;

    // The first instant of a local day: its midnight; the earlier one when midnight happens twice;
    // the end of the gap when the clocks skip midnight.
    std::optional<Date> startOfDay(date::local_days day) const;
    // The instant a local time names, as calendar arithmetic gives it: the earlier of two; a time
    // the clocks skip moves forward by the length of the gap.
    std::optional<Date> instant(date::local_seconds local) const;
    // The first instant showing `local` or a later time: the earlier of two; for a time the clocks
    // skip, the end of the gap (the next time that exists).
    std::optional<Date> firstInstantAtOrAfter(date::local_seconds local) const;
    // All three give nothing for an instant outside what Date holds.

private:
    Calendar() = default;
    std::chrono::seconds offsetAt(std::chrono::sys_seconds instant) const;
    std::chrono::sys_seconds firstSecondAtOrAfter(date::local_seconds local) const;
};

}  // namespace ostrel
