// Files whose tables the statements cannot use are refused before anything is written to them;
// the shapes the migration upgrades, and tables with more than Ostrel needs, are taken.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "Persistence/support/PersistenceTestSupport.hpp"

namespace ostrel {
namespace {

using testing::DatabaseInspector;
using testing::Rows;

std::string bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Written by plain SQLite in its default rollback-journal mode, as another program would.
void writeWithSQLite(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

// The database as the program opens it: inspected, then migrated.
std::shared_ptr<OstrelRepository> open(const std::string& path) {
    return std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(path, &OstrelRepository::checkShape));
}

const char* const kCurrentNetworks =
    "CREATE TABLE networks (id TEXT PRIMARY KEY, name TEXT NOT NULL, type TEXT NOT NULL, interface_name TEXT, "
    "resolution_state TEXT, resolution_source TEXT, resolution_confidence REAL, last_seen_at TEXT, is_active INT);";

TEST(OstrelRepositoryShapeTest, TablesWithoutAColumnOrKeyTheStatementsUseAreRefusedUntouched) {
    const struct {
        const char* label;
        std::string sql;
        const char* why;
    } cases[] = {
        {"samples without their time stamp",
         "CREATE TABLE usage_samples (id TEXT PRIMARY KEY, network_id TEXT, app_id TEXT, rx_bytes INT, "
         "tx_bytes INT, source TEXT, attribution_confidence REAL);"
         "INSERT INTO usage_samples VALUES ('s1', 'n', 'a', 1, 2, 'nettop', 1);",
         "the table usage_samples has no column timestamp"},
        {"an old networks table, beside samples of another shape: neither is changed",
         "CREATE TABLE networks (id TEXT PRIMARY KEY, name TEXT, type TEXT, last_seen_at TEXT, is_active INT);"
         "CREATE TABLE usage_samples (id TEXT PRIMARY KEY, at TEXT);",
         "the table usage_samples has no column "},
        {"networks without the flag of the active one, which no migration adds",
         "CREATE TABLE networks (id TEXT PRIMARY KEY, name TEXT, type TEXT, last_seen_at TEXT);",
         "the table networks has no column is_active"},
        {"settings whose key is not unique, which the save's upsert needs",
         "CREATE TABLE settings (key TEXT, value TEXT NOT NULL);", "the table settings has no unique key (key)"},
        {"daily roll-ups keyed without the application",
         "CREATE TABLE daily_usage (date TEXT, network_id TEXT, app_id TEXT, rx_bytes INT, tx_bytes INT, "
         "PRIMARY KEY (date, network_id));",
         "the table daily_usage has no unique key (app_id, date, network_id)"},
        {"the roll-up record without its key, where a replacing insert would add rows",
         "CREATE TABLE rollup_state (id INTEGER, zone_name TEXT, tzdata_version TEXT, zone_file_digest TEXT, "
         "other_zone_writes INT, raw_total INT);",
         "the table rollup_state has no unique key (id)"},
        {"a view in the place of a table",
         std::string(kCurrentNetworks) + "CREATE VIEW usage_samples AS SELECT * FROM networks;",
         "it holds a view named usage_samples where Ostrel keeps a table"},
        {"a table in the place of an index", "CREATE TABLE idx_daily_usage_date (x);",
         "it holds a table named idx_daily_usage_date where Ostrel keeps a index"},
        {"an index in the place of a table",
         std::string(kCurrentNetworks) + "CREATE INDEX hourly_usage ON networks(name);",
         "it holds a index named hourly_usage where Ostrel keeps a table"},
    };
    for (const auto& [label, sql, why] : cases) {
        SCOPED_TRACE(label);
        testing::TempTree folder;
        const std::string path = folder.file("ostrel.sqlite");
        writeWithSQLite(path, sql);
        const std::string before = bytesOf(path);
        try {
            open(path);
            ADD_FAILURE() << "taken";
        } catch (const UnknownDatabaseShape& error) {
            EXPECT_EQ(std::string(error.what()).rfind("The database does not have the shape Ostrel uses: ", 0), 0u);
            EXPECT_NE(std::string(error.what()).find(why), std::string::npos) << error.what();
        }
        EXPECT_TRUE(bytesOf(path) == before) << "the file changed";
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.root), {}), 1);  // no journal left
    }
}

TEST(OstrelRepositoryShapeTest, AnOstrelFileChangedLaterIsRefusedWithItsLogUntouched) {
    testing::TempTree folder;
    const std::string path = folder.file("ostrel.sqlite");
    testing::openRepository(path);
    // Another program drops a column and stops without folding its write-ahead log into the file.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
    sqlite3_db_config(other, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    EXPECT_EQ(
        sqlite3_exec(other, "ALTER TABLE usage_samples DROP COLUMN attribution_confidence;", nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(other);
    const std::string file = bytesOf(path), log = bytesOf(path + "-wal");
    ASSERT_FALSE(log.empty());

    EXPECT_THROW(open(path), UnknownDatabaseShape);
    EXPECT_TRUE(bytesOf(path) == file) << "the file changed";
    EXPECT_TRUE(bytesOf(path + "-wal") == log) << "the log changed";
}

TEST(OstrelRepositoryShapeTest, OlderShapesAndTablesWithMoreAreTakenAndMigrated) {
    testing::TempTree folder;
    // The networks table of an earlier build, with a row, and nothing else: the columns are added.
    const std::string old = folder.file("old.sqlite");
    writeWithSQLite(old,
                    "CREATE TABLE networks (id TEXT PRIMARY KEY, name TEXT NOT NULL, type TEXT NOT NULL, "
                    "last_seen_at TEXT NOT NULL, is_active INTEGER NOT NULL DEFAULT 0);"
                    "INSERT INTO networks VALUES ('n1', 'redacted', 'other', 'T', 1);");
    open(old);
    EXPECT_EQ(DatabaseInspector(old).rows("SELECT name, resolution_state, resolution_confidence FROM networks;"),
              (Rows{{"Wi-Fi (SSID unavailable)", "redacted", "0.0"}}));

    // A current file with a column, a table, a view and an index of the user's own, and an empty file.
    const std::string more = folder.file("more.sqlite");
    testing::openRepository(more);
    DatabaseInspector user(more);
    for (const char* sql : {"ALTER TABLE usage_samples ADD COLUMN note TEXT;", "CREATE TABLE mine (x);",
                            "CREATE VIEW totals AS SELECT SUM(rx_bytes) FROM usage_samples;",
                            "CREATE UNIQUE INDEX one ON mine(x);"}) {
        user.execute(sql);
    }
    for (const auto& path : {more, folder.file("empty.sqlite")}) {
        SCOPED_TRACE(path);
        EXPECT_NO_THROW(open(path)->insertSamples({testing::makeSample("S2", currentDate(), "n", "a", 1, 2)}));
    }
}

}  // namespace
}  // namespace ostrel
