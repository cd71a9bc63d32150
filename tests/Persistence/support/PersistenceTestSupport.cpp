#include "Persistence/support/PersistenceTestSupport.hpp"

#include <stdlib.h>
#include <time.h>

#include <filesystem>
#include <stdexcept>

namespace ostrel::testing {

TemporaryFolder::TemporaryFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ostrel-persistence-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

ScopedTimeZone::ScopedTimeZone(const char* zone) {
    if (const char* current = getenv("TZ")) previous_ = current;
    setenv("TZ", zone, 1);
    tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
    if (previous_) {
        setenv("TZ", previous_->c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

std::int64_t DatabaseInspector::scalar(const std::string& sql, const std::vector<SQLiteValue>& bindings) {
    std::int64_t value = 0;
    database_.query(sql, bindings, [&](const SQLiteRow& row) { value = row.int64(0); });
    return value;
}

std::vector<std::vector<std::string>> DatabaseInspector::rows(const std::string& sql,
                                                              const std::vector<SQLiteValue>& bindings) {
    std::vector<std::vector<std::string>> result;
    database_.query(sql, bindings, [&](const SQLiteRow& row) {
        std::vector<std::string> columns;
        const int count = sqlite3_column_count(row.statement());
        for (int column = 0; column < count; ++column) {
            columns.push_back(row.optionalText(column).value_or("NULL"));
        }
        result.push_back(std::move(columns));
    });
    return result;
}

std::string DatabaseInspector::dump() {
    std::string text;
    auto append = [&](const std::vector<std::vector<std::string>>& rows) {
        for (const auto& row : rows) {
            for (const auto& column : row) text += column + "|";
            text += "\n";
        }
    };
    const auto tables = rows("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name;");
    for (const auto& table : tables) {
        text += "table " + table[0] + "\n";
        append(rows("PRAGMA table_info(" + table[0] + ");"));
        append(rows("PRAGMA foreign_key_list(" + table[0] + ");"));
        append(rows("SELECT * FROM " + table[0] + " ORDER BY rowid;"));
    }
    append(rows("SELECT type, name, tbl_name, sql FROM sqlite_master WHERE type = 'index' ORDER BY name;"));
    return text;
}

Date localTime(const char* zone, int year, unsigned month, unsigned day, int hour, int minute, int second,
               int millisecond, date::choose choose) {
    const auto local = date::local_days{date::year{year} / month / day} + std::chrono::hours{hour} +
                       std::chrono::minutes{minute} + std::chrono::seconds{second} +
                       std::chrono::milliseconds{millisecond};
    return date::locate_zone(zone)->to_sys(std::chrono::time_point_cast<std::chrono::nanoseconds>(local), choose);
}

UsageSampleRecord makeSample(std::string id, Date timestamp, std::string networkID, std::string appID, std::int64_t rx,
                             std::int64_t tx, std::string source) {
    UsageSampleRecord sample;
    sample.id = std::move(id);
    sample.timestamp = timestamp;
    sample.networkName = networkID + " name";
    sample.networkID = std::move(networkID);
    sample.networkType = NetworkType::wifi;
    sample.appName = appID + " name";
    sample.appID = std::move(appID);
    sample.rxBytes = rx;
    sample.txBytes = tx;
    sample.source = std::move(source);
    sample.attributionConfidence = 0.5;
    return sample;
}

std::shared_ptr<OstrelRepository> openRepository(const std::string& path, OstrelRepository::CalendarProvider calendar) {
    return std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(path), std::move(calendar));
}

}  // namespace ostrel::testing
