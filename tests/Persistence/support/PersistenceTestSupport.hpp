#pragma once

#include <date/tz.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Model/support/ScopedTimeZone.hpp"
#include "Persistence/OstrelRepository.hpp"
#include "Platform/support/TempTree.hpp"

namespace ostrel::testing {

using Rows = std::vector<std::vector<std::string>>;

// A second connection to the same file, to look at what the repository left behind.
class DatabaseInspector final {
public:
    explicit DatabaseInspector(const std::string& path) : database_(path) {}
    void execute(const std::string& sql) { database_.execute(sql); }
    // Every column as text, NULL as "NULL".
    Rows rows(const std::string& sql);
    std::int64_t scalar(const std::string& sql) { return std::stoll(rows(sql).at(0).at(0)); }
    std::int64_t count(const std::string& table) { return scalar("SELECT COUNT(*) FROM " + table + ";"); }
    // Columns by name (ALTER appends), foreign keys and indexes; dump() adds every row.
    Rows schema();
    Rows dump();

private:
    SQLiteDatabase database_;
};

// A local wall-clock time in a zone as an instant, read from the time zone database (apart from
// the C library the repository's keys come from).
Date localTime(const char* zone, int year, unsigned month, unsigned day, int hour, int minute = 0, int second = 0,
               int millisecond = 0, date::choose choose = date::choose::earliest);

UsageSampleRecord makeSample(std::string id, Date timestamp, std::string networkID, std::string appID, std::int64_t rx,
                             std::int64_t tx, std::string source = "nettop");

std::shared_ptr<OstrelRepository> openRepository(const std::string& path);

}  // namespace ostrel::testing
