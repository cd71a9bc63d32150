#pragma once

#include <optional>

#include <date/tz.h>

#include "Model/Date.hpp"

namespace ostrel {

// The user's calendar: Gregorian, in a time zone. Tests pass a fixed zone instead of
// changing the machine's.
struct Calendar {
    const date::time_zone* timeZone = nullptr;  // nullptr: UTC

    // The process's current zone, read at each call: TZ when it is set (as the C library,
    // and so SQLite's 'localtime', reads it), else the system's.
    static Calendar current();
    // Throws std::runtime_error for a name the time zone database does not know.
    static Calendar named(const char* zoneName) { return Calendar{date::locate_zone(zoneName)}; }

    const date::time_zone& zone() const;

    // The local calendar day an instant falls on.
    date::local_days localDay(Date date) const;

    // The first instant of a local day: its midnight; the earlier one when midnight happens
    // twice; the end of the gap when a daylight-saving change skips midnight. Nothing when
    // the instant lies outside what Date holds.
    std::optional<Date> startOfDay(date::local_days day) const;
};

}  // namespace ostrel
