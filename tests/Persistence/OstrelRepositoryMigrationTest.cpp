#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Persistence/OstrelRepository.hpp"
#include "Persistence/support/PersistenceTestSupport.hpp"

using ostrel::OstrelRepository;
using ostrel::SQLiteDatabase;
using ostrel::SQLiteError;
using namespace ostrel::testing;

namespace {

using Rows = std::vector<std::vector<std::string>>;

class OstrelRepositoryMigrationTest : public ::testing::Test {
protected:
    TemporaryFolder folder;
    std::string path = folder.file("ostrel.sqlite");

    void migrate() { OstrelRepository repository(std::make_unique<SQLiteDatabase>(path)); }

    // Columns (name, type, not null, default, key) and indexes of every table: what both
    // the CREATE and the ALTER paths must agree on.
    std::string shape() {
        DatabaseInspector inspector(path);
        std::string text;
        for (const auto& table : inspector.rows("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name;")) {
            text += "table " + table[0] + "\n";
            for (const auto& column : inspector.rows("SELECT name, type, \"notnull\", dflt_value, pk FROM "
                                                     "pragma_table_info('" +
                                                     table[0] + "') ORDER BY name;")) {
                for (const auto& field : column) text += field + "|";
                text += "\n";
            }
            for (const auto& key : inspector.rows("SELECT \"table\", \"from\", \"to\" FROM pragma_foreign_key_list('" +
                                                  table[0] + "');")) {
                text += "fk " + key[0] + "." + key[2] + " <- " + key[1] + "\n";
            }
        }
        for (const auto& index : inspector.rows("SELECT name, sql FROM sqlite_master WHERE type = 'index' AND sql "
                                                "IS NOT NULL ORDER BY name;")) {
            text += index[0] + ": " + index[1] + "\n";
        }
        return text;
    }
};

TEST_F(OstrelRepositoryMigrationTest, NewFileGetsSevenTablesAndNineIndexesWithExactStatements) {
    migrate();
    DatabaseInspector inspector(path);
    EXPECT_EQ(inspector.rows("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name;"),
              (Rows{{"applications"},
                    {"daily_usage"},
                    {"hourly_usage"},
                    {"networks"},
                    {"settings"},
                    {"threshold_events"},
                    {"usage_samples"}}));
    EXPECT_EQ(inspector.scalar("SELECT COUNT(*) FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL;"), 9);
    EXPECT_EQ(inspector.rows("SELECT sql FROM sqlite_master WHERE name = 'settings';"),
              (Rows{{"CREATE TABLE settings (\n  key TEXT PRIMARY KEY,\n  value TEXT NOT NULL\n)"}}));
    EXPECT_EQ(inspector.rows("SELECT sql FROM sqlite_master WHERE name = 'idx_hourly_usage_network_hour';"),
              (Rows{{"CREATE INDEX idx_hourly_usage_network_hour ON hourly_usage(network_id, date_hour)"}}));
    EXPECT_EQ(inspector.rows("SELECT sql FROM sqlite_master WHERE name = 'usage_samples';"),
              (Rows{{"CREATE TABLE usage_samples (\n  id TEXT PRIMARY KEY,\n  timestamp TEXT NOT NULL,\n"
                     "  network_id TEXT NOT NULL,\n  app_id TEXT NOT NULL,\n  rx_bytes INTEGER NOT NULL,\n"
                     "  tx_bytes INTEGER NOT NULL,\n  source TEXT NOT NULL,\n  attribution_confidence REAL NOT NULL,\n"
                     "  FOREIGN KEY(network_id) REFERENCES networks(id),\n"
                     "  FOREIGN KEY(app_id) REFERENCES applications(id)\n)"}}));
}

TEST_F(OstrelRepositoryMigrationTest, OldNetworksTableGainsColumnsAndMatchesNewFile) {
    migrate();
    const std::string fresh = shape();

    TemporaryFolder oldFolder;
    path = oldFolder.file("old.sqlite");
    {
        SQLiteDatabase old(path);
        old.execute(
            "CREATE TABLE networks (id TEXT PRIMARY KEY, name TEXT NOT NULL, type TEXT NOT NULL, "
            "last_seen_at TEXT NOT NULL, is_active INTEGER NOT NULL DEFAULT 0);");
        old.execute(
            "INSERT INTO networks VALUES ('n1', 'Home', 'wifi', '2026-01-01T00:00:00.000Z', 1), "
            "('n2', 'ReDaCtEd', 'other', '2026-01-01T00:00:00.000Z', 0), "
            "('n3', '<REDACTED>', 'ethernet', '2026-01-01T00:00:00.000Z', 0), "
            "('n4', 'not redacted', 'vpn', '2026-01-01T00:00:00.000Z', 0);");
    }
    migrate();
    // Column order differs after ALTER; names, types, defaults and keys must not.
    EXPECT_EQ(shape(), fresh);

    DatabaseInspector inspector(path);
    EXPECT_EQ(inspector.rows("SELECT id, name, type, interface_name, resolution_state, resolution_source, "
                             "resolution_confidence, is_active FROM networks ORDER BY id;"),
              (Rows{{"n1", "Home", "wifi", "NULL", "unavailable", "unknown", "0.0", "1"},
                    {"n2", "Wi-Fi (SSID unavailable)", "wifi", "NULL", "redacted", "legacy_redacted", "0.0", "0"},
                    {"n3", "Wi-Fi (SSID unavailable)", "wifi", "NULL", "redacted", "legacy_redacted", "0.0", "0"},
                    {"n4", "not redacted", "vpn", "NULL", "unavailable", "unknown", "0.0", "0"}}));
}

TEST_F(OstrelRepositoryMigrationTest, SecondMigrationChangesNothing) {
    migrate();
    {
        auto repository = openRepository(path);
        repository->insertSamples({makeSample("S1", ostrel::currentDate(), "n1", "a1", 10, 20)});
        repository->saveSettings({});
    }
    DatabaseInspector before(path);
    const std::string first = before.dump();
    migrate();
    migrate();
    EXPECT_EQ(DatabaseInspector(path).dump(), first);
}

TEST_F(OstrelRepositoryMigrationTest, FailingAlterOtherThanDuplicateStopsMigration) {
    {
        SQLiteDatabase old(path);
        // A view of that name survives CREATE TABLE IF NOT EXISTS, but takes no column.
        old.execute("CREATE VIEW networks AS SELECT 1 AS id;");
    }
    try {
        migrate();
        FAIL() << "migration went through";
    } catch (const SQLiteError& error) {
        EXPECT_EQ(error.kind(), SQLiteError::Kind::prepareFailed);
        EXPECT_STREQ(error.what(), "SQLite prepare failed: Cannot add a column to a view");
    }
    // It stopped before creating the later tables.
    EXPECT_EQ(DatabaseInspector(path).scalar("SELECT COUNT(*) FROM sqlite_master WHERE name = 'applications';"), 0);
}

}  // namespace
