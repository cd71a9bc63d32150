// The roll-up rebuild sums in memory; its tables must be those of the two rebuild statements, row
// for row and in the same insertion order, in every zone the C library reads, and for stored values
// that other programs wrote in other forms. Each case runs the statements in a transaction that is
// rolled back, then the repository's rebuild, on the same store.
#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "Model/Iso8601.hpp"
#include "Persistence/support/PersistenceTestSupport.hpp"

using namespace ostrel;
using namespace ostrel::testing;
using namespace std::chrono_literals;

namespace {

const char* const kStatements[] = {
    "DELETE FROM daily_usage;",
    "DELETE FROM hourly_usage;",
    "INSERT INTO daily_usage (date, network_id, app_id, rx_bytes, tx_bytes)\n"
    "SELECT strftime('%Y-%m-%d', timestamp, 'localtime') AS day_key,\n       network_id,\n       app_id,\n"
    "       COALESCE(SUM(rx_bytes), 0),\n       COALESCE(SUM(tx_bytes), 0)\nFROM usage_samples\n"
    "GROUP BY day_key, network_id, app_id;",
    "INSERT INTO hourly_usage (date_hour, network_id, app_id, rx_bytes, tx_bytes)\n"
    "SELECT strftime('%Y-%m-%dT%H:00:00', timestamp, 'localtime') AS hour_key,\n       network_id,\n"
    "       app_id,\n       COALESCE(SUM(rx_bytes), 0),\n       COALESCE(SUM(tx_bytes), 0)\nFROM usage_samples\n"
    "GROUP BY hour_key, network_id, app_id;",
};

// Both tables with their rowids, or the error that made them.
std::string rollupTables(DatabaseInspector& store, const std::function<void()>& rebuild) {
    try {
        rebuild();
    } catch (const SQLiteError& error) {
        return std::string("failed: ") + error.what();
    }
    std::string text;
    for (const char* table : {"daily_usage", "hourly_usage"}) {
        for (const auto& row : store.rows(std::string("SELECT rowid, * FROM ") + table + " ORDER BY rowid;")) {
            for (const auto& column : row) text.append(column).append(1, ' ');
            text += '\n';
        }
    }
    return text;
}

// The statements' tables, left as they were; then the repository's.
void expectRebuildAsTheStatements(const std::string& path, const char* zone) {
    SCOPED_TRACE(zone);
    ScopedTimeZone inZone(zone);
    DatabaseInspector store(path);
    store.execute("BEGIN;");
    const std::string statements = rollupTables(store, [&] {
        for (const char* statement : kStatements) store.execute(statement);
    });
    store.execute("ROLLBACK;");
    auto repository = openRepository(path);
    store.execute("DELETE FROM rollup_state;");  // whatever was recorded, the purge rebuilds
    const std::string rebuilt = rollupTables(store, [&] { EXPECT_TRUE(repository->purgeMockData()); });
    EXPECT_EQ(rebuilt, statements);
    EXPECT_GT(rebuilt.size(), 30u);
}

// Samples around the changes of many zones' offsets, on both sides of hours and days by a
// millisecond, and in years far from now; identifiers that sort differently as bytes and as text.
std::vector<UsageSampleRecord> samplesAroundChanges() {
    std::vector<UsageSampleRecord> samples;
    const char* networks[] = {"net", "Net", "n\xC3\xA9t"};
    const char* apps[] = {"app", "App", "z", "\xC3\xA4pp"};
    int serial = 0;
    const auto add = [&](Date at) {
        std::string id = "S";
        id.append(std::to_string(++serial));
        samples.push_back(makeSample(id, at, networks[serial % 3], apps[serial % 4], serial % 997, serial % 13));
    };
    // The changes of the zones below in 2026, and the ends of the years SQLite asks the C library
    // about (1970 to 2038-01-18; others it reads as a year near 2000).
    const std::tuple<int, unsigned, unsigned> days[] = {{2026, 3, 8},  {2026, 3, 29},  {2026, 4, 5},  {2026, 9, 27},
                                                        {2026, 10, 4}, {2026, 10, 25}, {2026, 11, 1}, {1901, 1, 1},
                                                        {1970, 1, 1},  {2038, 1, 18},  {2200, 2, 28}};
    for (const auto& [year, month, day] : days) {
        const Date midnight = localTime("UTC", year, month, day, 0);
        for (std::chrono::minutes offset = -30h; offset <= 30h; offset += 37min) add(midnight + offset + 123ms);
        for (std::chrono::minutes hour = -14h; hour <= 14h; hour += 30min) {
            for (const auto edge : {-1ms, 0ms, 999ms}) add(midnight + hour + edge);
        }
    }
    return samples;
}

TEST(OstrelRepositoryRebuildTest, EveryZoneGetsTheStatementsTablesRowForRow) {
    TempTree folder;
    const std::string path = folder.file("ostrel.sqlite");
    {
        ScopedTimeZone written("Europe/Berlin");
        openRepository(path)->insertSamples(samplesAroundChanges());
    }
    for (const char* zone :
         {"UTC", "Etc/GMT+12", "America/New_York", "Asia/Kolkata", "Australia/Lord_Howe", "Pacific/Chatham",
          "Europe/Dublin", "America/Sao_Paulo", "America/St_Johns", "EST5EDT,M3.2.0,M11.1.0", "<+0545>-5:45", "JST-9",
          "right/America/New_York", ":/etc/localtime", "Not/AZone"}) {
        expectRebuildAsTheStatements(path, zone);
    }
}

// Rows other programs wrote: time stamps of other forms go through SQLite's own reading; values
// the sums would treat otherwise leave the whole rebuild to the statements, failure included.
TEST(OstrelRepositoryRebuildTest, ValuesOfOtherFormsGiveTheStatementsTablesOrTheirFailure) {
    const std::pair<const char*, const char*> cases[] = {
        {"other forms of time stamps",
         "('2026-03-08 06:59:59', 'n', 'a', 1, 2), ('2026-03-08T01:59:59.999-05:00', 'n', 'a', 3, 4),"
         "('2026-03-08T06:59:60.500Z', 'n', 'a', 5, 6), (2461107.79, 'n', 'a', 7, 8),"
         "('2026-02-30T10:00:00.000Z', 'n', 'a', 9, 10), ('2026-03-08T07:00:00Z', 'n', 'b', 11, 12),"
         "('1850-06-01T12:00:00.000Z', 'n', 'a', 13, 14), ('2026-03-08T06:59:59.999z', 'n', 'a', 15, 16),"
         "('2999-07-01T03:59:59.999Z', 'n', 'a', 17, 18), ('2026-13-01T00:00:00.000Z', 'n', 'a', 19, 20)"},
        {"bytes that are not integers", "('2026-03-08T06:59:59.999Z', 'n', 'a', 1.5, 2)"},
        {"bytes stored as text", "('2026-03-08T06:59:59.999Z', 'n', 'a', 'many', 2)"},
        {"an identifier that is not text", "('2026-03-08T06:59:59.999Z', X'6E00', 'a', 1, 2)"},
        {"sums beyond 64 bits",
         "('2026-03-08T06:59:59.999Z', 'n', 'a', 9223372036854775807, 0), ('2026-03-08T06:59:59.999Z', 'n', 'a', 1, "
         "0)"},
        {"a time stamp SQLite cannot read", "('yesterday', 'n', 'a', 1, 2)"},
    };
    for (const auto& [what, rows] : cases) {
        SCOPED_TRACE(what);
        TempTree folder;
        const std::string path = folder.file("ostrel.sqlite");
        openRepository(path)->insertSamples(
            {makeSample("S1", localTime("UTC", 2026, 3, 8, 6, 59, 59), "n", "a", 5, 6)});
        DatabaseInspector store(path);
        store.execute("PRAGMA foreign_keys = OFF;");
        store.execute(std::string("INSERT INTO usage_samples SELECT hex(randomblob(16)), column1, column2, column3, "
                                  "column4, column5, 'nettop', 0.5 FROM (VALUES ") +
                      rows + ");");
        expectRebuildAsTheStatements(path, "America/New_York");
    }
}

}  // namespace
