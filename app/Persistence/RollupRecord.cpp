#include "Persistence/RollupRecord.hpp"

#include <algorithm>
#include <cctype>

namespace ostrel {
namespace {

constexpr const char* readSQL =
    "SELECT zone_name, tzdata_version, zone_file_digest, zone_rules, other_zone_writes,\n"
    "       CASE WHEN typeof(raw_total) = 'integer' THEN raw_total END,\n"
    "       recent_zone, foreign_until, outside_edits, checked_edits, unusual_samples\n"
    "FROM rollup_state;";

constexpr const char* rebuiltSQL =
    "INSERT OR REPLACE INTO rollup_state\n"
    "  (id, zone_name, tzdata_version, zone_file_digest, other_zone_writes, raw_total, zone_rules, recent_zone,\n"
    "   foreign_until, outside_edits, checked_edits, unusual_samples, own_writes)\n"
    "VALUES (1, ?, ?, ?, 0, ?, ?, ?, NULL, 0, 0, ?, 1);";

constexpr const char* batchSQL =
    "UPDATE rollup_state\n"
    "   SET raw_total = raw_total + ?, other_zone_writes = other_zone_writes OR ?, recent_zone = ?,\n"
    "       foreign_until = ?, unusual_samples = unusual_samples OR ?;";

// One trigger per table and kind of change; only rows that the program did not mark as its own
// count.
constexpr const char* watched[][2] = {{"usage_samples", "samples"}, {"hourly_usage", "hours"}};
constexpr const char* changes[] = {"INSERT", "UPDATE", "DELETE"};

std::string triggerName(const char* table, const char* change) {
    std::string name = "rollup_state_counts_";
    name.append(table).append(1, '_').append(change);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    return name;
}

}  // namespace

std::optional<RollupRecord> RollupRecord::read(SQLiteConnection& connection) {
    std::optional<RollupRecord> record;
    connection.query(readSQL, {}, [&](const SQLiteRow& row) {
        RollupRecord r;
        r.rebuildZone.name = row.text(0);
        r.rebuildZone.databaseVersion = row.text(1);
        r.rebuildZone.fileDigest = row.text(2);
        r.rebuildRules = row.text(3);
        r.otherZoneWrites = row.int64(4) != 0;
        if (!row.isNull(5)) r.rawTotal = row.int64(5);
        r.recentZone = row.text(6);
        r.foreignUntil = row.optionalText(7);
        r.outsideEdits = row.int64(8);
        r.checkedEdits = row.int64(9);
        r.unusualSamples = row.int64(10) != 0;
        record = std::move(r);
    });
    return record;
}

bool RollupRecord::keyedOnlyIn(const TimeZoneIdentity& zone) const {
    if (otherZoneWrites) return false;
    if (!rebuildRules.empty()) return rebuildRules == zone.rulesKey();
    // Written before rules were recorded: the setting, database and file as they were.
    return rebuildZone.name == zone.name && rebuildZone.databaseVersion == zone.databaseVersion &&
           rebuildZone.fileDigest == zone.fileDigest;
}

bool RollupRecord::hoursExactFrom(const std::string& from, const TimeZoneIdentity& zone) const {
    return outsideEdits == 0 && checkedEdits == 0 && !recentZone.empty() && recentZone == zone.rulesKey() &&
           (!foreignUntil || *foreignUntil < from);
}

namespace rollup_record {

const char* const unusualSampleSQL =
    "rx_bytes < 0 OR tx_bytes < 0 OR typeof(timestamp) <> 'text' OR timestamp NOT GLOB "
    "'[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]T[0-9][0-9]:[0-9][0-9]:[0-9][0-9].[0-9][0-9][0-9]Z' OR timestamp < "
    "'1970-01-01T00:00:00.000Z' OR timestamp >= '2038-01-18T00:00:00.000Z'";

void ownWritesBegin(SQLiteConnection& connection) {
    connection.execute("UPDATE rollup_state SET own_writes = 1;");
}

void ownWritesEnd(SQLiteConnection& connection) {
    connection.execute("UPDATE rollup_state SET own_writes = 0;");
}

void rebuilt(SQLiteConnection& connection, const TimeZoneIdentity& zone, const SQLiteValue& rawTotal,
             bool unusualSamples) {
    connection.execute(rebuiltSQL, {zone.name, zone.databaseVersion, zone.fileDigest, rawTotal, zone.rulesKey(),
                                    zone.rulesKey(), std::int64_t{unusualSamples ? 1 : 0}});
}

bool needsLatestBefore(const RollupRecord& record, const TimeZoneIdentity& zoneBefore) {
    return record.recentZone != zoneBefore.rulesKey();
}

void batchWritten(SQLiteConnection& connection, const RollupRecord& record, const Batch& batch) {
    const bool zoneChanged = !batch.zoneBefore.sameRules(batch.zoneAfter);
    const bool otherZone = zoneChanged || !record.keyedOnlyIn(batch.zoneBefore);
    std::optional<std::string> foreignUntil = record.foreignUntil;
    const auto extend = [&](const std::optional<std::string>& stamp) {
        if (stamp && (!foreignUntil || *foreignUntil < *stamp)) foreignUntil = stamp;
    };
    // What was stored before this batch was keyed elsewhere when the zone is not the recent one;
    // and when the zone changed during the batch, its own rows too may be keyed in either.
    if (needsLatestBefore(record, batch.zoneBefore)) extend(batch.latestBefore);
    if (zoneChanged) extend(latestStamp(connection));
    connection.execute(batchSQL, {batch.rawBytes, std::int64_t{otherZone ? 1 : 0}, batch.zoneAfter.rulesKey(),
                                  sqliteText(foreignUntil), std::int64_t{batch.unusualSamples ? 1 : 0}});
}

void checked(SQLiteConnection& connection, const RollupRecord& record, std::int64_t rawTotal, bool unusualSamples,
             const TimeZoneIdentity& zone) {
    // A row kept before the recent zone was: when everything is keyed in the zone of now, it is
    // the recent zone from the first sample on.
    const bool startRecent = record.recentZone.empty() && record.keyedOnlyIn(zone);
    connection.execute(
        "UPDATE rollup_state SET raw_total = ?, checked_edits = outside_edits, unusual_samples = ?,\n"
        "       recent_zone = CASE WHEN ? THEN ? ELSE recent_zone END,\n"
        "       zone_rules = CASE WHEN ? THEN ? ELSE zone_rules END;",
        {rawTotal, std::int64_t{unusualSamples ? 1 : 0}, std::int64_t{startRecent ? 1 : 0}, zone.rulesKey(),
         std::int64_t{startRecent ? 1 : 0}, zone.rulesKey()});
}

std::optional<std::string> latestStamp(SQLiteConnection& connection) {
    std::optional<std::string> latest;
    connection.query("SELECT MAX(timestamp) FROM usage_samples;", {},
                     [&](const SQLiteRow& row) { latest = row.optionalText(0); });
    return latest;
}

void createEditTriggers(SQLiteConnection& connection) {
    for (const auto& [table, short_] : watched) {
        for (const char* change : changes) {
            connection.execute("CREATE TRIGGER IF NOT EXISTS " + triggerName(short_, change) + " AFTER " + change +
                               " ON " + table +
                               "\nWHEN (SELECT own_writes FROM rollup_state) IS NOT 1\n"
                               "BEGIN\n  UPDATE rollup_state SET outside_edits = outside_edits + 1;\nEND;");
        }
    }
}

void dropEditTriggers(SQLiteConnection& connection) {
    for (const auto& [table, short_] : watched) {
        for (const char* change : changes) {
            connection.execute("DROP TRIGGER IF EXISTS " + triggerName(short_, change) + ";");
        }
    }
}

}  // namespace rollup_record
}  // namespace ostrel
