#include "Persistence/support/PersistenceTestSupport.hpp"

namespace ostrel::testing {

Rows DatabaseInspector::rows(const std::string& sql) {
    Rows result;
    database_.query(sql, {}, [&](const SQLiteRow& row) {
        auto& columns = result.emplace_back();
        for (int column = 0; column < sqlite3_column_count(row.statement()); ++column) {
            columns.push_back(row.optionalText(column).value_or("NULL"));
        }
    });
    return result;
}

Rows DatabaseInspector::schema() {
    return rows(
        "SELECT m.name, p.name, p.type, p.\"notnull\", p.dflt_value, p.pk FROM sqlite_master m, "
        "pragma_table_info(m.name) p WHERE m.type = 'table' UNION ALL SELECT m.name, f.\"table\", f.\"from\", "
        "f.\"to\", NULL, NULL FROM sqlite_master m, pragma_foreign_key_list(m.name) f WHERE m.type = 'table' "
        "UNION ALL SELECT name, sql, NULL, NULL, NULL, NULL FROM sqlite_master WHERE type = 'index' ORDER BY 1, 2, 3;");
}

Rows DatabaseInspector::dump() {
    Rows all = schema();
    for (const auto& table : rows("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name;")) {
        for (auto& row : rows("SELECT * FROM " + table[0] + " ORDER BY rowid;")) all.push_back(std::move(row));
    }
    return all;
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
    return UsageSampleRecord{
        std::move(id),     timestamp, networkID, networkID + " name", NetworkType::wifi, appID, appID + " name", rx, tx,
        std::move(source), 0.5};
}

std::shared_ptr<OstrelRepository> openRepository(const std::string& path) {
    return std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(path));
}

}  // namespace ostrel::testing
