#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Model/Date.hpp"
#include "Model/Enums.hpp"
#include "Model/Records.hpp"
#include "Model/ScreenModels.hpp"
#include "Persistence/RangeRows.hpp"
#include "Persistence/SQLiteDatabase.hpp"
#include "Platform/TimeZoneIdentity.hpp"

namespace ostrel {

// A database whose tables the migration cannot bring to the columns and keys the statements use.
class UnknownDatabaseShape final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The only code that reads and changes the database. Created once, it migrates the file to
// the current schema; users share it through std::shared_ptr. Every failure is the first
// SQLiteError met.
class OstrelRepository final {
public:
    // Samples a step of a rebuild on the database queue reads at most (see purgeAndRepairInTurn).
    static constexpr std::int64_t rebuildStepRows = 100000;

    // Takes the only ownership of the connection, then migrates.
    explicit OstrelRepository(std::unique_ptr<SQLiteDatabase> database, std::int64_t rebuildStep = rebuildStepRows);
    ~OstrelRepository();
    // Throws UnknownDatabaseShape when the migration would leave a table of `file` without a
    // column or key the statements use, or would fail on it; reads only. For SQLiteDatabase's
    // inspection, so that such a file is refused before anything is written to it
    // (OstrelRepositoryShape.cpp).
    static void checkShape(SQLiteConnection& file);
    OstrelRepository(const OstrelRepository&) = delete;
    OstrelRepository& operator=(const OstrelRepository&) = delete;

    // Writes (OstrelRepository.cpp)

    // One transaction: on any failure nothing of the batch stays stored.
    void insertSamples(const std::vector<UsageSampleRecord>& samples);
    // Both rebuild the roll-ups from the samples unless the record vouches for them (RollupRecord):
    // they hold exactly what a rebuild in the zone of now would write. The purge also drops mock
    // samples, threshold events and orphaned rows, and gives whether it rebuilt.
    void repairRollupsIfNeeded();
    bool purgeMockData();
    // The same, with the planner's statistics, run on the database queue after the statements
    // already asked for and before any asked for later, without waiting for them. A rebuild then
    // runs in steps on that queue, so that other statements run between them: raw questions read
    // the samples until it ends, roll-up questions wait for its end. A failure of the purge or of a
    // rebuild (also one after a change of zone) is handed to `failed` (true: the purge) on that
    // queue; the repair runs after a failed purge too.
    void purgeAndRepairInTurn(bool purge, std::function<void(bool purge, const std::exception&)> failed);
    // Empties every table but the settings.
    void clearAllData();
    void saveSettings(const OstrelSettings& settings);
    // Nothing when no setting is stored at all.
    std::optional<OstrelSettings> loadSettings();
    void setActiveNetwork(const NetworkIdentity& network, Date seenAt);
    void upsertApplication(const AppUsageAttribution& application, Date seenAt);
    void recordThresholdEvent(AlertLevel level, std::int64_t totalBytes, TimeframePreset timeframe, bool notified);
    // Holds the database queue, no statement running before or after, and runs `round` on it until
    // it returns true. Each round first copies what the write-ahead log holds into the database
    // file and empties the log (when `copyLog`), and tells `round` whether all of it went. Another
    // connection's transaction holds the copy back: SQLite answers that with a "busy" row, not an
    // error. Without `copyLog`, `round` is told true.
    void checkpointThen(bool copyLog, const std::function<bool(bool complete)>& round);

    // Queries (OstrelRepositoryQueries.cpp)

    // Range bounds are inclusive: raw queries compare time stamp texts, roll-up queries the
    // local day keys of the range's ends (whole days). Rankings and lists carry each row's
    // share of the rows returned. A raw query may take whole local hours from the hourly
    // roll-ups when `reading` allows it and the record vouches for them (RangeRows); its answer
    // is then the statement's over rows that stand for those hours' samples. A roll-up query
    // waits for a rebuild that runs in steps.
    std::vector<UsageSampleRecord> fetchSamples(const DateRange& range,
                                                const RawReading& reading = RawReading::samplesOnly());
    UsageSummary fetchSummary(const DateRange& range, const RawReading& reading = RawReading::samplesOnly());
    UsageSummary fetchSummaryFromDailyRollup(const DateRange& range);
    std::vector<TrendPoint> fetchTrendFromDailyRollup(const DateRange& range);
    std::vector<TrendPoint> fetchNetworkTrendFromDailyRollup(const std::string& networkID, const DateRange& range);
    std::vector<TrendPoint> fetchAppTrendFromDailyRollup(const std::string& appID, const DateRange& range);
    std::map<std::string, std::vector<TrendPoint>> fetchNetworkTrendMapFromDailyRollup(const DateRange& range);
    std::map<std::string, std::vector<TrendPoint>> fetchAppTrendMapFromDailyRollup(const DateRange& range);

