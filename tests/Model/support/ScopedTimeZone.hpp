#pragma once

#include <stdlib.h>
#include <time.h>

#include <optional>
#include <string>

namespace ostrel::testing {

// Sets TZ for the process (nullptr unsets it) and restores it. The calendar and SQLite's
// 'localtime' both follow it; set it before starting threads.
class ScopedTimeZone final {
public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* current = getenv("TZ")) previous_ = current;
        zone ? setenv("TZ", zone, 1) : unsetenv("TZ");
        tzset();
    }
    ~ScopedTimeZone() {
        previous_ ? setenv("TZ", previous_->c_str(), 1) : unsetenv("TZ");
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<std::string> previous_;
};

}  // namespace ostrel::testing
