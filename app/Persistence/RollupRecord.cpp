#include "Persistence/RollupRecord.hpp"

namespace ostrel {
namespace {

// One trigger per table and kind of change; only rows that the program did not mark as its own
// count.
constexpr const char* watched[][2] = {{"usage_samples", "samples"}, {"hourly_usage", "hours"}, {"daily_usage", "days"}};
constexpr const char* changes[][2] = {{"INSERT", "insert"}, {"UPDATE", "update"}, {"DELETE", "delete"}};

std::string triggerName(const char* table, const char* change) {
    return std::string("rollup_state_counts_") + table + "_" + change;
}

}  // namespace

std::optional<RollupRecord> RollupRecord::read(SQLiteConnection& connection) {
    std::optional<RollupRecord> record;
    connection.query("SELECT zone_rules, other_zone_writes, outside_edits FROM rollup_state;", {},
                     [&](const SQLiteRow& row) {
                         record = RollupRecord{row.text(0), row.int64(1) != 0, row.int64(2)};
                     });
    return record;
}

bool RollupRecord::exactIn(const TimeZoneIdentity& current) const {
    return !zone.empty() && zone == current.rulesKey() && !otherWrites && outsideEdits == 0;
}

namespace rollup_record {

void ownWritesBegin(SQLiteConnection& connection) {
    connection.execute("UPDATE rollup_state SET own_writes = 1;");
}

void ownWritesEnd(SQLiteConnection& connection) {
    connection.execute("UPDATE rollup_state SET own_writes = 0;");
}

// The columns that earlier builds kept get values that make them sum and check for themselves.
void rebuilt(SQLiteConnection& connection, const std::string& zone) {
    connection.execute(
        "INSERT OR REPLACE INTO rollup_state\n"
        "  (id, zone_name, tzdata_version, zone_file_digest, other_zone_writes, raw_total, zone_rules, outside_edits,\n"
        "   own_writes)\n"
        "VALUES (1, '', '', '', 0, 0, ?, 0, 1);",
        {zone});
}

void otherWrites(SQLiteConnection& connection) {
    connection.execute("UPDATE rollup_state SET other_zone_writes = 1;");
}

void watchEdits(SQLiteConnection& connection) {
    const bool daysWatched = connection.queryInt64("SELECT 1 FROM sqlite_master WHERE type = 'trigger' AND name = ?;",
                                                   {triggerName("days", "insert")}) != 0;
    createEditTriggers(connection);
    if (!daysWatched) connection.execute("UPDATE rollup_state SET outside_edits = outside_edits + 1;");
}

void createEditTriggers(SQLiteConnection& connection) {
    for (const auto& [table, short_] : watched) {
        for (const auto& [change, lower] : changes) {
            connection.execute("CREATE TRIGGER IF NOT EXISTS " + triggerName(short_, lower) + " AFTER " + change +
                               " ON " + table +
                               "\nWHEN (SELECT own_writes FROM rollup_state) IS NOT 1\n"
                               "BEGIN\n  UPDATE rollup_state SET outside_edits = outside_edits + 1;\nEND;");
        }
    }
}

void dropEditTriggers(SQLiteConnection& connection) {
    for (const auto& [table, short_] : watched) {
        for (const auto& [change, lower] : changes) {
            connection.execute("DROP TRIGGER IF EXISTS " + triggerName(short_, lower) + ";");
        }
    }
}

}  // namespace rollup_record
}  // namespace ostrel
