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
    // not. Upper-case zone letters: New York, lower-case: Kolkata (+05:30).
    const std::pair<const char*, const char*> scenarios[] = {
        {"one zone; a failed batch in another leaves no trace", "SN bN xk sN bN sN"},
        {"the zone changes between two starts", "bN SN Sk bk sk"},
        {"the zone changes while running, and back", "SN bN bk bN SN sN"},
        {"demonstration rows are purged", "SN mN bN SN bN sN"},
        {"a clear records empty roll-ups; changes outside are repaired", "SN bN ck bk sk ek sk"},
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
    EXPECT_EQ(other.rows("SELECT outside_edits, checked_edits FROM rollup_state;"), (Rows{{"0", "0"}}));

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
    // A sample moved to another day keeps the totals: summed once, and left as the check of the
    // totals decides.
    other.execute("UPDATE usage_samples SET timestamp = '2026-03-03T10:00:00.000Z' WHERE id = 'S3';");
    repository->repairRollupsIfNeeded();
    EXPECT_EQ(rollupTotals(other), "101 101 2026-03-01 2026-03-02");
    EXPECT_EQ(other.rows("SELECT outside_edits = checked_edits, outside_edits > 0, unusual_samples FROM rollup_state;"),
              (Rows{{"1", "1", "0"}}));
    // A time stamp of another form, found by the sum that follows another program's change.
    other.execute("UPDATE usage_samples SET timestamp = '2026-03-03 10:00:00' WHERE id = 'S3';");
    repository->repairRollupsIfNeeded();
    EXPECT_EQ(other.rows("SELECT unusual_samples FROM rollup_state;"), (Rows{{"1"}}));
}

// A store from the build before these records: its total is summed once, and a sample another
// program deleted back then is no longer counted.
TEST(OstrelRepositoryRollupStateTest, AStoreFromAnEarlierBuildIsSummedOnce) {
    ScopedTimeZone utc("UTC");
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
        other.execute("DROP TRIGGER " + trigger.at(0) + ";");
    }
    for (const char* column : {"zone_rules", "recent_zone", "foreign_until", "outside_edits", "checked_edits",
                               "unusual_samples", "own_writes"}) {
        other.execute(std::string("ALTER TABLE rollup_state DROP COLUMN ") + column + ";");
    }
    other.execute("DELETE FROM usage_samples WHERE id = 'S2';");
    auto repository = openRepository(path);
    EXPECT_FALSE(repository->purgeMockData());
    repository->repairRollupsIfNeeded();
    EXPECT_EQ(rollupTotals(other), "100 100 2026-03-01");
    EXPECT_EQ(other.rows("SELECT checked_edits, recent_zone <> '' FROM rollup_state;"), (Rows{{"0", "1"}}));
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
