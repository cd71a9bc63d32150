#include "Persistence/OstrelRepository.hpp"

#include <algorithm>
#include <charconv>
#include <utility>

#include "Model/Iso8601.hpp"
#include "Model/LocalKeys.hpp"
#include "Model/Uuid.hpp"
#include "Persistence/RollupRebuild.hpp"
#include "Persistence/RollupRecord.hpp"
#include "Platform/TimeZoneIdentity.hpp"

namespace ostrel {

namespace {

constexpr const char* networksUpsertSQL =
    "INSERT INTO networks (\n"
    "  id, name, type, interface_name, resolution_state, resolution_source, resolution_confidence, last_seen_at, "
    "is_active\n"
    ")\n"
    "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)\n"
    "ON CONFLICT(id)\n"
    "DO UPDATE SET\n"
    "  name = excluded.name,\n"
    "  type = excluded.type,\n"
    "  interface_name = excluded.interface_name,\n"
    "  resolution_state = excluded.resolution_state,\n"
    "  resolution_source = excluded.resolution_source,\n"
    "  resolution_confidence = excluded.resolution_confidence,\n"
    "  last_seen_at = excluded.last_seen_at,\n"
    "  is_active = excluded.is_active;";

constexpr const char* applicationsUpsertSQL =
    "INSERT INTO applications (id, bundle_id, name, icon_path, last_seen_at)\n"
    "VALUES (?, ?, ?, ?, ?)\n"
    "ON CONFLICT(id)\n"
    "DO UPDATE SET\n"
    "  bundle_id = excluded.bundle_id,\n"
    "  name = excluded.name,\n"
    "  icon_path = excluded.icon_path,\n"
    "  last_seen_at = excluded.last_seen_at;";

constexpr const char* sampleInsertSQL =
    "INSERT INTO usage_samples (\n"
    "  id, timestamp, network_id, app_id, rx_bytes, tx_bytes, source, attribution_confidence\n"
    ") VALUES (?, ?, ?, ?, ?, ?, ?, ?);";

constexpr const char* dailyRollupUpsertSQL =
    "INSERT INTO daily_usage (date, network_id, app_id, rx_bytes, tx_bytes)\n"
    "VALUES (?, ?, ?, ?, ?)\n"
    "ON CONFLICT(date, network_id, app_id)\n"
    "DO UPDATE SET\n"
    "  rx_bytes = daily_usage.rx_bytes + excluded.rx_bytes,\n"
    "  tx_bytes = daily_usage.tx_bytes + excluded.tx_bytes;";

constexpr const char* hourlyRollupUpsertSQL =
    "INSERT INTO hourly_usage (date_hour, network_id, app_id, rx_bytes, tx_bytes)\n"
    "VALUES (?, ?, ?, ?, ?)\n"
    "ON CONFLICT(date_hour, network_id, app_id)\n"
    "DO UPDATE SET\n"
    "  rx_bytes = hourly_usage.rx_bytes + excluded.rx_bytes,\n"
    "  tx_bytes = hourly_usage.tx_bytes + excluded.tx_bytes;";

constexpr const char* settingUpsertSQL =
    "INSERT INTO settings (key, value)\n"
    "VALUES (?, ?)\n"
    "ON CONFLICT(key) DO UPDATE SET value = excluded.value;";

constexpr const char* eventInsertSQL =
    "INSERT INTO threshold_events (id, timestamp, level, total_bytes, timeframe, notified)\n"
    "VALUES (?, ?, ?, ?, ?, ?);";

constexpr const char* menuBarDisplayModeKey = "menu_bar_display_mode";
constexpr const char* warningThresholdKey = "warning_threshold_bytes";
constexpr const char* dangerThresholdKey = "danger_threshold_bytes";
constexpr const char* notificationsEnabledKey = "notifications_enabled";
constexpr const char* launchAtLoginKey = "launch_at_login";

SQLiteValue text(std::string_view value) {
    return SQLiteValue{std::string(value)};
}

// An optional sign, then digits only; nothing for anything else, overflow included.
std::optional<std::int64_t> parseInt64(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return std::nullopt;
    }
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc{} || stop != end) return std::nullopt;
    return value;
}

