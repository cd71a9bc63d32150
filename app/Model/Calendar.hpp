#pragma once

#include <date/tz.h>

namespace ostrel {

// The user's calendar: Gregorian, in a time zone. Tests pass a fixed zone instead of
// changing the machine's.
struct Calendar {
    const date::time_zone* timeZone = nullptr;

    // The process's current zone (TZ when set, else the system's), read at each call.
    static Calendar current();
    static Calendar named(const char* zoneName) { return Calendar{date::locate_zone(zoneName)}; }
};

}  // namespace ostrel
