#include "Persistence/OstrelRepository.hpp"

// One row in rollup_state says what a rebuild of the roll-ups would write. A rebuild records the
// zone its keys are local to and the raw total, with no write in another zone since. Each batch,
// in its own transaction, adds its bytes and marks itself when it was keyed in another zone (or
// while the zone changed). No query of the screens reads the table.
namespace ostrel {
namespace {

constexpr const char* recordRebuildSQL =
    "INSERT OR REPLACE INTO rollup_state\n"
    "  (id, zone_name, tzdata_version, zone_file_digest, other_zone_writes, raw_total)\n"
    "VALUES (1, ?, ?, ?, 0, (SELECT COALESCE(SUM(rx_bytes + tx_bytes), 0) FROM daily_usage));";

constexpr const char* recordBatchSQL =
    "UPDATE rollup_state\n"
    "   SET raw_total = raw_total + ?,\n"
    "       other_zone_writes = other_zone_writes OR ? OR zone_name <> ? OR tzdata_version <> ?\n"
    "                           OR zone_file_digest <> ?;";

constexpr const char* keyedInSQL =
    "SELECT COUNT(*) FROM rollup_state\n"
    " WHERE zone_name = ? AND tzdata_version = ? AND zone_file_digest = ? AND other_zone_writes = 0;";

// The orphan deletes read every sample's identifier; whether they would delete anything at all
// is a few index look-ups.
constexpr const char* orphanedApplicationSQL =
    "SELECT EXISTS (SELECT 1 FROM applications a\n"
    "                WHERE NOT EXISTS (SELECT 1 FROM usage_samples us WHERE us.app_id = a.id));";
constexpr const char* orphanedNetworkSQL =
    "SELECT EXISTS (SELECT 1 FROM networks n\n"
    "                WHERE NOT EXISTS (SELECT 1 FROM usage_samples us WHERE us.network_id = n.id));";

std::int64_t single(SQLiteConnection& connection, const char* sql, const std::vector<SQLiteValue>& bindings = {}) {
    std::int64_t value = 0;
    connection.query(sql, bindings, [&](const SQLiteRow& row) { value = row.int64(0); });
    return value;
}

std::vector<SQLiteValue> zoneBindings(const TimeZoneIdentity& zone) {
    return {zone.name, zone.databaseVersion, zone.fileDigest};
}

}  // namespace

void OstrelRepository::recordRebuild(SQLiteConnection& connection, const TimeZoneIdentity& zone) {
    connection.execute(recordRebuildSQL, zoneBindings(zone));
}

void OstrelRepository::recordBatch(SQLiteConnection& connection, const SQLiteValue& rawBytes,
                                   const TimeZoneIdentity& before, const TimeZoneIdentity& after) {
    std::vector<SQLiteValue> bindings{rawBytes, std::int64_t{before == after ? 0 : 1}};
    for (auto& value : zoneBindings(before)) bindings.push_back(std::move(value));
    connection.execute(recordBatchSQL, bindings);
}

bool OstrelRepository::rollupsKeyedIn(SQLiteConnection& connection, const TimeZoneIdentity& zone) {
    return single(connection, keyedInSQL, zoneBindings(zone)) == 1;
}

std::optional<std::int64_t> OstrelRepository::recordedRawTotal() {
    std::optional<std::int64_t> total;
    database->query("SELECT raw_total FROM rollup_state WHERE typeof(raw_total) = 'integer';", {},
                    [&](const SQLiteRow& row) { total = row.int64(0); });
    return total;
}

void OstrelRepository::deleteOrphans(SQLiteConnection& connection) {
    if (single(connection, orphanedApplicationSQL) == 1) {
        connection.execute("DELETE FROM applications WHERE id NOT IN (SELECT DISTINCT app_id FROM usage_samples);");
    }
    if (single(connection, orphanedNetworkSQL) == 1) {
        connection.execute("DELETE FROM networks WHERE id NOT IN (SELECT DISTINCT network_id FROM usage_samples);");
    }
}

}  // namespace ostrel
