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
        TemporaryFolder folder;
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
