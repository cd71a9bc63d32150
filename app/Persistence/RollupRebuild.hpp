#pragma once

#include <cstdint>
#include <memory>

#include "Model/Calendar.hpp"
#include "Persistence/SQLiteConnection.hpp"

namespace ostrel {

// What the two rebuild statements (`dailySQL`, `hourlySQL`) would write: the same rows, inserted
// in the same order. Samples are read in ranges of rowids, each range once, and summed in memory,
// with the local hour of a time stamp taken from `calendar` (the C library that SQLite's
// 'localtime' asks) once per minute and the daily rows summed from the hourly ones. A time stamp of
// another form than the program writes gets its key from SQLite itself; a value the statements
// would treat otherwise (bytes that are not integers, identifiers that are not text, sums beyond
// 64 bits) leaves the whole work to the statements, so that their tables, or their failure, are
// the result.
class RollupSums final {
public:
    explicit RollupSums(const Calendar& calendar);
    ~RollupSums();
    RollupSums(const RollupSums&) = delete;
    RollupSums& operator=(const RollupSums&) = delete;

    void add(SQLiteConnection& connection, std::int64_t fromRowid, std::int64_t toRowid);
    // Empties both roll-up tables and fills them, inside the caller's transaction. Gives whether a
    // sample that hourly rows cannot stand for is stored (RollupRecord).
    bool write(SQLiteConnection& connection, const char* dailySQL, const char* hourlySQL);

    class Scan;

private:
    std::unique_ptr<Scan> scan_;
};

}  // namespace ostrel