    std::vector<RankedUsage> fetchTopNetworks(const DateRange& range, std::int64_t limit,
                                              const RawReading& reading = RawReading::samplesOnly());
    std::vector<RankedUsage> fetchTopApplications(const DateRange& range, std::int64_t limit,
                                                  const RawReading& reading = RawReading::samplesOnly());
    std::vector<RankedUsage> fetchTopAppsForNetwork(const std::string& networkID, const DateRange& range,
                                                    std::int64_t limit,
                                                    const RawReading& reading = RawReading::samplesOnly());
    std::vector<RankedUsage> fetchTopNetworksForApp(const std::string& appID, const DateRange& range,
                                                    std::int64_t limit,
                                                    const RawReading& reading = RawReading::samplesOnly());
    std::vector<RankedUsage> fetchTopNetworksFromDailyRollup(const DateRange& range, std::int64_t limit);
    std::vector<RankedUsage> fetchTopApplicationsFromDailyRollup(const DateRange& range, std::int64_t limit);
    std::vector<RankedUsage> fetchTopAppsForNetworkFromDailyRollup(const std::string& networkID, const DateRange& range,
                                                                   std::int64_t limit);
    std::vector<RankedUsage> fetchTopNetworksForAppFromDailyRollup(const std::string& appID, const DateRange& range,
                                                                   std::int64_t limit);

    std::vector<NetworkListItem> fetchNetworkList(const DateRange& range,
                                                  const RawReading& reading = RawReading::samplesOnly());
    std::vector<NetworkListItem> fetchNetworkListFromDailyRollup(const DateRange& range);
    std::vector<ApplicationListItem> fetchApplicationList(const DateRange& range,
                                                          const RawReading& reading = RawReading::samplesOnly());
    std::vector<ApplicationListItem> fetchApplicationListFromDailyRollup(const DateRange& range);

    std::optional<NetworkIdentity> fetchNetworkIdentity(const std::string& id);
    // Of several rows marked active, the one written last.
    std::optional<NetworkIdentity> fetchActiveNetworkIdentity();
    std::optional<ApplicationListItem> fetchApplication(const std::string& id);
    std::optional<AlertLevel> fetchLatestThresholdLevel(TimeframePreset timeframe);
    // The rows a raw query over `range` would read now when allowed whole hours from the
    // hourly roll-ups; nothing when it would read the samples alone.
    std::optional<RangeRows> rangeRows(const DateRange& range, RowBuckets buckets);

private:
    // A raw-sample statement run as `reading` allows, and a roll-up statement run once no rebuild
    // is under way; for the decoding of their rows.
    std::function<void(const SQLiteRowHandler&)> raw(const char* sql, std::vector<SQLiteValue> bindings,
                                                     const DateRange& range, const RawReading& reading);
    std::function<void(const SQLiteRowHandler&)> rollup(const char* sql, std::vector<SQLiteValue> bindings);
    std::optional<RangeRows> rangeRows(SQLiteConnection& connection, const DateRange& range, const RawReading& reading);

    void migrate();  // OstrelRepositorySchema.cpp
    void addColumnIfMissing(const std::string& table, const std::string& definition);

    // Runs `body` between `opening` and "COMMIT;" as one unit on the database queue; on any
    // failure after the opening it rolls back and passes the first error on.
    void inTransaction(const char* opening, const std::function<void(SQLiteConnection&)>& body);
    static void transactionForm(SQLiteConnection& connection, const char* opening,
                                const std::function<void(SQLiteConnection&)>& body);

    // The roll-ups (OstrelRepositoryRebuild.cpp), on the database queue.
    void rebuildRollupsFromUsageSamples(SQLiteConnection& connection, bool inTransaction);
    bool vouched(SQLiteConnection& connection);
    // The zone of now; a change since the last look begins a rebuild in steps.
    TimeZoneIdentity currentZone(SQLiteConnection& connection);
    void beginSteppedRebuild(SQLiteConnection& connection);
    void rebuildStep(SQLiteConnection& connection);
    // A rebuild ended, or another write made the one in steps unneeded.
    void rebuildEnded();
    // Deletes the mock samples, threshold events and orphaned rows.
    void purgeRows(SQLiteConnection& connection);
    // Statistics for the query planner from a few counts (PlannerStatistics.cpp).
    void refreshPlannerStatistics(SQLiteConnection& connection);
    void clearAllTables(SQLiteConnection& connection);

    struct Rebuild;
    std::unique_ptr<Rebuild> rebuild_;  // closed after the database, whose last units use it
    std::unique_ptr<SQLiteDatabase> database;
};

}  // namespace ostrel
