// Every start purges demonstration rows and repairs the roll-ups. A start that skips the rebuild
// must leave exactly the tables that a start which always rebuilds leaves: each scenario runs on
// two stores, and the second forgets its record of the last rebuild before every start.
#include <gtest/gtest.h>

#include "Persistence/support/PersistenceTestSupport.hpp"

using namespace ostrel;
using namespace ostrel::testing;
using namespace std::chrono_literals;

namespace {

constexpr const char* NY = "America/New_York";
constexpr const char* IN = "Asia/Kolkata";  // +05:30: other days and other hours than New York

struct Step {
    // 'b' a batch, 'x' a batch that fails, 'm' a batch of demonstration rows, 'c' clear all data,
    // 'e' the hourly roll-up emptied behind the store's back, 's' a start
    char action;
    const char* zone;
    bool rebuilt = false;  // at 's': whether the purge must rebuild
};

// Four samples around the ends of days and hours in both zones, unique per batch number.
std::vector<UsageSampleRecord> batch(int number, const char* source = "nettop") {
    std::vector<UsageSampleRecord> samples;
    const Date base = localTime("UTC", 2026, 3, 1, 4, 15) + number * 7h;
    for (int k = 0; k < 4; ++k) {
        samples.push_back(makeSample(std::string(source) + std::to_string(number) + "-" + std::to_string(k),
                                     base + k * 50min, k % 2 ? "net-a" : "net-b", k < 2 ? "app-1" : "app-2",
                                     100 * number + k, k + 1, source));
    }
    return samples;
}

std::string tables(DatabaseInspector& store) {
    std::string text;
    for (const char* table :
         {"usage_samples", "daily_usage", "hourly_usage", "applications", "networks", "threshold_events"}) {
        text += table;
        for (const auto& row : store.rows(std::string("SELECT * FROM ") + table + " ORDER BY 1, 2, 3;")) {
            text += "\n ";
            for (const auto& column : row) text += column + " ";
        }
        text += "\n";
    }
    return text;
}

TEST(OstrelRepositoryRollupStateTest, SkippingTheRebuildLeavesWhatTheRebuildWould) {
    const std::vector<std::pair<const char*, std::vector<Step>>> scenarios{
        {"one zone; a batch in another zone that fails leaves no trace",
         {{'s', NY, true}, {'b', NY}, {'x', IN}, {'s', NY, false}, {'b', NY}, {'s', NY, false}}},
        {"the zone changes between two starts",
         {{'b', NY}, {'s', NY, true}, {'s', IN, true}, {'b', IN}, {'s', IN, false}}},
        {"the zone changes while running, and back before the start",
         {{'s', NY, true}, {'b', NY}, {'b', IN}, {'b', NY}, {'s', NY, true}, {'s', NY, false}}},
        {"demonstration rows are purged",
         {{'s', NY, true}, {'m', NY}, {'b', NY}, {'s', NY, true}, {'b', NY}, {'s', NY, false}}},
        {"clearing records empty roll-ups; roll-ups changed outside are still repaired",
         {{'s', NY, true}, {'b', NY}, {'c', IN}, {'b', IN}, {'s', IN, false}, {'e', IN}, {'s', IN, false}}},
    };
    ScopedTimeZone restore("UTC");
    for (const auto& [scenario, steps] : scenarios) {
        SCOPED_TRACE(scenario);
        TemporaryFolder folder;
        const auto mended = openRepository(folder.file("mended.sqlite"));
        const auto always = openRepository(folder.file("always.sqlite"));
        DatabaseInspector mendedTables(folder.file("mended.sqlite")), alwaysTables(folder.file("always.sqlite"));
        int number = 0;
        for (const auto& step : steps) {
            SCOPED_TRACE(std::string(1, step.action) + " in " + step.zone);
            ScopedTimeZone zone(step.zone);
            ++number;
            for (const auto& [repository, inspector] : {std::pair{mended, &mendedTables}, {always, &alwaysTables}}) {
                switch (step.action) {
                    case 'b':
                        repository->insertSamples(batch(number));
                        break;
                    case 'x': {
                        auto samples = batch(number);
                        samples.push_back(samples.front());
                        EXPECT_THROW(repository->insertSamples(samples), SQLiteError);
                        break;
                    }
                    case 'm':
                        repository->insertSamples(batch(number, "mock"));
                        break;
                    case 'c':
                        repository->clearAllData();
                        break;
                    case 'e':
                        inspector->execute("DELETE FROM hourly_usage;");
                        break;
                    case 's':
                        repository->recordThresholdEvent(AlertLevel::warning, 1, TimeframePreset::daily, true);
                        if (repository == always) inspector->execute("DELETE FROM rollup_state;");
                        const bool rebuilt = repository->purgeMockData();
                        repository->repairRollupsIfNeeded();
                        if (repository == mended) {
                            EXPECT_EQ(rebuilt, step.rebuilt);
                        }
                        break;
                }
            }
            if (step.action == 's') {
                EXPECT_EQ(tables(mendedTables), tables(alwaysTables));
                EXPECT_EQ(mendedTables.count("threshold_events"), 0);
            }
        }
    }
}

}  // namespace
