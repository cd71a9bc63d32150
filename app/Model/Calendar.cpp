#include "Model/Calendar.hpp"

#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>

namespace ostrel {
namespace {

using namespace std::chrono;

const date::time_zone* utcZone() {
    return date::locate_zone("Etc/UTC");
}

// glibc's reading of TZ: ":Name" is "Name", a path under a zoneinfo folder names that zone,
// an empty value is UTC, and a name it cannot find is UTC as well.
const date::time_zone* zoneFromTZ(std::string_view value) {
    if (!value.empty() && value.front() == ':') {
        value.remove_prefix(1);
    }
    if (!value.empty() && value.front() == '/') {
        constexpr std::string_view marker = "zoneinfo/";
        const auto at = value.rfind(marker);
        value = at == std::string_view::npos ? std::string_view{} : value.substr(at + marker.size());
    }
    if (value.empty()) {
        return utcZone();
    }
    try {
        return date::locate_zone(std::string(value));
    } catch (const std::exception&) {
        return utcZone();
    }
}

}  // namespace

Calendar Calendar::current() {
    if (const char* tz = std::getenv("TZ")) {
        return Calendar{zoneFromTZ(tz)};
    }
    try {
        return Calendar{date::current_zone()};
    } catch (const std::exception&) {
        return Calendar{utcZone()};  // no /etc/localtime, as in some containers
    }
}

const date::time_zone& Calendar::zone() const {
    return timeZone != nullptr ? *timeZone : *utcZone();
}

date::local_days Calendar::localDay(Date date) const {
    return floor<days>(zone().to_local(floor<seconds>(date)));
}

std::optional<Date> Calendar::startOfDay(date::local_days day) const {
    const date::local_seconds midnight{day};
    const auto info = zone().get_info(midnight);
    sys_seconds start;
    if (info.result == date::local_info::nonexistent) {
        start = info.first.end;
    } else {
        // Unique, or ambiguous and the first offset is the earlier of the two instants.
        start = sys_seconds{midnight.time_since_epoch()} - info.first.offset;
    }
    if (start < ceil<seconds>(Date::min()) || start > floor<seconds>(Date::max())) {
        return std::nullopt;
    }
    return Date{start};
}

}  // namespace ostrel
