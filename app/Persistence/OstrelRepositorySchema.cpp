#include <algorithm>
#include <cctype>

#include "Persistence/OstrelRepository.hpp"
#include "Persistence/RollupRecord.hpp"

namespace ostrel {

namespace {

constexpr const char* createNetworksSQL =
    "CREATE TABLE IF NOT EXISTS networks (\n"
    "  id TEXT PRIMARY KEY,\n"
    "  name TEXT NOT NULL,\n"
    "  type TEXT NOT NULL,\n"
    "  interface_name TEXT,\n"
    "  resolution_state TEXT NOT NULL DEFAULT 'unavailable',\n"
    "  resolution_source TEXT NOT NULL DEFAULT 'unknown',\n"
    "  resolution_confidence REAL NOT NULL DEFAULT 0,\n"
    "  last_seen_at TEXT NOT NULL,\n"
    "  is_active INTEGER NOT NULL DEFAULT 0\n"
    ");";

constexpr const char* legacyNameRewriteSQL =
    "UPDATE networks\n"
    "   SET name = 'Wi-Fi (SSID unavailable)',\n"
    "       type = 'wifi',\n"
    "       resolution_state = 'redacted',\n"
    "       resolution_source = 'legacy_redacted'\n"
    " WHERE LOWER(name) = 'redacted' OR LOWER(name) = '<redacted>';";

constexpr const char* createApplicationsSQL =
    "CREATE TABLE IF NOT EXISTS applications (\n"
    "  id TEXT PRIMARY KEY,\n"
    "  bundle_id TEXT NOT NULL,\n"
    "  name TEXT NOT NULL,\n"
    "  icon_path TEXT,\n"
    "  last_seen_at TEXT NOT NULL\n"
    ");";

constexpr const char* createUsageSamplesSQL =
    "CREATE TABLE IF NOT EXISTS usage_samples (\n"
    "  id TEXT PRIMARY KEY,\n"
    "  timestamp TEXT NOT NULL,\n"
    "  network_id TEXT NOT NULL,\n"
    "  app_id TEXT NOT NULL,\n"
    "  rx_bytes INTEGER NOT NULL,\n"
    "  tx_bytes INTEGER NOT NULL,\n"
    "  source TEXT NOT NULL,\n"
    "  attribution_confidence REAL NOT NULL,\n"
    "  FOREIGN KEY(network_id) REFERENCES networks(id),\n"
    "  FOREIGN KEY(app_id) REFERENCES applications(id)\n"
    ");";

constexpr const char* createDailyUsageSQL =
    "CREATE TABLE IF NOT EXISTS daily_usage (\n"
    "  date TEXT NOT NULL,\n"
    "  network_id TEXT NOT NULL,\n"
    "  app_id TEXT NOT NULL,\n"
    "  rx_bytes INTEGER NOT NULL,\n"
    "  tx_bytes INTEGER NOT NULL,\n"
    "  PRIMARY KEY(date, network_id, app_id)\n"
    ");";

constexpr const char* createHourlyUsageSQL =
    "CREATE TABLE IF NOT EXISTS hourly_usage (\n"
    "  date_hour TEXT NOT NULL,\n"
    "  network_id TEXT NOT NULL,\n"
    "  app_id TEXT NOT NULL,\n"
    "  rx_bytes INTEGER NOT NULL,\n"
    "  tx_bytes INTEGER NOT NULL,\n"
    "  PRIMARY KEY(date_hour, network_id, app_id)\n"
    ");";

constexpr const char* createSettingsSQL =
    "CREATE TABLE IF NOT EXISTS settings (\n"
    "  key TEXT PRIMARY KEY,\n"
    "  value TEXT NOT NULL\n"
    ");";

constexpr const char* createThresholdEventsSQL =
    "CREATE TABLE IF NOT EXISTS threshold_events (\n"
    "  id TEXT PRIMARY KEY,\n"
    "  timestamp TEXT NOT NULL,\n"
    "  level TEXT NOT NULL,\n"
    "  total_bytes INTEGER NOT NULL,\n"
    "  timeframe TEXT NOT NULL,\n"
    "  notified INTEGER NOT NULL\n"
    ");";

// What the last rebuild of the roll-ups was made from, and what was written since (RollupRecord).
// Earlier builds kept more in it, and add their columns again when they open the file.
constexpr const char* createRollupStateSQL =
    "CREATE TABLE IF NOT EXISTS rollup_state (\n"
    "  id INTEGER PRIMARY KEY CHECK (id = 1),\n"
    "  zone_name TEXT NOT NULL,\n"
    "  tzdata_version TEXT NOT NULL,\n"
    "  zone_file_digest TEXT NOT NULL,\n"
    "  other_zone_writes INTEGER NOT NULL,\n"
    "  raw_total INTEGER NOT NULL\n"
    ");";

// Added after the table first shipped.
constexpr const char* rollupStateColumns[] = {
    "zone_rules TEXT NOT NULL DEFAULT ''",
    "outside_edits INTEGER NOT NULL DEFAULT 0",
    "own_writes INTEGER NOT NULL DEFAULT 0",
};

}  // namespace

// No schema version: every step is safe to run again on a new, current or older file.
void OstrelRepository::migrate() {
    database->execute(createNetworksSQL);
    addColumnIfMissing("networks", "interface_name TEXT");
    addColumnIfMissing("networks", "resolution_state TEXT NOT NULL DEFAULT 'unavailable'");
    addColumnIfMissing("networks", "resolution_source TEXT NOT NULL DEFAULT 'unknown'");
    addColumnIfMissing("networks", "resolution_confidence REAL NOT NULL DEFAULT 0");
    database->execute(legacyNameRewriteSQL);

    database->execute(createApplicationsSQL);

    database->execute(createUsageSamplesSQL);
    database->execute("CREATE INDEX IF NOT EXISTS idx_usage_samples_timestamp ON usage_samples(timestamp);");
    database->execute("CREATE INDEX IF NOT EXISTS idx_usage_samples_network ON usage_samples(network_id);");
    database->execute("CREATE INDEX IF NOT EXISTS idx_usage_samples_app ON usage_samples(app_id);");

    database->execute(createDailyUsageSQL);
    database->execute("CREATE INDEX IF NOT EXISTS idx_daily_usage_date ON daily_usage(date);");
    database->execute("CREATE INDEX IF NOT EXISTS idx_daily_usage_network_date ON daily_usage(network_id, date);");
    database->execute("CREATE INDEX IF NOT EXISTS idx_daily_usage_app_date ON daily_usage(app_id, date);");

    database->execute(createHourlyUsageSQL);
    database->execute("CREATE INDEX IF NOT EXISTS idx_hourly_usage_date_hour ON hourly_usage(date_hour);");
    database->execute(
        "CREATE INDEX IF NOT EXISTS idx_hourly_usage_network_hour ON hourly_usage(network_id, date_hour);");
    database->execute("CREATE INDEX IF NOT EXISTS idx_hourly_usage_app_hour ON hourly_usage(app_id, date_hour);");

    database->execute(createSettingsSQL);
    database->execute(createThresholdEventsSQL);

    // Only demonstration rows: the purge at every start finds them without reading every sample.
    database->execute(
        "CREATE INDEX IF NOT EXISTS idx_usage_samples_mock ON usage_samples(source) WHERE source = 'mock';");
    database->execute(createRollupStateSQL);
    for (const char* column : rollupStateColumns) addColumnIfMissing("rollup_state", column);
    database->runExclusive([](SQLiteConnection& connection) { rollup_record::watchEdits(connection); });
}

void OstrelRepository::addColumnIfMissing(const std::string& table, const std::string& definition) {
    try {
        database->execute("ALTER TABLE " + table + " ADD COLUMN " + definition + ";");
    } catch (const SQLiteError& error) {
        std::string description = error.what();
        std::transform(description.begin(), description.end(), description.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (description.find("duplicate column name") == std::string::npos) throw;
    }
}

}  // namespace ostrel
