#pragma once

#include <cstdint>
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
    // Takes the only ownership of the connection, then migrates.
    explicit OstrelRepository(std::unique_ptr<SQLiteDatabase> database);
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
    // Rebuilds both roll-up tables when their totals disagree with the raw samples. The raw
    // samples are summed only when the roll-ups disagree with the raw total that the store's
    // own writes have kept since the last rebuild.
    void repairRollupsIfNeeded();
    // Drops mock samples, threshold events and orphaned rows, and rebuilds the roll-ups unless
    // they already hold what the rebuild would write: no mock row went, and since the last
    // rebuild every roll-up key was written in the time zone in effect now. Gives whether it
    // rebuilt.
    bool purgeMockData();
    // Empties every table but the settings.
    void clearAllData();
    void saveSettings(const OstrelSettings& settings);
    // Nothing when no setting is stored at all.
    std::optional<OstrelSettings> loadSettings();
    void setActiveNetwork(const NetworkIdentity& network, Date seenAt);
    void upsertApplication(const AppUsageAttribution& application, Date seenAt);
    void recordThresholdEvent(AlertLevel level, std::int64_t totalBytes, TimeframePreset timeframe, bool notified);
    // Copies what the write-ahead log holds into the database file and empties the log, then runs
    // `last` on the database queue, before any other statement. A failing copy is passed over.
    void checkpointThen(const std::function<void()>& last);

    // Queries (OstrelRepositoryQueries.cpp)

    // Range bounds are inclusive: raw queries compare time stamp texts, roll-up queries the
    // local day keys of the range's ends (whole days). Rankings and lists carry each row's
    // share of the rows returned.
    std::vector<UsageSampleRecord> fetchSamples(const DateRange& range);
    UsageSummary fetchSummary(const DateRange& range);
    UsageSummary fetchSummaryFromDailyRollup(const DateRange& range);
    std::vector<TrendPoint> fetchTrendFromDailyRollup(const DateRange& range);
    std::vector<TrendPoint> fetchNetworkTrendFromDailyRollup(const std::string& networkID, const DateRange& range);
    std::vector<TrendPoint> fetchAppTrendFromDailyRollup(const std::string& appID, const DateRange& range);
    std::map<std::string, std::vector<TrendPoint>> fetchNetworkTrendMapFromDailyRollup(const DateRange& range);
    std::map<std::string, std::vector<TrendPoint>> fetchAppTrendMapFromDailyRollup(const DateRange& range);

    std::vector<RankedUsage> fetchTopNetworks(const DateRange& range, std::int64_t limit);
    std::vector<RankedUsage> fetchTopApplications(const DateRange& range, std::int64_t limit);
    std::vector<RankedUsage> fetchTopAppsForNetwork(const std::string& networkID, const DateRange& range,
                                                    std::int64_t limit);
    std::vector<RankedUsage> fetchTopNetworksForApp(const std::string& appID, const DateRange& range,
                                                    std::int64_t limit);
    std::vector<RankedUsage> fetchTopNetworksFromDailyRollup(const DateRange& range, std::int64_t limit);
    std::vector<RankedUsage> fetchTopApplicationsFromDailyRollup(const DateRange& range, std::int64_t limit);
    std::vector<RankedUsage> fetchTopAppsForNetworkFromDailyRollup(const std::string& networkID, const DateRange& range,
                                                                   std::int64_t limit);
    std::vector<RankedUsage> fetchTopNetworksForAppFromDailyRollup(const std::string& appID, const DateRange& range,
                                                                   std::int64_t limit);

    std::vector<NetworkListItem> fetchNetworkList(const DateRange& range);
    std::vector<NetworkListItem> fetchNetworkListFromDailyRollup(const DateRange& range);
    std::vector<ApplicationListItem> fetchApplicationList(const DateRange& range);
    std::vector<ApplicationListItem> fetchApplicationListFromDailyRollup(const DateRange& range);

    std::optional<NetworkIdentity> fetchNetworkIdentity(const std::string& id);
    // Of several rows marked active, the one written last.
    std::optional<NetworkIdentity> fetchActiveNetworkIdentity();
    std::optional<ApplicationListItem> fetchApplication(const std::string& id);
    std::optional<AlertLevel> fetchLatestThresholdLevel(TimeframePreset timeframe);

private:
    // Local "yyyy-MM-dd" and "yyyy-MM-ddTHH:00:00" in the calendar current at the call; every
    // roll-up write and query takes its keys from here.
    std::string dayKey(Date date) const;
    std::string hourKey(Date date) const;
    // The day keys of a range's ends: roll-up queries cover whole local days.
    std::vector<SQLiteValue> dayBounds(const DateRange& range) const;

    void migrate();  // OstrelRepositorySchema.cpp
    void addColumnIfMissing(const std::string& table, const std::string& definition);

    // Runs `body` between `opening` and "COMMIT;" as one unit on the database queue; on any
    // failure after the opening it rolls back and passes the first error on.
    void inTransaction(const char* opening, const std::function<void(SQLiteConnection&)>& body);
    static void transactionForm(SQLiteConnection& connection, const char* opening,
                                const std::function<void(SQLiteConnection&)>& body);

    void insertSample(SQLiteConnection& connection, const UsageSampleRecord& sample);
    void upsertRollups(SQLiteConnection& connection, const UsageSampleRecord& sample);
    void rebuildRollupsFromUsageSamples(SQLiteConnection& connection, bool inTransaction);

    // The record of the last rebuild (OstrelRepositoryRollupState.cpp), kept in the transactions
    // that change the roll-ups.
    static void recordRebuild(SQLiteConnection& connection, const TimeZoneIdentity& zone);
    static void recordBatch(SQLiteConnection& connection, const SQLiteValue& rawBytes, const TimeZoneIdentity& before,
                            const TimeZoneIdentity& after);
    static bool rollupsKeyedIn(SQLiteConnection& connection, const TimeZoneIdentity& zone);
    // The raw total as recorded, when a rebuild was recorded.
    std::optional<std::int64_t> recordedRawTotal();
    static void deleteOrphans(SQLiteConnection& connection);
    std::int64_t fetchTotalBytesFromRawSamples();
    std::int64_t fetchTotalBytesFromDailyRollup();
    std::int64_t fetchTotalBytesFromHourlyRollup();
    std::int64_t fetchSingleTotal(const char* sql);

    std::unique_ptr<SQLiteDatabase> database;
};

}  // namespace ostrel
