#include <gtest/gtest.h>

#include "Persistence/support/PersistenceTestSupport.hpp"

using namespace ostrel;
using namespace ostrel::testing;

namespace {

void migrate(const std::string& path) {
    OstrelRepository repository(std::make_unique<SQLiteDatabase>(path));
}

TEST(OstrelRepositoryMigrationTest, NewAndOldFilesEndWithTheSameSchemaAndStayThere) {
    TempTree folder;
    migrate(folder.file("new.sqlite"));
    DatabaseInspector fresh(folder.file("new.sqlite"));
    EXPECT_EQ(fresh.count("sqlite_master WHERE type = 'table'"), 8);
    EXPECT_EQ(fresh.count("sqlite_master WHERE type = 'index' AND sql IS NOT NULL"), 10);
    EXPECT_EQ(fresh.rows("SELECT sql FROM sqlite_master WHERE name IN ('networks', 'usage_samples') ORDER BY name;"),
              (Rows{{"CREATE TABLE networks (\n  id TEXT PRIMARY KEY,\n  name TEXT NOT NULL,\n  type TEXT NOT NULL,\n"
                     "  interface_name TEXT,\n  resolution_state TEXT NOT NULL DEFAULT 'unavailable',\n"
                     "  resolution_source TEXT NOT NULL DEFAULT 'unknown',\n"
                     "  resolution_confidence REAL NOT NULL DEFAULT 0,\n  last_seen_at TEXT NOT NULL,\n"
                     "  is_active INTEGER NOT NULL DEFAULT 0\n)"},
                    {"CREATE TABLE usage_samples (\n  id TEXT PRIMARY KEY,\n  timestamp TEXT NOT NULL,\n"
                     "  network_id TEXT NOT NULL,\n  app_id TEXT NOT NULL,\n  rx_bytes INTEGER NOT NULL,\n"
                     "  tx_bytes INTEGER NOT NULL,\n  source TEXT NOT NULL,\n  attribution_confidence REAL NOT NULL,\n"
                     "  FOREIGN KEY(network_id) REFERENCES networks(id),\n"
                     "  FOREIGN KEY(app_id) REFERENCES applications(id)\n)"}}));

    const std::string path = folder.file("old.sqlite");
    DatabaseInspector old(path);
    old.execute(
        "CREATE TABLE networks (id TEXT PRIMARY KEY, name TEXT NOT NULL, type TEXT NOT NULL, "
        "last_seen_at TEXT NOT NULL, is_active INTEGER NOT NULL DEFAULT 0);");
    old.execute(
        "INSERT INTO networks VALUES ('n1', 'Home', 'wifi', 'T', 1), ('n2', 'ReDaCtEd', 'other', 'T', 0), "
        "('n3', '<REDACTED>', 'ethernet', 'T', 0), ('n4', 'not redacted', 'vpn', 'T', 0);");
    migrate(path);
    EXPECT_EQ(old.schema(), fresh.schema());
    EXPECT_EQ(old.rows("SELECT id, name, type, interface_name, resolution_state, resolution_source, "
                       "resolution_confidence, is_active FROM networks ORDER BY id;"),
              (Rows{{"n1", "Home", "wifi", "NULL", "unavailable", "unknown", "0.0", "1"},
                    {"n2", "Wi-Fi (SSID unavailable)", "wifi", "NULL", "redacted", "legacy_redacted", "0.0", "0"},
                    {"n3", "Wi-Fi (SSID unavailable)", "wifi", "NULL", "redacted", "legacy_redacted", "0.0", "0"},
                    {"n4", "not redacted", "vpn", "NULL", "unavailable", "unknown", "0.0", "0"}}));

    // Once migrated, further runs change nothing, stored rows included.
    openRepository(path)->insertSamples({makeSample("S1", currentDate(), "n1", "a1", 10, 20)});
    const Rows before = old.dump();
    migrate(path);
    migrate(path);
    EXPECT_EQ(old.dump(), before);
}

TEST(OstrelRepositoryMigrationTest, FailingAlterOtherThanDuplicateStopsMigration) {
    TempTree folder;
    const std::string path = folder.file("ostrel.sqlite");
    DatabaseInspector inspector(path);
    // A view of that name survives CREATE TABLE IF NOT EXISTS, but takes no column.
    inspector.execute("CREATE VIEW networks AS SELECT 1 AS id;");
    try {
        migrate(path);
        FAIL() << "migration went through";
    } catch (const SQLiteError& error) {
        EXPECT_STREQ(error.what(), "SQLite prepare failed: Cannot add a column to a view");
    }
    EXPECT_EQ(inspector.count("sqlite_master WHERE name = 'applications'"), 0);
}

}  // namespace
