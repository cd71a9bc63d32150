#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "Model/Calendar.hpp"
#include "Persistence/SQLiteConnection.hpp"

namespace ostrel {

// SQLite asks the C library for the local time of instants from 1970-01-01 to 2038-01-18 alone;
// for others it asks for the same day of a year near 2000.
constexpr std::chrono::sys_seconds sqliteLocaltimeFrom{std::chrono::seconds{0}};
constexpr std::chrono::sys_seconds sqliteLocaltimeUntil{std::chrono::seconds{2147385600}};

// What the two rebuild statements would write: the same rows, inserted in the same order. Samples
// are read in ranges of rowids, each range once, and summed in memory, with the local hour of a
// time stamp taken from `calendar` (the C library that SQLite's 'localtime' asks) once per minute
// and the daily rows summed from the hourly ones. A time stamp of another form than the program
// writes gets its key from SQLite itself; a value the statements would treat otherwise (bytes that
// are not integers, identifiers that are not text, sums beyond 64 bits) leaves the whole work to
// the statements, so that their tables, or their failure, are the result.
class RollupSums final {
public:
    explicit RollupSums(const Calendar& calendar);
    ~RollupSums();
    RollupSums(const RollupSums&) = delete;
    RollupSums& operator=(const RollupSums&) = delete;

    void add(SQLiteConnection& connection, std::int64_t fromRowid, std::int64_t toRowid);
    // Empties both roll-up tables and fills them, with the record of a rebuild in `zone` (a rulesKey),
    // inside the caller's transaction.
    void write(SQLiteConnection& connection, const std::string& zone);

private:
    class Scan;
    // Gives whether a sample that hourly rows cannot stand for is stored (RollupRecord).
    bool rebuild(SQLiteConnection& connection);
    std::unique_ptr<Scan> scan_;
};

}  // namespace ostrel
