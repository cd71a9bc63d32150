#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Model/Iso8601.hpp"
#include "Persistence/OstrelRepository.hpp"
#include "Persistence/support/PersistenceTestSupport.hpp"

using ostrel::Calendar;
using ostrel::Date;
using ostrel::NetworkIdentity;
using ostrel::NetworkType;
using ostrel::SQLiteError;
using ostrel::UsageSampleRecord;
using namespace ostrel::testing;
using namespace std::chrono_literals;

namespace {

using Rows = std::vector<std::vector<std::string>>;

class OstrelRepositoryWritesTest : public ::testing::Test {
protected:
    TemporaryFolder folder;
    std::string path = folder.file("ostrel.sqlite");
    std::string zone = "UTC";
    std::shared_ptr<ostrel::OstrelRepository> repository =
        openRepository(path, [this] { return Calendar::named(zone.c_str()); });
    DatabaseInspector inspector{path};

    Rows daily() {
        return inspector.rows(
            "SELECT date, network_id, app_id, rx_bytes, tx_bytes FROM daily_usage "
            "ORDER BY date, network_id, app_id;");
    }
    Rows hourly() {
        return inspector.rows(
            "SELECT date_hour, network_id, app_id, rx_bytes, tx_bytes FROM hourly_usage "
            "ORDER BY date_hour, network_id, app_id;");
    }
    std::int64_t total(const std::string& table) {
        return inspector.scalar("SELECT COALESCE(SUM(rx_bytes + tx_bytes), 0) FROM " + table + ";");
    }
};

TEST_F(OstrelRepositoryWritesTest, SampleBatchStoresRowsAndSumsRollupsPerHour) {
    const Date t = localTime("UTC", 2026, 3, 1, 14, 5, 9, 123);
    repository->insertSamples({makeSample("S1", t, "net", "app", 100, 10),
                               makeSample("S2", t + 20min, "net", "app", 1, 2),
                               makeSample("S3", t + 1h, "net", "app", 5, 5)});
    EXPECT_EQ(inspector.rows("SELECT * FROM usage_samples ORDER BY id;"),
              (Rows{{"S1", "2026-03-01T14:05:09.123Z", "net", "app", "100", "10", "nettop", "0.5"},
                    {"S2", "2026-03-01T14:25:09.123Z", "net", "app", "1", "2", "nettop", "0.5"},
                    {"S3", "2026-03-01T15:05:09.123Z", "net", "app", "5", "5", "nettop", "0.5"}}));
    EXPECT_EQ(
        inspector.rows("SELECT * FROM networks;"),
        (Rows{{"net", "net name", "wifi", "NULL", "resolved", "sample", "1.0", "2026-03-01T15:05:09.123Z", "1"}}));
    EXPECT_EQ(inspector.rows("SELECT * FROM applications;"),
              (Rows{{"app", "app", "app name", "NULL", "2026-03-01T15:05:09.123Z"}}));
    EXPECT_EQ(daily(), (Rows{{"2026-03-01", "net", "app", "106", "17"}}));
    EXPECT_EQ(hourly(), (Rows{{"2026-03-01T14:00:00", "net", "app", "101", "12"},
                              {"2026-03-01T15:00:00", "net", "app", "5", "5"}}));
}

TEST_F(OstrelRepositoryWritesTest, BatchWithOneBadSampleLeavesNothingBehind) {
    NetworkIdentity home{"home",  "Home", NetworkType::ethernet, true, "eth0", ostrel::NetworkResolutionState::redacted,
                         "route", 0.7};
    repository->setActiveNetwork(home, localTime("UTC", 2026, 1, 1, 0, 0, 0));
    repository->upsertApplication({"app", "org.app", "App", "/usr/share/applications/app.desktop", 0, 0, 1, "nettop"},
                                  localTime("UTC", 2026, 1, 1, 0, 0, 0));
    repository->insertSamples({makeSample("OLD", localTime("UTC", 2026, 1, 1, 0, 0, 1), "home", "app", 1, 1)});
    const std::string before = inspector.dump();

    const Date t = localTime("UTC", 2026, 1, 2, 0, 0, 0);
    // The duplicate is last, so every other statement of the batch has already run.
    for (const auto& duplicate : {std::string("NEW1"), std::string("OLD")}) {
        SCOPED_TRACE(duplicate);
        try {
            repository->insertSamples({makeSample("NEW1", t, "home", "app", 5, 5),
                                       makeSample("NEW2", t, "other-net", "other-app", 7, 7),
                                       makeSample(duplicate, t + 1s, "home", "app", 9, 9)});
            FAIL() << "batch stored";
        } catch (const SQLiteError& error) {
            EXPECT_STREQ(error.what(), "SQLite step failed: UNIQUE constraint failed: usage_samples.id");
        }
        EXPECT_EQ(inspector.dump(), before);
    }
    // The connection is out of the failed transaction: the next batch commits on its own.
    repository->insertSamples({makeSample("NEW1", t, "home", "app", 5, 5)});
    EXPECT_EQ(inspector.count("usage_samples"), 2);
}

struct KeyCase {
    const char* zone;
    Date instant;
    const char* dayKey;
    const char* hourKey;
};

// Local day and hour boundaries, the spring gap and the autumn overlap in two zones.
std::vector<KeyCase> keyCases() {
    using date::choose;
    return {
        {"America/New_York", localTime("America/New_York", 2026, 3, 7, 23, 59, 59, 999), "2026-03-07",
         "2026-03-07T23:00:00"},
        {"America/New_York", localTime("America/New_York", 2026, 3, 8, 0, 0, 0), "2026-03-08", "2026-03-08T00:00:00"},
        {"America/New_York", localTime("America/New_York", 2026, 3, 8, 1, 59, 59, 999), "2026-03-08",
         "2026-03-08T01:00:00"},
        {"America/New_York", localTime("America/New_York", 2026, 3, 8, 3, 0, 0), "2026-03-08", "2026-03-08T03:00:00"},
        {"America/New_York", localTime("America/New_York", 2026, 11, 1, 1, 30, 0, 0, choose::earliest), "2026-11-01",
         "2026-11-01T01:00:00"},
        {"America/New_York", localTime("America/New_York", 2026, 11, 1, 1, 30, 0, 0, choose::latest), "2026-11-01",
         "2026-11-01T01:00:00"},
        {"America/New_York", localTime("America/New_York", 2026, 11, 1, 23, 59, 59, 999), "2026-11-01",
         "2026-11-01T23:00:00"},
        {"Europe/Berlin", localTime("Europe/Berlin", 2026, 3, 28, 23, 59, 59, 999), "2026-03-28",
         "2026-03-28T23:00:00"},
        {"Europe/Berlin", localTime("Europe/Berlin", 2026, 3, 29, 1, 59, 59, 999), "2026-03-29", "2026-03-29T01:00:00"},
        {"Europe/Berlin", localTime("Europe/Berlin", 2026, 3, 29, 3, 0, 0), "2026-03-29", "2026-03-29T03:00:00"},
        {"Europe/Berlin", localTime("Europe/Berlin", 2026, 10, 25, 2, 30, 0, 0, choose::earliest), "2026-10-25",
         "2026-10-25T02:00:00"},
        {"Europe/Berlin", localTime("Europe/Berlin", 2026, 10, 25, 2, 30, 0, 0, choose::latest), "2026-10-25",
         "2026-10-25T02:00:00"},
        {"Europe/Berlin", localTime("Europe/Berlin", 2026, 10, 26, 0, 0, 0), "2026-10-26", "2026-10-26T00:00:00"},
    };
}

TEST_F(OstrelRepositoryWritesTest, RollupKeysFollowTheCalendarAcrossMidnightAndDaylightSaving) {
    for (const char* keyZone : {"America/New_York", "Europe/Berlin"}) {
        SCOPED_TRACE(keyZone);
        repository->clearAllData();
        zone = keyZone;
        std::vector<UsageSampleRecord> batch;
        for (const auto& c : keyCases()) {
            if (std::string(c.zone) != keyZone) continue;
            batch.push_back(makeSample("S" + std::to_string(batch.size()), c.instant, "net", "app", 1, 0));
        }
        repository->insertSamples(batch);
        Rows expectedDaily;
        Rows expectedHourly;
        for (const auto& c : keyCases()) {
            if (std::string(c.zone) != keyZone) continue;
            // Both halves of the repeated hour land on one row.
            auto add = [](Rows& rows, const char* key) {
                if (!rows.empty() && rows.back()[0] == key) {
                    rows.back()[3] = std::to_string(std::stoi(rows.back()[3]) + 1);
                } else {
                    rows.push_back({key, "net", "app", "1", "0"});
                }
            };
            add(expectedDaily, c.dayKey);
            add(expectedHourly, c.hourKey);
        }
        EXPECT_EQ(daily(), expectedDaily);
        EXPECT_EQ(hourly(), expectedHourly);

        // The SQL rebuild reads the process's zone (TZ); in the same zone it writes the same rows.
        ScopedTimeZone processZone(keyZone);
        inspector.execute("DELETE FROM hourly_usage;");
        repository->repairRollupsIfNeeded();
        EXPECT_EQ(daily(), expectedDaily);
        EXPECT_EQ(hourly(), expectedHourly);
    }
}

TEST_F(OstrelRepositoryWritesTest, KeysUseTheCalendarCurrentAtEachBatch) {
    const Date instant = localTime("UTC", 2026, 6, 1, 2, 0, 0);
    zone = "America/New_York";
    repository->insertSamples({makeSample("A", instant, "net", "app", 1, 0)});
    zone = "Europe/Berlin";
    repository->insertSamples({makeSample("B", instant, "net", "app", 2, 0)});
    EXPECT_EQ(daily(), (Rows{{"2026-05-31", "net", "app", "1", "0"}, {"2026-06-01", "net", "app", "2", "0"}}));
    EXPECT_EQ(hourly(),
              (Rows{{"2026-05-31T22:00:00", "net", "app", "1", "0"}, {"2026-06-01T04:00:00", "net", "app", "2", "0"}}));
}

TEST_F(OstrelRepositoryWritesTest, RepairRebuildsOnlyWhenTotalsDisagree) {
    ScopedTimeZone processZone("UTC");
    const Date t = localTime("UTC", 2026, 2, 1, 10, 0, 0);
    repository->insertSamples({makeSample("S1", t, "n1", "a1", 100, 1), makeSample("S2", t + 25h, "n1", "a2", 50, 2),
                               makeSample("S3", t + 49h, "n2", "a1", 7, 3)});
    const Rows dailyRows = daily();
    const Rows hourlyRows = hourly();

    inspector.execute("DELETE FROM daily_usage;");
    inspector.execute("DELETE FROM hourly_usage;");
    repository->repairRollupsIfNeeded();
    EXPECT_EQ(total("daily_usage"), total("usage_samples"));
    EXPECT_EQ(daily(), dailyRows);
    EXPECT_EQ(hourly(), hourlyRows);

    // Same totals, different spread: left as it is.
    inspector.execute("UPDATE daily_usage SET rx_bytes = rx_bytes + 40 WHERE app_id = 'a2';");
    inspector.execute("UPDATE daily_usage SET rx_bytes = rx_bytes - 40 WHERE app_id = 'a1' AND network_id = 'n1';");
    const Rows moved = daily();
    repository->repairRollupsIfNeeded();
    EXPECT_EQ(daily(), moved);

    // Only the hourly table off: both are rebuilt.
    inspector.execute("UPDATE hourly_usage SET tx_bytes = tx_bytes + 1;");
    repository->repairRollupsIfNeeded();
    EXPECT_EQ(daily(), dailyRows);
    EXPECT_EQ(hourly(), hourlyRows);
}

TEST_F(OstrelRepositoryWritesTest, PurgeRemovesMockDataAndWhatOnlyItUsed) {
    ScopedTimeZone processZone("UTC");
    repository->purgeMockData();  // empty file: nothing to do
    EXPECT_EQ(inspector.count("networks"), 0);

    const Date t = localTime("UTC", 2026, 4, 1, 8, 0, 0);
    repository->insertSamples({makeSample("M1", t, "shared-net", "mock-app", 1000, 1000, "mock"),
                               makeSample("M2", t, "mock-net", "mock-app", 1000, 1000, "mock"),
                               makeSample("R1", t + 1s, "shared-net", "real-app", 3, 4, "nettop"),
                               makeSample("R2", t + 2h, "shared-net", "real-app", 5, 6, "fallback")});
    repository->recordThresholdEvent(ostrel::AlertLevel::warning, 4000, ostrel::TimeframePreset::daily, true);
    repository->purgeMockData();

    EXPECT_EQ(inspector.rows("SELECT id FROM usage_samples ORDER BY id;"), (Rows{{"R1"}, {"R2"}}));
    EXPECT_EQ(inspector.rows("SELECT id FROM networks;"), (Rows{{"shared-net"}}));
    EXPECT_EQ(inspector.rows("SELECT id FROM applications;"), (Rows{{"real-app"}}));
    EXPECT_EQ(inspector.count("threshold_events"), 0);
    EXPECT_EQ(daily(), (Rows{{"2026-04-01", "shared-net", "real-app", "8", "10"}}));
    EXPECT_EQ(hourly(), (Rows{{"2026-04-01T08:00:00", "shared-net", "real-app", "3", "4"},
                              {"2026-04-01T10:00:00", "shared-net", "real-app", "5", "6"}}));

    repository->insertSamples({makeSample("M3", t, "mock-net", "mock-app", 1, 1, "mock")});
    inspector.execute("DELETE FROM usage_samples WHERE source != 'mock';");
    repository->purgeMockData();
    for (const char* table : {"usage_samples", "daily_usage", "hourly_usage", "networks", "applications"}) {
        EXPECT_EQ(inspector.count(table), 0) << table;
    }
}

TEST_F(OstrelRepositoryWritesTest, ClearAllDataKeepsOnlySettings) {
    repository->insertSamples({makeSample("S1", ostrel::currentDate(), "n", "a", 1, 1)});
    repository->recordThresholdEvent(ostrel::AlertLevel::danger, 2, ostrel::TimeframePreset::weekly, false);
    ostrel::OstrelSettings settings;
    settings.launchAtLogin = true;
    repository->saveSettings(settings);
    const Rows stored = inspector.rows("SELECT * FROM settings ORDER BY key;");

    repository->clearAllData();
    for (const char* table :
         {"usage_samples", "daily_usage", "hourly_usage", "threshold_events", "applications", "networks"}) {
        EXPECT_EQ(inspector.count(table), 0) << table;
    }
    EXPECT_EQ(inspector.rows("SELECT * FROM settings ORDER BY key;"), stored);
}

}  // namespace