void insertSample(SQLiteConnection& connection, const UsageSampleRecord& sample) {
    const std::string stamp = ostrelISO8601String(sample.timestamp);
    connection.executeKept(networksUpsertSQL, {sample.networkID, sample.networkName, text(rawValue(sample.networkType)),
                                               nullptr, "resolved", "sample", 1.0, stamp, std::int64_t{1}});
    connection.executeKept(applicationsUpsertSQL, {sample.appID, sample.appID, sample.appName, nullptr, stamp});
    connection.executeKept(sampleInsertSQL, {sample.id, stamp, sample.networkID, sample.appID, sample.rxBytes,
                                             sample.txBytes, sample.source, sample.attributionConfidence});
    connection.executeKept(dailyRollupUpsertSQL, {dayKey(sample.timestamp, Calendar::current()), sample.networkID,
                                                  sample.appID, sample.rxBytes, sample.txBytes});
    connection.executeKept(hourlyRollupUpsertSQL, {hourKey(sample.timestamp, Calendar::current()), sample.networkID,
                                                   sample.appID, sample.rxBytes, sample.txBytes});
}

}  // namespace

// MARK: Transactions

void OstrelRepository::inTransaction(const char* opening, const std::function<void(SQLiteConnection&)>& body) {
    database->runExclusive([&](SQLiteConnection& connection) { transactionForm(connection, opening, body); });
}

void OstrelRepository::transactionForm(SQLiteConnection& connection, const char* opening,
                                       const std::function<void(SQLiteConnection&)>& body) {
    connection.execute(opening);
    try {
        body(connection);
        connection.execute("COMMIT;");
    } catch (...) {
        try {
            connection.execute("ROLLBACK;");
        } catch (const SQLiteError&) {
            // The first error is the one that matters; SQLite may have rolled back already.
        }
        throw;
    }
}

// MARK: Samples and roll-ups

void OstrelRepository::insertSamples(const std::vector<UsageSampleRecord>& samples) {
    if (samples.empty()) return;
    // Hourly rows stand for samples of the program's own time stamps, within the years SQLite takes
    // local time from the C library for, as the keys are made, and without negative bytes.
    const bool usual = std::all_of(samples.begin(), samples.end(), [&](const UsageSampleRecord& sample) {
        return sample.rxBytes >= 0 && sample.txBytes >= 0 && sample.timestamp >= sqliteLocaltimeFrom &&
               sample.timestamp < sqliteLocaltimeUntil;
    });
    inTransaction("BEGIN TRANSACTION;", [&](SQLiteConnection& connection) {
        // The zone before and after the keys are made: a change in between marks the batch.
        const std::string zone = currentZone(connection).rulesKey();
        rollup_record::ownWritesBegin(connection);
        for (const auto& sample : samples) {
            insertSample(connection, sample);
        }
        const auto record = RollupRecord::read(connection);
        if (record && !record->otherWrites &&
            (!usual || record->zone != zone || TimeZoneIdentity::current().rulesKey() != zone)) {
            rollup_record::otherWrites(connection);
        }
        rollup_record::ownWritesEnd(connection);
    });
}

void OstrelRepository::clearAllData() {
    database->runExclusive([this](SQLiteConnection& connection) {
        // With foreign keys on, SQLite empties a table row by row: two minutes at a heavy month,
        // against seconds. Every table with a key is emptied here, so none can dangle; the pragma
        // is a no-op inside a transaction, hence around it.
        connection.execute("PRAGMA foreign_keys=OFF;");
        try {
            transactionForm(connection, "BEGIN IMMEDIATE TRANSACTION;",
                            [this](SQLiteConnection& c) { clearAllTables(c); });
        } catch (...) {
            connection.execute("PRAGMA foreign_keys=ON;");
            throw;
        }
        connection.execute("PRAGMA foreign_keys=ON;");
    });
}

void OstrelRepository::clearAllTables(SQLiteConnection& connection) {
    // The same holds for a table with triggers; these are the program's own deletions, which
    // the triggers would not count anyway.
    rollup_record::dropEditTriggers(connection);
    connection.execute("DELETE FROM usage_samples;");
    connection.execute("DELETE FROM daily_usage;");
    connection.execute("DELETE FROM hourly_usage;");
    connection.execute("DELETE FROM threshold_events;");
    connection.execute("DELETE FROM applications;");
    connection.execute("DELETE FROM networks;");
    rollup_record::createEditTriggers(connection);
    // Empty roll-ups are the rebuild of no samples in any zone.
    rollup_record::rebuilt(connection, currentZone(connection).rulesKey());
    rollup_record::ownWritesEnd(connection);
    rebuildEnded();
}

