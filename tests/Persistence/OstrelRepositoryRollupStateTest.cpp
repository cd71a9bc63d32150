// Every start purges demonstration rows and repairs the roll-ups. A start that skips the rebuild
// must leave exactly the tables that a start which always rebuilds leaves: each scenario runs on
// two stores, and the second forgets its record of the last rebuild before every start.
#include <gtest/gtest.h>

#include <sstream>

#include "Persistence/support/PersistenceTestSupport.hpp"

using namespace ostrel;
using namespace ostrel::testing;
using namespace std::chrono_literals;

namespace {

// Four samples around the ends of days and hours in both zones, unique per step.
std::vector<UsageSampleRecord> batch(int step, const char* source) {
    std::vector<UsageSampleRecord> samples;
    for (int k = 0; k < 4; ++k) {
        std::string id = source;  // appended, not prefixed: GCC 12 flags a prefix falsely (-Wrestrict)
        id.append(std::to_string(step)).append(1, '-').append(std::to_string(k));
        samples.push_back(makeSample(id, localTime("UTC", 2026, 3, 1, 4, 15) + step * 7h + k * 50min,
                                     k % 2 ? "net-a" : "net-b", k < 2 ? "app-1" : "app-2", 100 * step + k, k, source));
    }
    return samples;
}

std::string tables(DatabaseInspector& store) {
    std::string text;
    for (const char* table : {"usage_samples", "daily_usage", "hourly_usage", "applications", "networks"}) {
        for (const auto& row : store.rows(std::string("SELECT * FROM ") + table + " ORDER BY 1, 2, 3;")) {
            for (const auto& column : row) text += column + " ";
            text += "\n";
        }
    }
    return text;
}

TEST(OstrelRepositoryRollupStateTest, SkippingTheRebuildLeavesWhatTheRebuildWould) {
    // 'b' a batch, 'x' a batch that fails, 'm' demonstration rows, 'c' clear all data, 'e' the
    // hourly roll-up emptied behind the store's back; 'S' a start that rebuilds, 's' one that may
    // not. Upper-case zone letters: New York, lower-case: Kolkata (+05:30). A change of zone while
    // running rebuilds at once, in the zone of then.
    const std::pair<const char*, const char*> scenarios[] = {
        {"one zone; a failed batch in another leaves no trace but the rebuild", "SN bN xk SN bN sN"},
        {"the zone changes between two starts", "bN SN Sk bk sk"},
        {"the zone changes while running, and back", "SN bN bk bN sN sN"},
        {"demonstration rows are purged", "SN mN bN SN bN sN"},
        {"a clear records empty roll-ups; changes outside are repaired", "SN bN ck bk sk ek Sk"},
    };
    ScopedTimeZone restore("UTC");
    for (const auto& [scenario, steps] : scenarios) {
        SCOPED_TRACE(scenario);
        TempTree folder;
        const std::shared_ptr<OstrelRepository> stores[] = {openRepository(folder.file("mended")),
                                                            openRepository(folder.file("always"))};
        DatabaseInspector mended(folder.file("mended")), always(folder.file("always"));
        std::istringstream words(steps);
        std::string word;
        for (int step = 0; words >> word; ++step) {
            const char action = word[0], zone = word[1];
            SCOPED_TRACE(word);
            ScopedTimeZone inZone(zone == 'N' ? "America/New_York" : "Asia/Kolkata");
            for (int which = 0; which < 2; ++which) {
                auto& repository = *stores[which];
                auto& inspector = which == 0 ? mended : always;
                if (action == 'b' || action == 'm') repository.insertSamples(batch(step, action == 'm' ? "mock" : "x"));
                if (action == 'x') {
                    auto samples = batch(step, "x");
                    samples.push_back(samples.front());
                    EXPECT_THROW(repository.insertSamples(samples), SQLiteError);
                }
                if (action == 'c') repository.clearAllData();
                if (action == 'e') inspector.execute("DELETE FROM hourly_usage;");
                if (action == 's' || action == 'S') {
                    repository.recordThresholdEvent(AlertLevel::warning, 1, TimeframePreset::daily, true);
                    if (which == 1) inspector.execute("DELETE FROM rollup_state;");
                    const bool rebuilt = repository.purgeMockData();
                    repository.repairRollupsIfNeeded();
                    EXPECT_TRUE(which == 1 || rebuilt == (action == 'S'));
                    EXPECT_EQ(inspector.count("threshold_events"), 0);
                }
                repository.fetchSummaryFromDailyRollup({});  // after a rebuild the step began
            }
            if (tolower(action) == 's') {
                EXPECT_EQ(tables(mended), tables(always));
            }
        }
    }
}

}  // namespace

