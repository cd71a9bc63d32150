#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Persistence/SQLiteConnection.hpp"
#include "Platform/TimeZoneIdentity.hpp"

namespace ostrel {

// The one row of rollup_state. The roll-ups are exact in a zone when the program rebuilt them in
// that zone and has written every change since itself, in the same transactions as the samples.
// Triggers on the samples and on both roll-up tables count every change the program did not mark
// as its own.
struct RollupRecord {
    // The rules (TimeZoneIdentity::rulesKey) the last rebuild keyed in; empty when it found a
    // sample that hourly rows cannot stand for (negative bytes, a time stamp of another form).
    std::string zone;
    // Since then the program wrote what the rebuild would not have: keys of another zone, such a
    // sample, or it deleted demonstration rows.
    bool otherWrites = false;
    std::int64_t outsideEdits = 0;

    static std::optional<RollupRecord> read(SQLiteConnection& connection);
    bool exactIn(const TimeZoneIdentity& current) const;
};

// Written by the repository inside its transactions.
namespace rollup_record {

// Marks the writes of the running transaction as the program's own, until ownWritesEnd().
void ownWritesBegin(SQLiteConnection& connection);
void ownWritesEnd(SQLiteConnection& connection);
// Both roll-up tables were rebuilt from the samples, keyed in `zone` (a rulesKey, or empty).
void rebuilt(SQLiteConnection& connection, const std::string& zone);
void otherWrites(SQLiteConnection& connection);

// The triggers that count other programs' changes; dropped and made again around deleting every
// row (a table with triggers is emptied row by row).
void createEditTriggers(SQLiteConnection& connection);
// The triggers, made as the database opens: a file whose daily roll-ups were not watched yet has
// its record marked as changed by others.
void watchEdits(SQLiteConnection& connection);
void dropEditTriggers(SQLiteConnection& connection);

}  // namespace rollup_record

}  // namespace ostrel
