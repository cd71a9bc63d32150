#pragma once

#include <optional>
#include <string>
#include <string_view>

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
    // A digest of what the zone file says about offsets from UTC, and only that: its transitions
    // where the offset changes, leap seconds and the rule for later times, without the names of
    // the zones (abbreviations). Zones that are links to one another, or that differ in names
    // alone (UTC and GMT), have the same digest. Empty when no zone file could be read as one.
    std::string rulesDigest;

    bool operator==(const TimeZoneIdentity&) const = default;
    // Every instant has the same local time in both: the same offsets by the zone files, else the
    // same setting and database.
    bool sameRules(const TimeZoneIdentity& other) const;
    // A text that two identities share exactly when they have the same rules.
    std::string rulesKey() const;

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
    // The rules digest of a zone file's content (TZif); empty for anything else.
    static std::string rulesDigestOf(std::string_view zoneFile);
};

}  // namespace ostrel