namespace {

std::string rollupTotals(DatabaseInspector& store) {
    const auto rows = store.rows(
        "SELECT (SELECT SUM(rx_bytes + tx_bytes) FROM daily_usage), (SELECT SUM(rx_bytes + tx_bytes) FROM "
        "hourly_usage), (SELECT group_concat(date, ' ') FROM daily_usage);");
    return rows.at(0).at(0) + " " + rows.at(0).at(1) + " " + rows.at(0).at(2);
}

// Other programs' changes to the samples are counted where they happen, so the repair's shortcut
// sums the samples, as the repair's statements do, whenever one came since it last did.
TEST(OstrelRepositoryRollupStateTest, TheRepairNoticesChangesByOtherProgramsButNotItsOwn) {
    ScopedTimeZone utc("UTC");
    TempTree folder;
    const std::string path = folder.file("ostrel.sqlite");
    auto repository = openRepository(path);
    DatabaseInspector other(path);
    const Date day1 = localTime("UTC", 2026, 3, 1, 10), day2 = localTime("UTC", 2026, 3, 2, 10);
    repository->purgeMockData();
    repository->insertSamples({makeSample("S1", day1, "net", "app", 100, 0),
                               makeSample("S2", day1, "net", "app", 50, 0),
                               makeSample("M1", day2, "net", "app", 1000, 0, "mock")});
    repository->purgeMockData();
    repository->clearAllData();
    repository->insertSamples(
        {makeSample("S1", day1, "net", "app", 100, 0), makeSample("S2", day1, "net", "app", 50, 0)});
    repository->repairRollupsIfNeeded();
    EXPECT_EQ(other.rows("SELECT outside_edits FROM rollup_state;"), (Rows{{"0"}}));

    // Deleted, added and changed elsewhere: each picked up at the next repair.
    const std::pair<const char*, const char*> edits[] = {
        {"DELETE FROM usage_samples WHERE id = 'S2';", "100 100 2026-03-01"},
        {"INSERT INTO usage_samples VALUES ('S3', '2026-03-02T10:00:00.000Z', 'net', 'app', 7, 0, 'x', 0.5);",
         "107 107 2026-03-01 2026-03-02"},
        {"UPDATE usage_samples SET rx_bytes = 1 WHERE id = 'S3';", "101 101 2026-03-01 2026-03-02"},
        {"DELETE FROM hourly_usage;", "101 101 2026-03-01 2026-03-02"},
    };
    for (const auto& [sql, totals] : edits) {
        SCOPED_TRACE(sql);
        other.execute(sql);
        repository->repairRollupsIfNeeded();
        EXPECT_EQ(rollupTotals(other), totals);
    }
    // A sample moved to another day keeps the totals, and is rebuilt all the same.
    other.execute("UPDATE usage_samples SET timestamp = '2026-03-03T10:00:00.000Z' WHERE id = 'S3';");
    repository->repairRollupsIfNeeded();
    EXPECT_EQ(rollupTotals(other), "101 101 2026-03-01 2026-03-03");
    EXPECT_EQ(other.rows("SELECT outside_edits, zone_rules <> '' FROM rollup_state;"), (Rows{{"0", "1"}}));
    // A time stamp of another form: hourly rows no longer stand for the samples, and every start
    // rebuilds, as the statements do.
    other.execute("UPDATE usage_samples SET timestamp = '2026-03-03 10:00:00' WHERE id = 'S3';");
    repository->repairRollupsIfNeeded();
    EXPECT_EQ(other.rows("SELECT zone_rules FROM rollup_state;"), (Rows{{""}}));
    EXPECT_TRUE(repository->purgeMockData());
}

// A store from a build before these records, or before the daily roll-ups were watched: its first
// start rebuilds, and a change another program made back then is no longer counted.
TEST(OstrelRepositoryRollupStateTest, AStoreFromAnEarlierBuildIsRebuiltOnce) {
    ScopedTimeZone utc("UTC");
    for (const bool columns : {true, false}) {
        SCOPED_TRACE(columns ? "without the record's columns" : "without the daily roll-ups' triggers");
        TempTree folder;
        const std::string path = folder.file("ostrel.sqlite");
        DatabaseInspector other(path);
        {
            auto repository = openRepository(path);
            repository->purgeMockData();
            repository->insertSamples({makeSample("S1", localTime("UTC", 2026, 3, 1, 10), "net", "app", 100, 0),
                                       makeSample("S2", localTime("UTC", 2026, 3, 1, 11), "net", "app", 50, 0)});
        }
        for (const auto& trigger : other.rows("SELECT name FROM sqlite_master WHERE type = 'trigger';")) {
            if (columns || trigger.at(0).find("_days_") != std::string::npos) {
                other.execute("DROP TRIGGER " + trigger.at(0) + ";");
            }
        }
        if (columns) {
            for (const char* column : {"zone_rules", "outside_edits", "own_writes"}) {
                other.execute(std::string("ALTER TABLE rollup_state DROP COLUMN ") + column + ";");
            }
            other.execute("DELETE FROM usage_samples WHERE id = 'S2';");
        } else {
            other.execute("UPDATE daily_usage SET rx_bytes = 777;");
        }
        auto repository = openRepository(path);
        EXPECT_TRUE(repository->purgeMockData());
        EXPECT_EQ(rollupTotals(other), columns ? "100 100 2026-03-01" : "150 150 2026-03-01");
        EXPECT_EQ(other.rows("SELECT outside_edits, zone_rules <> '' FROM rollup_state;"), (Rows{{"0", "1"}}));
        EXPECT_FALSE(repository->purgeMockData());
    }
}

// Roll-ups keyed under one zone are not rebuilt under another name of the same rules.
TEST(OstrelRepositoryRollupStateTest, ZonesWithTheSameRulesKeepTheRollups) {
    TempTree folder;
    auto repository = openRepository(folder.file("ostrel.sqlite"));
    {
        ScopedTimeZone keyed(":/usr/share/zoneinfo/Etc/UTC");
        repository->insertSamples({makeSample("S1", localTime("UTC", 2026, 3, 1, 10), "net", "app", 100, 0)});
        EXPECT_TRUE(repository->purgeMockData());
    }
    for (const auto& [zone, rebuilds] :
         {std::pair{"UTC", false}, {"Etc/Universal", false}, {"GMT", false}, {"Europe/London", true}, {"UTC", true}}) {
        ScopedTimeZone inZone(zone);
        EXPECT_EQ(repository->purgeMockData(), rebuilds) << zone;
    }
}

}  // namespace

