#include "Model/Calendar.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace ostrel {
namespace {

// Sets TZ for one block and puts the previous value back.
class ScopedTZ {
public:
    explicit ScopedTZ(const char* value) {
        if (const char* old = std::getenv("TZ")) {
            previous_ = old;
        }
        value != nullptr ? setenv("TZ", value, 1) : unsetenv("TZ");
    }
    ~ScopedTZ() { previous_ ? setenv("TZ", previous_->c_str(), 1) : unsetenv("TZ"); }
    ScopedTZ(const ScopedTZ&) = delete;
    ScopedTZ& operator=(const ScopedTZ&) = delete;

private:
    std::optional<std::string> previous_;
};

// SQLite's 'localtime' follows the C library, so the day keys must read TZ the same way.
TEST(CalendarTest, CurrentReadsTZAsTheCLibraryDoes) {
    const std::pair<const char*, const char*> cases[] = {
        {"Europe/Berlin", "Europe/Berlin"},
        {":Asia/Tokyo", "Asia/Tokyo"},
        {"/usr/share/zoneinfo/America/New_York", "America/New_York"},
        {"", "Etc/UTC"},
        {"Not/AZone", "Etc/UTC"},
        {"/nowhere/at/all", "Etc/UTC"},
    };
    for (const auto& [value, zone] : cases) {
        ScopedTZ tz(value);
        EXPECT_EQ(Calendar::current().zone().name(), zone) << value;
    }
    ScopedTZ unset(nullptr);
    EXPECT_EQ(&Calendar::current().zone(), date::current_zone());
}

}  // namespace
}  // namespace ostrel
