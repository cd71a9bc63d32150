#include <gtest/gtest.h>
#include <sqlite3.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Model/Iso8601.hpp"
#include "Model/LocalKeys.hpp"
#include "Model/support/ScopedTimeZone.hpp"

namespace ostrel {
namespace {

using namespace std::chrono;

std::string cLibraryLocal(sys_seconds instant) {
    const auto value = static_cast<time_t>(instant.time_since_epoch().count());
    tm fields{};
    std::array<char, 32> text{};
    if (localtime_r(&value, &fields) == nullptr) return "localtime_r failed";
    return std::string(text.data(), strftime(text.data(), text.size(), "%Y-%m-%d %H:%M:%S", &fields));
}

// What the roll-up rebuild makes of a stored time stamp: SQLite's local time, day key and hour key.
std::vector<std::string> sqliteLocal(sqlite3* database, const std::string& stamp) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(database,
                       "SELECT strftime('%Y-%m-%d %H:%M:%S', ?1, 'localtime'), strftime('%Y-%m-%d', ?1, 'localtime'), "
                       "strftime('%Y-%m-%dT%H:00:00', ?1, 'localtime');",
                       -1, &statement, nullptr);
    sqlite3_bind_text(statement, 1, stamp.c_str(), -1, SQLITE_TRANSIENT);
    std::vector<std::string> texts;
    const bool row = sqlite3_step(statement) == SQLITE_ROW;
    for (int column = 0; row && column < 3; ++column) {
        texts.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)));
    }
    sqlite3_finalize(statement);
    return texts;
}

// Keys are written from the calendar and rebuilt by SQLite, which asks the C library: all three
// must read every TZ setting alike, around both changes of the European and American rules.
TEST(CalendarTest, LocalTimeIsTheCLibrarysAndSQLitesForEveryTZSetting) {
    const auto copiedZone = std::filesystem::temp_directory_path() / ("ostrel-zone-" + std::to_string(::getpid()));
    std::filesystem::copy_file("/usr/share/zoneinfo/America/New_York", copiedZone,
                               std::filesystem::copy_options::overwrite_existing);
    const std::string copied = copiedZone.string();
    const char* settings[] = {
        nullptr, "Europe/Berlin", ":/etc/localtime", copied.c_str(), "JST-9", "CET-1CEST,M3.5.0,M10.5.0/3", "Not/AZone",
        ""};
    std::vector<sys_seconds> instants;
    for (const sys_days day : {sys_days{2026y / 3 / 29}, sys_days{2026y / 10 / 25}}) {  // 01:00 UTC
        for (int quarter = -8; quarter <= 8; ++quarter) instants.push_back(day + 1h + quarter * 15min);
    }
    for (const sys_seconds change : {sys_days{2026y / 3 / 8} + 7h, sys_days{2026y / 11 / 1} + 6h}) {
        for (int quarter = -8; quarter <= 8; ++quarter) instants.push_back(change + quarter * 15min - 1s);
    }
    sqlite3* opened = nullptr;
    sqlite3_open(":memory:", &opened);
    const std::unique_ptr<sqlite3, int (*)(sqlite3*)> sqlite(opened, sqlite3_close);
    for (const char* setting : settings) {
        testing::ScopedTimeZone zone(setting);
        const auto calendar = Calendar::current();
        for (const sys_seconds instant : instants) {
            const std::string stamp = ostrelISO8601String(Date{instant});
            SCOPED_TRACE(std::string(setting ? setting : "(unset)") + " at " + stamp);
            const std::string local = cLibraryLocal(instant);
            ASSERT_EQ(date::format("%F %T", calendar.localTime(instant)), local);
            ASSERT_EQ(
                sqliteLocal(sqlite.get(), stamp),
                (std::vector<std::string>{local, dayKey(Date{instant}, calendar), hourKey(Date{instant}, calendar)}));
            // The day's first instant: on that day, not after this one, and the second before it is not.
            const auto day = calendar.localDay(Date{instant});
            const auto start = calendar.startOfDay(day);
            ASSERT_TRUE(start && calendar.localDay(*start) == day && *start <= Date{instant});
            ASSERT_LT(calendar.localDay(*start - 1s), day);
        }
    }
    std::filesystem::remove(copiedZone);
}

}  // namespace
}  // namespace ostrel
