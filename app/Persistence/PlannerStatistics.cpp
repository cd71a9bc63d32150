#include <algorithm>

#include "Persistence/OstrelRepository.hpp"

// Without statistics SQLite's planner takes an equality on an indexed column for the better
// choice, and reads every sample of a network or application (a month of them) to keep those of
// one day. ANALYZE would tell it otherwise, but reads the whole store, seconds at a heavy month.
// The numbers it needs are known from a few look-ups: how many samples, applications and networks
// there are. SQLite documents sqlite_stat1 as writable, read again by ANALYZE sqlite_master.
namespace ostrel {
namespace {

std::string stat(std::int64_t rows, std::int64_t perKey) {
    return std::to_string(rows) + " " + std::to_string(std::max<std::int64_t>(1, perKey));
}

}  // namespace

void OstrelRepository::refreshPlannerStatistics(SQLiteConnection& connection) {
    // The largest rowid: the number of samples ever stored, near enough and without a count.
    const std::int64_t samples = connection.queryInt64("SELECT COALESCE(MAX(rowid), 0) FROM usage_samples;");
    const std::int64_t applications = connection.queryInt64("SELECT COUNT(*) FROM applications;");
    const std::int64_t networks = connection.queryInt64("SELECT COUNT(*) FROM networks;");
    transactionForm(connection, "BEGIN IMMEDIATE TRANSACTION;", [&](SQLiteConnection& c) {
        c.execute("ANALYZE rollup_state;");  // makes sqlite_stat1 when missing, at the cost of one row
        c.execute("DELETE FROM sqlite_stat1 WHERE tbl IN ('usage_samples', 'applications', 'networks');");
        if (samples > 0 && applications > 0 && networks > 0) {
            // One sample per application that moved data, at most a dozen, shares a tick's time stamp.
            const std::vector<std::vector<SQLiteValue>> rows = {
                {"usage_samples", "idx_usage_samples_timestamp",
                 stat(samples, std::min<std::int64_t>(applications, 12))},
                {"usage_samples", "idx_usage_samples_network", stat(samples, samples / networks)},
                {"usage_samples", "idx_usage_samples_app", stat(samples, samples / applications)},
                {"usage_samples", "sqlite_autoindex_usage_samples_1", stat(samples, 1)},
                {"applications", "sqlite_autoindex_applications_1", stat(applications, 1)},
                {"networks", "sqlite_autoindex_networks_1", stat(networks, 1)},
            };
            c.executeEach("INSERT INTO sqlite_stat1 (tbl, idx, stat) VALUES (?, ?, ?);", rows);
        }
    });
    connection.execute("ANALYZE sqlite_master;");
}

}  // namespace ostrel
