// The statistics written at start steer SQLite's planner to the time stamp index for every query of
// a range of raw samples, where without them it walks all samples of an application or network;
// the plans of the roll-up queries stay as they were.
#include <gtest/gtest.h>

#include "Persistence/support/PersistenceTestSupport.hpp"

using namespace ostrel;
using namespace ostrel::testing;
using namespace std::chrono_literals;

namespace {

// The raw-sample statements of the repository, as it runs them.
const char* const kRawStatements[] = {
    "SELECT us.id, us.timestamp, us.network_id, n.name, n.type, us.app_id, a.name,\n"
    "       us.rx_bytes, us.tx_bytes, us.source, us.attribution_confidence\nFROM usage_samples us\n"
    "JOIN networks n ON n.id = us.network_id\nJOIN applications a ON a.id = us.app_id\n"
    "WHERE us.timestamp >= ?1 AND us.timestamp <= ?2\nORDER BY us.timestamp ASC;",
    "SELECT us.app_id, a.name, COALESCE(SUM(us.rx_bytes), 0), COALESCE(SUM(us.tx_bytes), 0)\n"
    "FROM usage_samples us\nJOIN applications a ON a.id = us.app_id\n"
    "WHERE us.timestamp >= ?1 AND us.timestamp <= ?2\nGROUP BY us.app_id, a.name\n"
    "ORDER BY (COALESCE(SUM(us.rx_bytes), 0) + COALESCE(SUM(us.tx_bytes), 0)) DESC\nLIMIT ?3;",
    "SELECT us.app_id, a.name, COALESCE(SUM(us.rx_bytes), 0), COALESCE(SUM(us.tx_bytes), 0)\n"
    "FROM usage_samples us\nJOIN applications a ON a.id = us.app_id\n"
    "WHERE us.network_id = ?3 AND us.timestamp >= ?1 AND us.timestamp <= ?2\nGROUP BY us.app_id, a.name\n"
    "ORDER BY (COALESCE(SUM(us.rx_bytes), 0) + COALESCE(SUM(us.tx_bytes), 0)) DESC\nLIMIT ?4;",
    "SELECT us.network_id, n.name, COALESCE(SUM(us.rx_bytes), 0), COALESCE(SUM(us.tx_bytes), 0)\n"
    "FROM usage_samples us\nJOIN networks n ON n.id = us.network_id\n"
    "WHERE us.app_id = ?3 AND us.timestamp >= ?1 AND us.timestamp <= ?2\nGROUP BY us.network_id, n.name\n"
    "ORDER BY (COALESCE(SUM(us.rx_bytes), 0) + COALESCE(SUM(us.tx_bytes), 0)) DESC\nLIMIT ?4;",
    "SELECT n.id, n.name, n.type, n.is_active,\n"
    "       COALESCE(SUM(us.rx_bytes), 0) + COALESCE(SUM(us.tx_bytes), 0) as total\nFROM networks n\n"
    "LEFT JOIN usage_samples us\n  ON us.network_id = n.id\n AND us.timestamp >= ?1\n AND us.timestamp <= ?2\n"
    "GROUP BY n.id, n.name, n.type, n.is_active\nORDER BY total DESC;",
    "SELECT a.id, a.bundle_id, a.name, a.icon_path,\n"
    "       COALESCE(SUM(us.rx_bytes), 0) + COALESCE(SUM(us.tx_bytes), 0) as total\nFROM applications a\n"
    "LEFT JOIN usage_samples us\n  ON us.app_id = a.id\n AND us.timestamp >= ?1\n AND us.timestamp <= ?2\n"
    "GROUP BY a.id, a.bundle_id, a.name, a.icon_path\nHAVING total > 0\nORDER BY total DESC;",
};

const char* const kRollupStatements[] = {
    "SELECT a.id, a.bundle_id, a.name, a.icon_path,\n"
    "       COALESCE(SUM(du.rx_bytes), 0) + COALESCE(SUM(du.tx_bytes), 0) as total\nFROM applications a\n"
    "LEFT JOIN daily_usage du\n  ON du.app_id = a.id\n AND du.date >= ?1\n AND du.date <= ?2\n"
    "GROUP BY a.id, a.bundle_id, a.name, a.icon_path\nHAVING total > 0\nORDER BY total DESC;",
    "SELECT du.network_id, n.name, COALESCE(SUM(du.rx_bytes), 0), COALESCE(SUM(du.tx_bytes), 0)\n"
    "FROM daily_usage du\nJOIN networks n ON n.id = du.network_id\n"
    "WHERE du.app_id = ?3 AND du.date >= ?1 AND du.date <= ?2\nGROUP BY du.network_id, n.name\n"
    "ORDER BY (COALESCE(SUM(du.rx_bytes), 0) + COALESCE(SUM(du.tx_bytes), 0)) DESC\nLIMIT ?4;",
};

// How a new connection would run the statement: the table and index each loop reads.
std::string plan(const std::string& path, const char* statement) {
    DatabaseInspector store(path);
    std::string text;
    for (const auto& row : store.rows(std::string("EXPLAIN QUERY PLAN ") + statement)) text += row.at(3) + "; ";
    return text;
}

TEST(PlannerStatisticsTest, RangesOfRawSamplesAreReadThroughTheTimeStampIndex) {
    ScopedTimeZone utc("UTC");
    TempTree folder;
    const std::string path = folder.file("ostrel.sqlite");
    auto repository = openRepository(path);
    std::vector<UsageSampleRecord> samples;
    const Date start = localTime("UTC", 2026, 3, 1, 0);
    for (int i = 0; i < 3000; ++i) {
        std::string id = "S";
        id.append(std::to_string(i));
        samples.push_back(
            makeSample(id, start + i * 17min, i % 2 ? "wifi" : "eth", "app" + std::to_string(i % 5), i, 1));
    }
    repository->insertSamples(samples);
    std::vector<std::string> rollupPlans;
    for (const char* statement : kRollupStatements) rollupPlans.push_back(plan(path, statement));
    // The fault: an equality on an application or network wins over a range of time stamps.
    EXPECT_NE(plan(path, kRawStatements[5]).find("idx_usage_samples_app"), std::string::npos);

    for (int run = 0; run < 2; ++run) {  // a second start writes the same statistics
        std::vector<std::string> failures;
        repository->purgeAndRepairInTurn(true,
                                         [&](bool, const std::exception& error) { failures.push_back(error.what()); });
        repository->loadSettings();  // after them on the database queue
        EXPECT_TRUE(failures.empty());
        for (const char* statement : kRawStatements) {
            const std::string used = plan(path, statement);
            EXPECT_NE(used.find("SEARCH us USING INDEX idx_usage_samples_timestamp"), std::string::npos) << used;
        }
        for (std::size_t i = 0; i < std::size(kRollupStatements); ++i) {
            EXPECT_EQ(plan(path, kRollupStatements[i]), rollupPlans[i]);
        }
        EXPECT_EQ(DatabaseInspector(path).rows(
                      "SELECT idx, stat FROM sqlite_stat1 WHERE tbl = 'usage_samples' ORDER BY idx;"),
                  (Rows{{"idx_usage_samples_app", "3000 600"},
                        {"idx_usage_samples_network", "3000 1500"},
                        {"idx_usage_samples_timestamp", "3000 5"},
                        {"sqlite_autoindex_usage_samples_1", "3000 1"}}));
    }
}

}  // namespace
