#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Persistence/SQLiteConnection.hpp"
#include "Platform/TimeZoneIdentity.hpp"

namespace ostrel {

// The one row of rollup_state: what the roll-ups were last rebuilt from, and what has been written
// since. The repository keeps it in the same transactions as the writes it describes; triggers
// count the rows that other programs change in the raw samples or the hourly roll-ups.
struct RollupRecord {
    // The zone the last rebuild keyed everything in, and whether a batch was keyed in another
    // since (or while the zone changed).
    TimeZoneIdentity rebuildZone;
    std::string rebuildRules;  // its rulesKey(); empty in a row written before rules were recorded
    bool otherZoneWrites = false;
    // The bytes of the raw samples as the rebuild found them plus every batch since; nothing
    // when that sum left the integers.
    std::optional<std::int64_t> rawTotal;
    // Every sample stamped after `foreignUntil` (all, when there is none) was keyed in the zone
    // whose rulesKey() is `recentZone`; empty when that is not known.
    std::string recentZone;
    std::optional<std::string> foreignUntil;
    // Rows of usage_samples and hourly_usage changed by other programs since the last rebuild, and
    // that count when the raw total was last summed from the samples (-1: never since these were
    // kept).
    std::int64_t outsideEdits = 0;
    std::int64_t checkedEdits = -1;
    // A sample that hourly rows cannot stand for was stored: negative bytes (the core library
    // refuses them), or a time stamp that is not of the program's form, within the years SQLite
    // takes local time from the C library for.
    bool unusualSamples = false;

    static std::optional<RollupRecord> read(SQLiteConnection& connection);

    // The roll-ups hold keys of `zone` alone.
    bool keyedOnlyIn(const TimeZoneIdentity& zone) const;
    // Every hourly roll-up row holds exactly the sums of the raw samples of its key, for the
    // hours of samples stamped at or after `from` (ISO 8601 text), keyed in `zone`.
    bool hoursExactFrom(const std::string& from, const TimeZoneIdentity& zone) const;
};

// Written by the repository inside its transactions.
namespace rollup_record {

// Marks the writes of the running transaction as the program's own, until ownWritesEnd().
void ownWritesBegin(SQLiteConnection& connection);
void ownWritesEnd(SQLiteConnection& connection);
// A rebuild keyed everything in `zone`; `rawTotal` is the raw samples' total (a double beyond
// the integers).
void rebuilt(SQLiteConnection& connection, const TimeZoneIdentity& zone, const SQLiteValue& rawTotal,
             bool unusualSamples);
// A batch of samples was written: before its first row is (`record` read then), and after.
struct Batch {
    SQLiteValue rawBytes;
    bool unusualSamples = false;
    TimeZoneIdentity zoneBefore, zoneAfter;
    // The latest time stamp stored before the batch, read when the batch starts in another zone
    // than the recent one.
    std::optional<std::string> latestBefore;
};
bool needsLatestBefore(const RollupRecord& record, const TimeZoneIdentity& zoneBefore);
void batchWritten(SQLiteConnection& connection, const RollupRecord& record, const Batch& batch);
// The raw total was summed from the samples and agreed with the roll-ups.
void checked(SQLiteConnection& connection, const RollupRecord& record, std::int64_t rawTotal, bool unusualSamples,
             const TimeZoneIdentity& zone);
// A condition on a row of usage_samples: a sample hourly rows cannot stand for (unusualSamples).
extern const char* const unusualSampleSQL;
// The latest time stamp of the raw samples, if any.
std::optional<std::string> latestStamp(SQLiteConnection& connection);

// The triggers that count other programs' changes; created by the migration, and dropped and
// made again around deleting every sample (a table with triggers is emptied row by row).
void createEditTriggers(SQLiteConnection& connection);
void dropEditTriggers(SQLiteConnection& connection);

}  // namespace rollup_record

}  // namespace ostrel