namespace {

// After a start in another zone, the rebuild leaves the database queue to other work between its
// steps: today's figures come from the samples before it ends, and roll-up reads wait for its end.
TEST(OstrelRepositoryRollupStateTest, TodaysFiguresComeBeforeTheRebuildAfterAStartInAnotherZone) {
    TempTree folder;
    const std::string path = folder.file("ostrel.sqlite");
    const Date today = localTime("UTC", 2026, 3, 10, 0), now = today + 20h;
    {
        ScopedTimeZone kolkata("Asia/Kolkata");
        auto repository = openRepository(path);
        repository->purgeMockData();
        std::vector<UsageSampleRecord> samples;
        for (int i = 0; i < 200; ++i) {
            std::string id = "S";
            id.append(std::to_string(i));
            samples.push_back(makeSample(id, today - 24h + i * 13min, "net", i % 2 ? "app-1" : "app-2", 10 + i, 1));
        }
        repository->insertSamples(samples);
    }
    ScopedTimeZone utc("UTC");
    DatabaseInspector other(path);
    const Rows keyed = other.rows("SELECT zone_rules FROM rollup_state;");
    const std::int64_t expected =
        other.scalar("SELECT SUM(rx_bytes) FROM usage_samples WHERE timestamp >= '2026-03-10T00:00:00.000Z';");
    // A step of the rebuild reads one sample, so that it takes many.
    auto repository = std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(path), 1);
    repository->purgeAndRepairInTurn(true, [](bool, const std::exception& error) { ADD_FAILURE() << error.what(); });
    const auto reading = RawReading::wholeHoursFromRollups(RowBuckets::none);
    EXPECT_EQ(repository->fetchSummary({today, now}, reading).rxBytes, expected);
    EXPECT_EQ(repository->fetchTopApplications({today, now}, 1, reading).size(), 1u);
    EXPECT_EQ(other.rows("SELECT zone_rules FROM rollup_state;"), keyed) << "the rebuild ended first";

