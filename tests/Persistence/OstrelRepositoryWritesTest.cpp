#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <limits>
#include <tuple>

#include "Model/Iso8601.hpp"
#include "Persistence/support/PersistenceTestSupport.hpp"

using namespace ostrel;
using namespace ostrel::testing;
using namespace std::chrono_literals;

namespace {

class OstrelRepositoryWritesTest : public ::testing::Test {
protected:
    TempTree folder;
    std::string path = folder.file("ostrel.sqlite");
    ScopedTimeZone zone{"UTC"};
    std::shared_ptr<OstrelRepository> repository = openRepository(path);
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
// (Read by hand: date::parse's seconds field trips GCC 12's maybe-uninitialized check at -O3.)
Date wallClock(const char* zone, const std::string& text) {
    int year = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
    unsigned month = 0, day = 0;
    std::sscanf(text.c_str(), "%d-%u-%u %d:%d:%d.%d", &year, &month, &day, &hour, &minute, &second, &millisecond);
    return localTime(zone, year, month, day, hour, minute, second, millisecond,
                     text.back() == '+' ? date::choose::latest : date::choose::earliest);
}

// Midnight, the spring gap and both passes of the autumn hour, in two zones, each set by its name
// and by another form of TZ. The SQL rebuild must write the same keys.
TEST_F(OstrelRepositoryWritesTest, RollupKeysAcrossMidnightAndDaylightSavingInTwoZones) {
    const std::string copiedZone = folder.file("localtime");
    std::filesystem::copy_file("/usr/share/zoneinfo/America/New_York", copiedZone);
    using Settings = std::vector<const char*>;  // the first names the zone in the time zone database
    const std::vector<std::tuple<Settings, std::vector<std::string>, const char*, const char*>> cases{
        {{"America/New_York", copiedZone.c_str()},
         {"2026-03-07 23:59:59.999", "2026-03-08 00:00:00", "2026-03-08 01:59:59.999", "2026-03-08 03:00:00",
          "2026-11-01 01:30:00", "2026-11-01 01:30:00+"},
         "2026-03-07=1 2026-03-08=3 2026-11-01=2",
         "2026-03-07T23:00:00=1 2026-03-08T00:00:00=1 2026-03-08T01:00:00=1 2026-03-08T03:00:00=1 "
         "2026-11-01T01:00:00=2"},
        {{"Europe/Berlin", "CET-1CEST,M3.5.0,M10.5.0/3"},
         {"2026-03-28 23:59:59.999", "2026-03-29 01:59:59.999", "2026-03-29 03:00:00", "2026-10-25 02:30:00",
          "2026-10-25 02:30:00+", "2026-10-26 00:00:00"},
         "2026-03-28=1 2026-03-29=2 2026-10-25=2 2026-10-26=1",
         "2026-03-28T23:00:00=1 2026-03-29T01:00:00=1 2026-03-29T03:00:00=1 2026-10-25T02:00:00=2 "
         "2026-10-26T00:00:00=1"}};
    for (const auto& [settings, times, daily, hourly] : cases) {
        for (const char* setting : settings) {
            SCOPED_TRACE(setting);
            repository->clearAllData();
            ScopedTimeZone processZone(setting);
            std::vector<UsageSampleRecord> batch;
            for (const auto& text : times) {
                batch.push_back(makeSample(text, wallClock(settings[0], text), "net", "app", 1, 0));
            }
            repository->insertSamples(batch);
            for (bool rebuilt : {false, true}) {
                EXPECT_EQ(keys("daily_usage"), daily) << rebuilt;
                EXPECT_EQ(keys("hourly_usage"), hourly) << rebuilt;
                inspector.execute("DELETE FROM hourly_usage;");
                repository->repairRollupsIfNeeded();
            }
        }
    }
}

TEST_F(OstrelRepositoryWritesTest, RepairAfterChangesByOthersAndPurgeKeepsRealData) {
    repository->purgeMockData();  // empty file: nothing to do
    const Date t = localTime("UTC", 2026, 4, 1, 8);
    // Demonstration rows alone: nothing of them stays.
    repository->insertSamples({makeSample("M0", t, "mock-net", "mock-app", 7, 7, "mock")});
    repository->recordThresholdEvent(AlertLevel::danger, 14, TimeframePreset::daily, true);
    repository->purgeMockData();
    EXPECT_EQ(inspector.rows("SELECT (SELECT COUNT(*) FROM usage_samples) + (SELECT COUNT(*) FROM daily_usage) + "
                             "(SELECT COUNT(*) FROM hourly_usage) + (SELECT COUNT(*) FROM networks) + "
                             "(SELECT COUNT(*) FROM applications) + (SELECT COUNT(*) FROM threshold_events);"),
              (Rows{{"0"}}));

    repository->insertSamples({makeSample("M1", t, "shared-net", "mock-app", 1000, 1000, "mock"),
                               makeSample("M2", t, "mock-net", "mock-app", 1000, 1000, "mock"),
                               makeSample("R1", t + 1s, "shared-net", "real-app", 3, 4),
                               makeSample("R2", t + 25h, "shared-net", "real-app", 5, 6, "fallback")});
    const std::string rollups = keys("daily_usage") + " " + keys("hourly_usage");
    // Same totals, different spread: rebuilt all the same. Only the hourly table off: both rebuilt.
    inspector.execute(
        "UPDATE daily_usage SET rx_bytes = rx_bytes + 40 * (2 * (network_id = 'mock-net') - 1) "
        "WHERE app_id = 'mock-app';");
    repository->repairRollupsIfNeeded();
    EXPECT_EQ(keys("daily_usage") + " " + keys("hourly_usage"), rollups);
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
    // A save failing at its fourth key leaves the stored settings as they were.
    inspector.execute(
        "CREATE TRIGGER refuse BEFORE UPDATE ON settings WHEN NEW.key = 'notifications_enabled' "
        "BEGIN SELECT RAISE(ABORT, 'refused'); END;");
    EXPECT_THROW(repository->saveSettings({MenuBarDisplayMode::compactTotal, 1, 2, false, true}), SQLiteError);
    EXPECT_EQ(repository->loadSettings(), OstrelSettings{});
    inspector.execute("DROP TRIGGER refuse;");

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
    // Missing switches read as off, whatever their defaults.
    inspector.execute("DELETE FROM settings WHERE key IN ('notifications_enabled', 'launch_at_login');");
    EXPECT_EQ(warningRead("7"), (OstrelSettings{MenuBarDisplayMode::totalToday, 7, 10737418240, false, false}));
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

// The clear lifts the foreign keys for speed; a clear that fails must leave every row, and the
// keys are enforced again for what comes after either way.
TEST_F(OstrelRepositoryWritesTest, FailedClearKeepsEverythingAndTheKeysHoldAfterwards) {
    const Date t = localTime("UTC", 2026, 3, 1, 14, 0, 0, 0);
    repository->insertSamples({makeSample("S1", t, "net", "app", 100, 10)});
    repository->recordThresholdEvent(AlertLevel::warning, 4000, TimeframePreset::daily, true);
    const Rows before = inspector.dump();
    inspector.execute("CREATE TRIGGER refuse BEFORE DELETE ON networks BEGIN SELECT RAISE(ABORT, 'refused'); END;");
    EXPECT_THROW(repository->clearAllData(), SQLiteError);
    EXPECT_EQ(inspector.dump(), before);
    inspector.execute("DROP TRIGGER refuse;");

    // A network row removed as soon as it is written leaves the sample without one: refused only
    // while the keys are enforced.
    const auto orphaning = [&] {
        inspector.execute(
            "CREATE TRIGGER orphan AFTER INSERT ON networks BEGIN DELETE FROM networks WHERE id = NEW.id; END;");
    };
    orphaning();
    EXPECT_THROW(repository->insertSamples({makeSample("S2", t, "other-net", "app", 1, 1)}), SQLiteError);
    inspector.execute("DROP TRIGGER orphan;");

    repository->clearAllData();
    EXPECT_EQ(inspector.rows("SELECT COUNT(*) FROM usage_samples UNION ALL SELECT COUNT(*) FROM networks;"),
              (Rows{{"0"}, {"0"}}));
    orphaning();
    EXPECT_THROW(repository->insertSamples({makeSample("S3", t, "other-net", "app", 1, 1)}), SQLiteError);
}
