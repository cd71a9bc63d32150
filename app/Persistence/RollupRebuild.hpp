#pragma once

#include "Model/Calendar.hpp"
#include "Persistence/SQLiteConnection.hpp"

namespace ostrel {

struct RebuiltTotals {
    SQLiteValue rawTotal;         // received plus sent bytes of every sample
    bool unusualSamples = false;  // RollupRecord::unusualSamples
};

// Empties both roll-up tables and fills them with what the two rebuild statements (`dailySQL`,
// `hourlySQL`) would write, inside the caller's transaction: the same rows, inserted in the same
// order. It reads every sample once and sums in memory, with the local hour of a time stamp taken
// from `calendar` (the C library that SQLite's 'localtime' asks) once per minute, and the daily
// rows summed from the hourly ones. A time stamp of another form than the program writes gets its
// key from SQLite itself; a value the statements would treat otherwise (bytes that are not
// integers, identifiers that are not text, sums beyond 64 bits, keys SQLite cannot make) leaves
// the whole work to the statements, so that their tables, or their failure, are the result.
RebuiltTotals rebuildRollupTables(SQLiteConnection& connection, const Calendar& calendar, const char* dailySQL,
                                  const char* hourlySQL);

}  // namespace ostrel
