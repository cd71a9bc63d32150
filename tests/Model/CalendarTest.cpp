#include <gtest/gtest.h>

#include <cstdlib>

#include "Model/Calendar.hpp"

namespace ostrel {
namespace {

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
        setenv("TZ", value, 1);
        EXPECT_EQ(Calendar::current().zone().name(), zone) << value;
    }
    unsetenv("TZ");  // the machine's zone
    EXPECT_EQ(&Calendar::current().zone(), date::current_zone());
}

}  // namespace
}  // namespace ostrel