    const auto trend = repository->fetchTrendFromDailyRollup({today - 24h, now});
    EXPECT_NE(other.rows("SELECT zone_rules FROM rollup_state;"), keyed);
    ASSERT_EQ(trend.size(), 2u);
    EXPECT_EQ(trend.back().timestamp, today);
    EXPECT_EQ(trend.back().rxBytes, expected);
}

}  // namespace

namespace {

// The roll-ups as the two rebuild statements would write them now, and as they are.
std::pair<Rows, Rows> statementsAndStored(DatabaseInspector& store) {
    const char* query[] = {"SELECT * FROM daily_usage ORDER BY 1, 2, 3;",
                           "SELECT * FROM hourly_usage ORDER BY 1, 2, 3;"};
    Rows stored = store.rows(query[0]), statements;
    for (auto& row : store.rows(query[1])) stored.push_back(std::move(row));
    store.execute("BEGIN;");
    store.execute("DELETE FROM daily_usage;");
    store.execute("DELETE FROM hourly_usage;");
    store.execute(
        "INSERT INTO daily_usage SELECT strftime('%Y-%m-%d', timestamp, 'localtime') AS k, network_id, "
        "app_id, SUM(rx_bytes), SUM(tx_bytes) FROM usage_samples GROUP BY k, network_id, app_id;");
    store.execute(
        "INSERT INTO hourly_usage SELECT strftime('%Y-%m-%dT%H:00:00', timestamp, 'localtime') AS k, "
        "network_id, app_id, SUM(rx_bytes), SUM(tx_bytes) FROM usage_samples GROUP BY k, network_id, app_id;");
    statements = store.rows(query[0]);
    for (auto& row : store.rows(query[1])) statements.push_back(std::move(row));
    store.execute("ROLLBACK;");
    return {statements, stored};
}

// Batches the program writes between the steps of a rebuild, and a change by another program
// before, during or after it, end in the tables the statements would write: at once, or at the
// next start when the change came after the rebuild.
TEST(OstrelRepositoryRollupStateTest, WritesBetweenTheStepsOfARebuildEndInItsTables) {
    for (const bool edited : {false, true}) {
        SCOPED_TRACE(edited ? "edited by another program" : "the program's batches alone");
        TempTree folder;
        const std::string path = folder.file("ostrel.sqlite");
        {
            ScopedTimeZone kolkata("Asia/Kolkata");
            auto repository = openRepository(path);
            repository->purgeMockData();
            for (int step = 0; step < 10; ++step) repository->insertSamples(batch(step, "k"));
        }
        ScopedTimeZone newYork("America/New_York");
        auto repository = std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(path), 1);
        DatabaseInspector other(path);
        repository->purgeAndRepairInTurn(true,
                                         [](bool, const std::exception& error) { ADD_FAILURE() << error.what(); });
        if (edited) other.execute("UPDATE usage_samples SET rx_bytes = 1 WHERE rowid = 30;");
        for (int step = 10; step < 16; ++step) repository->insertSamples(batch(step, "n"));
        repository->fetchSummaryFromDailyRollup({});
        const auto [statements, stored] = statementsAndStored(other);
        if (other.scalar("SELECT outside_edits FROM rollup_state;") == 0) {
            EXPECT_EQ(stored, statements);
            EXPECT_EQ(other.scalar("SELECT other_zone_writes FROM rollup_state;"), 0);
            EXPECT_FALSE(repository->purgeMockData());
        } else {
            EXPECT_TRUE(edited);
            EXPECT_TRUE(repository->purgeMockData());
            EXPECT_EQ(statementsAndStored(other).second, statements);
        }
    }
}

}  // namespace
