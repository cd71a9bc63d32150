#pragma once

#include <optional>
#include <string>

namespace ostrel {

// Which local time the C library gives, and so SQLite's 'localtime': two equal identities
// turn every instant into the same local time. It is the TZ setting as written, or the zone
// file /etc/localtime leads to when TZ is unset; the version of the installed time-zone
// database; and a digest of the zone file the setting reads, which also tells a copied
// /etc/localtime, a TZDIR elsewhere or a zone file changed in place apart.
struct TimeZoneIdentity {
    std::string name;
    std::string databaseVersion;
    std::string fileDigest;  // empty when the setting reads no file (a POSIX rule, UTC)

    bool operator==(const TimeZoneIdentity&) const = default;

    struct Paths {
        std::string localtime = "/etc/localtime";
        std::string zoneinfo = "/usr/share/zoneinfo";
    };

    // The process's zone now. Calls tzset() first, so the C library (and SQLite with it) also
    // uses this zone from here on.
    static TimeZoneIdentity current();
    // For the TZ and TZDIR values given (nothing: unset), read as glibc reads them.
    static TimeZoneIdentity of(const std::optional<std::string>& tz, const std::optional<std::string>& tzdir,
                               const Paths& paths);
};

}  // namespace ostrel
