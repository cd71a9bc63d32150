#include <gtest/gtest.h>

#include <limits>
#include <sstream>
#include <tuple>

#include "Model/Iso8601.hpp"
#include "Persistence/support/PersistenceTestSupport.hpp"

using namespace ostrel;
using namespace ostrel::testing;
using namespace std::chrono_literals;

namespace {

class OstrelRepositoryWritesTest : public ::testing::Test {
protected:
    TemporaryFolder folder;
    std::string path = folder.file("ostrel.sqlite");
    const char* zone = "UTC";
    std::shared_ptr<OstrelRepository> repository = openRepository(path, [this] { return Calendar::named(zone); });
    DatabaseInspector inspector{path};

    Rows rollup(const char* table) {
        return inspector.rows(std::string("SELECT * FROM ") + table + " ORDER BY 1, 2, 3;");
    }
    // "key=received" per row, in key order.
    std::string keys(const char* table) {
        std::string text;
        for (const auto& row : rollup(table)) text += (text.empty() ? "" : " ") + row[0] + "=" + row[3];
        return text;
    }
};

TEST_F(OstrelRepositoryWritesTest, BatchStoresRowsAndSumsRollupsAndFailsWhole) {
    repository->insertSamples({});
    const Date t = localTime("UTC", 2026, 3, 1, 14, 5, 9, 123);
    repository->insertSamples({makeSample("S1", t, "net", "app", 100, 10),
                               makeSample("S2", t + 20min, "net", "app", 1, 2),
                               makeSample("S3", t + 1h, "net", "app", 5, 5, "fallback")});
    EXPECT_EQ(inspector.rows("SELECT * FROM usage_samples WHERE id = 'S3';"),
              (Rows{{"S3", "2026-03-01T15:05:09.123Z", "net", "app", "5", "5", "fallback", "0.5"}}));
    EXPECT_EQ(rollup("daily_usage"), (Rows{{"2026-03-01", "net", "app", "106", "17"}}));
    EXPECT_EQ(keys("hourly_usage"), "2026-03-01T14:00:00=101 2026-03-01T15:00:00=5");

    // A duplicate identifier, within the batch or against a stored row, comes last: everything
    // before it, new network and application rows included, goes with the rollback.
    const Rows before = inspector.dump();
    for (const std::string duplicate : {"NEW1", "S1"}) {
        try {
            repository->insertSamples({makeSample("NEW1", t, "net", "app", 5, 5),
                                       makeSample("NEW2", t, "other-net", "other-app", 7, 7),
                                       makeSample(duplicate, t + 1s, "net", "app", 9, 9)});
            ADD_FAILURE() << "batch stored";
        } catch (const SQLiteError& error) {
            EXPECT_STREQ(error.what(), "SQLite step failed: UNIQUE constraint failed: usage_samples.id");
        }
        EXPECT_EQ(inspector.dump(), before);
    }
    repository->insertSamples({makeSample("NEW1", t, "net", "app", 5, 5)});
    EXPECT_EQ(inspector.count("usage_samples"), 4);
}

// Wall-clock text in a zone; a trailing '+' takes the second pass of an hour that happens twice.
Date wallClock(const char* zone, std::string text) {
    const bool later = text.back() == '+';
    if (later) text.pop_back();
    std::istringstream in(text);
    date::local_time<std::chrono::milliseconds> local;
    in >> date::parse("%F %T", local);
    return date::locate_zone(zone)->to_sys(local, later ? date::choose::latest : date::choose::earliest);
}

// Midnight, the spring gap and both passes of the autumn hour, in two zones. The SQL rebuild
// (which reads TZ) must write the same keys.
TEST_F(OstrelRepositoryWritesTest, RollupKeysAcrossMidnightAndDaylightSavingInTwoZones) {
    const std::vector<std::tuple<const char*, std::vector<std::string>, const char*, const char*>> cases{
        {"America/New_York",
         {"2026-03-07 23:59:59.999", "2026-03-08 00:00:00", "2026-03-08 01:59:59.999", "2026-03-08 03:00:00",
          "2026-11-01 01:30:00", "2026-11-01 01:30:00+"},
         "2026-03-07=1 2026-03-08=3 2026-11-01=2",
         "2026-03-07T23:00:00=1 2026-03-08T00:00:00=1 2026-03-08T01:00:00=1 2026-03-08T03:00:00=1 "
         "2026-11-01T01:00:00=2"},
        {"Europe/Berlin",
         {"2026-03-28 23:59:59.999", "2026-03-29 01:59:59.999", "2026-03-29 03:00:00", "2026-10-25 02:30:00",
          "2026-10-25 02:30:00+", "2026-10-26 00:00:00"},
         "2026-03-28=1 2026-03-29=2 2026-10-25=2 2026-10-26=1",
         "2026-03-28T23:00:00=1 2026-03-29T01:00:00=1 2026-03-29T03:00:00=1 2026-10-25T02:00:00=2 "
         "2026-10-26T00:00:00=1"}};
    for (const auto& [caseZone, times, daily, hourly] : cases) {
        SCOPED_TRACE(caseZone);
        repository->clearAllData();
        zone = caseZone;
        std::vector<UsageSampleRecord> batch;
        for (const auto& text : times) {
            batch.push_back(makeSample(text, wallClock(caseZone, text), "net", "app", 1, 0));
        }
        repository->insertSamples(batch);
        ScopedTimeZone processZone(caseZone);
        for (bool rebuilt : {false, true}) {
            EXPECT_EQ(keys("daily_usage"), daily) << rebuilt;
            EXPECT_EQ(keys("hourly_usage"), hourly) << rebuilt;
            inspector.execute("DELETE FROM hourly_usage;");
            repository->repairRollupsIfNeeded();
        }
    }
}

TEST_F(OstrelRepositoryWritesTest, RepairOnlyWhenTotalsDisagreeAndPurgeKeepsRealData) {
    ScopedTimeZone processZone("UTC");
    repository->purgeMockData();  // empty file: nothing to do
    const Date t = localTime("UTC", 2026, 4, 1, 8);
    repository->insertSamples({makeSample("M1", t, "shared-net", "mock-app", 1000, 1000, "mock"),
                               makeSample("M2", t, "mock-net", "mock-app", 1000, 1000, "mock"),
                               makeSample("R1", t + 1s, "shared-net", "real-app", 3, 4),
                               makeSample("R2", t + 25h, "shared-net", "real-app", 5, 6, "fallback")});
    const std::string rollups = keys("daily_usage") + " " + keys("hourly_usage");
    // Same totals, different spread: left as it is. Only the hourly table off: both rebuilt.
    inspector.execute(
        "UPDATE daily_usage SET rx_bytes = rx_bytes + 40 * (2 * (network_id = 'mock-net') - 1) "
        "WHERE app_id = 'mock-app';");
    const std::string moved = keys("daily_usage");
    repository->repairRollupsIfNeeded();
    EXPECT_EQ(keys("daily_usage"), moved);
    inspector.execute("DELETE FROM hourly_usage;");
    repository->repairRollupsIfNeeded();
    EXPECT_EQ(keys("daily_usage") + " " + keys("hourly_usage"), rollups);

    repository->recordThresholdEvent(AlertLevel::warning, 4000, TimeframePreset::daily, true);
    repository->purgeMockData();
    EXPECT_EQ(inspector.rows("SELECT id FROM usage_samples UNION ALL SELECT id FROM networks UNION ALL "
                             "SELECT id FROM applications UNION ALL SELECT id FROM threshold_events;"),
              (Rows{{"R1"}, {"R2"}, {"shared-net"}, {"real-app"}}));
    EXPECT_EQ(rollup("hourly_usage"), (Rows{{"2026-04-01T08:00:00", "shared-net", "real-app", "3", "4"},
                                            {"2026-04-02T09:00:00", "shared-net", "real-app", "5", "6"}}));
    EXPECT_EQ(keys("daily_usage"), "2026-04-01=3 2026-04-02=5");

    repository->saveSettings({});
    repository->clearAllData();
    // The settings alone, and the record of empty roll-ups.
    EXPECT_EQ(inspector.dump().size(), inspector.schema().size() + 6);
}

TEST_F(OstrelRepositoryWritesTest, SettingsRoundTripAndUnreadableTextsFallBack) {
    EXPECT_EQ(repository->loadSettings(), std::nullopt);
    for (auto mode : allMenuBarDisplayModes) {
        const OstrelSettings settings{mode, -5, std::numeric_limits<std::int64_t>::min(),
                                      mode != MenuBarDisplayMode::totalToday, mode == MenuBarDisplayMode::compactTotal};
        repository->saveSettings(settings);
        EXPECT_EQ(repository->loadSettings(), settings);
    }
    repository->saveSettings({});
    EXPECT_EQ(
        inspector.rows("SELECT group_concat(key || '=' || value, ' ') FROM (SELECT * FROM settings ORDER BY key);"),
        (Rows{{"danger_threshold_bytes=10737418240 launch_at_login=0 menu_bar_display_mode=totalToday "
               "notifications_enabled=1 warning_threshold_bytes=5368709120"}}));

    // A key left out, or stored as unreadable text, takes its default; an unknown key is ignored.
    inspector.execute("DELETE FROM settings WHERE key = 'danger_threshold_bytes';");
    inspector.execute("INSERT INTO settings VALUES ('future_key', 'x');");
    inspector.execute(
        "UPDATE settings SET value = CASE key WHEN 'menu_bar_display_mode' THEN 'Compact' "
        "WHEN 'notifications_enabled' THEN 'true' WHEN 'launch_at_login' THEN '1' ELSE value END;");
    const auto warningRead = [&](const std::string& text) {
        inspector.execute("UPDATE settings SET value = '" + text + "' WHERE key = 'warning_threshold_bytes';");
        return repository->loadSettings();
    };
    const auto withWarning = [](std::int64_t warning) {
        return OstrelSettings{MenuBarDisplayMode::totalToday, warning, 10737418240, false, true};
    };
    for (const char* text : {"12abc", "", "+-5", " 42", "42 ", "4.2", "9223372036854775808", "-9223372036854775809"}) {
        EXPECT_EQ(warningRead(text), withWarning(5368709120)) << text;
    }
    EXPECT_EQ(warningRead("+42"), withWarning(42));
    EXPECT_EQ(warningRead("-42"), withWarning(-42));
    EXPECT_EQ(warningRead("9223372036854775807"), withWarning(std::numeric_limits<std::int64_t>::max()));
}

TEST_F(OstrelRepositoryWritesTest, ActiveNetworkAndThresholdEvents) {
    const Date t = localTime("UTC", 2026, 5, 1, 12);
    repository->setActiveNetwork(
        {"wifi-1", "Cafe", NetworkType::wifi, true, "wlan0", NetworkResolutionState::resolved, "nl80211", 0.9}, t);
    repository->setActiveNetwork({"eth-1", "Desk", NetworkType::ethernet, true, std::nullopt,
                                  NetworkResolutionState::unavailable, "route", 0.25},
                                 t + 10s);
    EXPECT_EQ(
        inspector.rows("SELECT * FROM networks ORDER BY id;"),
        (Rows{{"eth-1", "Desk", "ethernet", "NULL", "unavailable", "route", "0.25", "2026-05-01T12:00:10.000Z", "1"},
              {"wifi-1", "Cafe", "wifi", "wlan0", "resolved", "nl80211", "0.9", "2026-05-01T12:00:00.000Z", "0"}}));

    const auto before = std::chrono::floor<std::chrono::milliseconds>(currentDate());
    repository->recordThresholdEvent(AlertLevel::danger, 123, TimeframePreset::monthly, true);
    repository->recordThresholdEvent(AlertLevel::warning, -1, TimeframePreset::custom, false);
    EXPECT_EQ(inspector.rows("SELECT level, total_bytes, timeframe, notified, length(id) FROM threshold_events "
                             "ORDER BY level;"),
              (Rows{{"danger", "123", "monthly", "1", "36"}, {"warning", "-1", "custom", "0", "36"}}));
    for (const auto& row : inspector.rows("SELECT timestamp FROM threshold_events;")) {
        const auto stamp = ostrelISO8601Date(row[0]);
        EXPECT_TRUE(stamp && *stamp >= before && *stamp <= currentDate()) << row[0];
    }
}

}  // namespace