// MARK: Settings

void OstrelRepository::saveSettings(const OstrelSettings& settings) {
    const std::pair<const char*, std::string> values[] = {
        {menuBarDisplayModeKey, std::string(rawValue(settings.menuBarDisplayMode))},
        {warningThresholdKey, std::to_string(settings.warningThresholdBytes)},
        {dangerThresholdKey, std::to_string(settings.dangerThresholdBytes)},
        {notificationsEnabledKey, settings.notificationsEnabled ? "1" : "0"},
        {launchAtLoginKey, settings.launchAtLogin ? "1" : "0"},
    };
    // All five or none: a save failing halfway would leave a mix that the next start reads back.
    inTransaction("BEGIN TRANSACTION;", [&](SQLiteConnection& connection) {
        for (const auto& [key, value] : values) {
            connection.execute(settingUpsertSQL, {text(key), value});
        }
    });
}

std::optional<OstrelSettings> OstrelRepository::loadSettings() {
    std::map<std::string, std::string> stored;
    database->query("SELECT key, value FROM settings", {},
                    [&](const SQLiteRow& row) { stored[row.text(0)] = row.text(1); });
    if (stored.empty()) return std::nullopt;

    // A missing key reads as empty text, which no setting takes for a value of its own.
    const auto value = [&](const char* key) {
        const auto found = stored.find(key);
        return found == stored.end() ? std::string_view() : std::string_view(found->second);
    };
    OstrelSettings settings;  // the defaults, until a stored value replaces them
    settings.menuBarDisplayMode =
        menuBarDisplayModeFromRaw(value(menuBarDisplayModeKey)).value_or(MenuBarDisplayMode::totalToday);
    settings.warningThresholdBytes = parseInt64(value(warningThresholdKey)).value_or(settings.warningThresholdBytes);
    settings.dangerThresholdBytes = parseInt64(value(dangerThresholdKey)).value_or(settings.dangerThresholdBytes);
    settings.notificationsEnabled = value(notificationsEnabledKey) == "1";
    settings.launchAtLogin = value(launchAtLoginKey) == "1";
    return settings;
}

// MARK: Networks, applications, events

void OstrelRepository::setActiveNetwork(const NetworkIdentity& network, Date seenAt) {
    database->execute("UPDATE networks SET is_active = 0;");
    database->execute(networksUpsertSQL,
                      {network.id, network.name, text(rawValue(network.type)), sqliteText(network.interfaceName),
                       text(rawValue(network.resolutionState)), network.resolutionSource, network.resolutionConfidence,
                       ostrelISO8601String(seenAt), std::int64_t{1}});
}

void OstrelRepository::upsertApplication(const AppUsageAttribution& application, Date seenAt) {
    database->execute(applicationsUpsertSQL, {application.appID, application.bundleID, application.name,
                                              sqliteText(application.iconPath), ostrelISO8601String(seenAt)});
}

void OstrelRepository::recordThresholdEvent(AlertLevel level, std::int64_t totalBytes, TimeframePreset timeframe,
                                            bool notified) {
    database->execute(eventInsertSQL, {makeUuidString(), ostrelISO8601String(currentDate()), text(rawValue(level)),
                                       totalBytes, text(rawValue(timeframe)), std::int64_t{notified ? 1 : 0}});
}

void OstrelRepository::checkpointThen(bool copyLog, const std::function<bool(bool complete)>& round) {
    database->runExclusive([&](SQLiteConnection& connection) {
        for (;;) {
            bool complete = !copyLog;
            if (copyLog) {
                try {
                    // One row: busy, frames in the log, frames copied.
                    connection.query("PRAGMA wal_checkpoint(TRUNCATE);", {},
                                     [&](const SQLiteRow& row) { complete = row.int64(0) == 0; });
                } catch (const SQLiteError&) {
                    // What could not be copied stays in the log, for the next round.
                }
            }
            if (round(complete)) return;
        }
    });
}

}  // namespace ostrel
