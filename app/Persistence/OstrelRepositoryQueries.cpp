#include <functional>
#include <initializer_list>
#include <type_traits>
#include <utility>

#include "Model/Iso8601.hpp"
#include "Model/LocalKeys.hpp"
#include "Persistence/OstrelRepository.hpp"
#include "Persistence/RepositoryDecoding.hpp"

namespace ostrel {
namespace {

constexpr const char* kFetchSamplesSQL =
    "SELECT us.id, us.timestamp, us.network_id, n.name, n.type, us.app_id, a.name,\n"
    "       us.rx_bytes, us.tx_bytes, us.source, us.attribution_confidence\n"
    "FROM usage_samples us\n"
    "JOIN networks n ON n.id = us.network_id\n"
    "JOIN applications a ON a.id = us.app_id\n"
    "WHERE us.timestamp >= ? AND us.timestamp <= ?\n"
    "ORDER BY us.timestamp ASC;";

constexpr const char* kFetchSummarySQL =
    "SELECT COALESCE(SUM(rx_bytes), 0), COALESCE(SUM(tx_bytes), 0)\n"
    "FROM usage_samples\n"
    "WHERE timestamp >= ? AND timestamp <= ?;";

constexpr const char* kFetchSummaryFromDailyRollupSQL =
    "SELECT COALESCE(SUM(rx_bytes), 0), COALESCE(SUM(tx_bytes), 0)\n"
    "FROM daily_usage\n"
    "WHERE date >= ? AND date <= ?;";

constexpr const char* kFetchTrendFromDailyRollupSQL =
    "SELECT date, COALESCE(SUM(rx_bytes), 0), COALESCE(SUM(tx_bytes), 0)\n"
    "FROM daily_usage\n"
    "WHERE date >= ? AND date <= ?\n"
    "GROUP BY date\n"
    "ORDER BY date ASC;";

constexpr const char* kFetchNetworkTrendFromDailyRollupSQL =
    "SELECT date, COALESCE(SUM(rx_bytes), 0), COALESCE(SUM(tx_bytes), 0)\n"
    "FROM daily_usage\n"
    "WHERE network_id = ? AND date >= ? AND date <= ?\n"
    "GROUP BY date\n"
    "ORDER BY date ASC;";

constexpr const char* kFetchAppTrendFromDailyRollupSQL =
    "SELECT date, COALESCE(SUM(rx_bytes), 0), COALESCE(SUM(tx_bytes), 0)\n"
    "FROM daily_usage\n"
    "WHERE app_id = ? AND date >= ? AND date <= ?\n"
    "GROUP BY date\n"
    "ORDER BY date ASC;";

constexpr const char* kFetchNetworkTrendMapFromDailyRollupSQL =
    "SELECT network_id, date, COALESCE(SUM(rx_bytes), 0), COALESCE(SUM(tx_bytes), 0)\n"
    "FROM daily_usage\n"
    "WHERE date >= ? AND date <= ?\n"
    "GROUP BY network_id, date\n"
    "ORDER BY date ASC;";

constexpr const char* kFetchAppTrendMapFromDailyRollupSQL =
    "SELECT app_id, date, COALESCE(SUM(rx_bytes), 0), COALESCE(SUM(tx_bytes), 0)\n"
    "FROM daily_usage\n"
    "WHERE date >= ? AND date <= ?\n"
    "GROUP BY app_id, date\n"
    "ORDER BY date ASC;";

constexpr const char* kFetchTopNetworksSQL =
    "SELECT us.network_id, n.name, COALESCE(SUM(us.rx_bytes), 0), COALESCE(SUM(us.tx_bytes), 0)\n"
    "FROM usage_samples us\n"
    "JOIN networks n ON n.id = us.network_id\n"
    "WHERE us.timestamp >= ? AND us.timestamp <= ?\n"
    "GROUP BY us.network_id, n.name\n"
    "ORDER BY (COALESCE(SUM(us.rx_bytes), 0) + COALESCE(SUM(us.tx_bytes), 0)) DESC\n"
    "LIMIT ?;";

constexpr const char* kFetchTopApplicationsSQL =
    "SELECT us.app_id, a.name, COALESCE(SUM(us.rx_bytes), 0), COALESCE(SUM(us.tx_bytes), 0)\n"
    "FROM usage_samples us\n"
    "JOIN applications a ON a.id = us.app_id\n"
    "WHERE us.timestamp >= ? AND us.timestamp <= ?\n"
    "GROUP BY us.app_id, a.name\n"
    "ORDER BY (COALESCE(SUM(us.rx_bytes), 0) + COALESCE(SUM(us.tx_bytes), 0)) DESC\n"
    "LIMIT ?;";

constexpr const char* kFetchTopAppsForNetworkSQL =
    "SELECT us.app_id, a.name, COALESCE(SUM(us.rx_bytes), 0), COALESCE(SUM(us.tx_bytes), 0)\n"
    "FROM usage_samples us\n"
    "JOIN applications a ON a.id = us.app_id\n"
    "WHERE us.network_id = ? AND us.timestamp >= ? AND us.timestamp <= ?\n"
    "GROUP BY us.app_id, a.name\n"
    "ORDER BY (COALESCE(SUM(us.rx_bytes), 0) + COALESCE(SUM(us.tx_bytes), 0)) DESC\n"
    "LIMIT ?;";

constexpr const char* kFetchTopNetworksForAppSQL =
    "SELECT us.network_id, n.name, COALESCE(SUM(us.rx_bytes), 0), COALESCE(SUM(us.tx_bytes), 0)\n"
    "FROM usage_samples us\n"
    "JOIN networks n ON n.id = us.network_id\n"
    "WHERE us.app_id = ? AND us.timestamp >= ? AND us.timestamp <= ?\n"
    "GROUP BY us.network_id, n.name\n"
    "ORDER BY (COALESCE(SUM(us.rx_bytes), 0) + COALESCE(SUM(us.tx_bytes), 0)) DESC\n"
    "LIMIT ?;";

constexpr const char* kFetchTopNetworksFromDailyRollupSQL =
    "SELECT du.network_id, n.name, COALESCE(SUM(du.rx_bytes), 0), COALESCE(SUM(du.tx_bytes), 0)\n"
    "FROM daily_usage du\n"
    "JOIN networks n ON n.id = du.network_id\n"
    "WHERE du.date >= ? AND du.date <= ?\n"
    "GROUP BY du.network_id, n.name\n"
    "ORDER BY (COALESCE(SUM(du.rx_bytes), 0) + COALESCE(SUM(du.tx_bytes), 0)) DESC\n"
    "LIMIT ?;";

constexpr const char* kFetchTopApplicationsFromDailyRollupSQL =
    "SELECT du.app_id, a.name, COALESCE(SUM(du.rx_bytes), 0), COALESCE(SUM(du.tx_bytes), 0)\n"
    "FROM daily_usage du\n"
    "JOIN applications a ON a.id = du.app_id\n"
    "WHERE du.date >= ? AND du.date <= ?\n"
    "GROUP BY du.app_id, a.name\n"
    "ORDER BY (COALESCE(SUM(du.rx_bytes), 0) + COALESCE(SUM(du.tx_bytes), 0)) DESC\n"
    "LIMIT ?;";

constexpr const char* kFetchTopAppsForNetworkFromDailyRollupSQL =
    "SELECT du.app_id, a.name, COALESCE(SUM(du.rx_bytes), 0), COALESCE(SUM(du.tx_bytes), 0)\n"
    "FROM daily_usage du\n"
    "JOIN applications a ON a.id = du.app_id\n"
    "WHERE du.network_id = ? AND du.date >= ? AND du.date <= ?\n"
    "GROUP BY du.app_id, a.name\n"
    "ORDER BY (COALESCE(SUM(du.rx_bytes), 0) + COALESCE(SUM(du.tx_bytes), 0)) DESC\n"
    "LIMIT ?;";

constexpr const char* kFetchTopNetworksForAppFromDailyRollupSQL =
    "SELECT du.network_id, n.name, COALESCE(SUM(du.rx_bytes), 0), COALESCE(SUM(du.tx_bytes), 0)\n"
    "FROM daily_usage du\n"
    "JOIN networks n ON n.id = du.network_id\n"
    "WHERE du.app_id = ? AND du.date >= ? AND du.date <= ?\n"
    "GROUP BY du.network_id, n.name\n"
    "ORDER BY (COALESCE(SUM(du.rx_bytes), 0) + COALESCE(SUM(du.tx_bytes), 0)) DESC\n"
    "LIMIT ?;";

constexpr const char* kFetchNetworkListSQL =
    "SELECT n.id, n.name, n.type, n.is_active,\n"
    "       COALESCE(SUM(us.rx_bytes), 0) + COALESCE(SUM(us.tx_bytes), 0) as total\n"
    "FROM networks n\n"
    "LEFT JOIN usage_samples us\n"
    "  ON us.network_id = n.id\n"
    " AND us.timestamp >= ?\n"
    " AND us.timestamp <= ?\n"
    "GROUP BY n.id, n.name, n.type, n.is_active\n"
    "ORDER BY total DESC;";

constexpr const char* kFetchNetworkListFromDailyRollupSQL =
    "SELECT n.id, n.name, n.type, n.is_active,\n"
    "       COALESCE(SUM(du.rx_bytes), 0) + COALESCE(SUM(du.tx_bytes), 0) as total\n"
    "FROM networks n\n"
    "LEFT JOIN daily_usage du\n"
    "  ON du.network_id = n.id\n"
    " AND du.date >= ?\n"
    " AND du.date <= ?\n"
    "GROUP BY n.id, n.name, n.type, n.is_active\n"
    "HAVING total > 0 OR n.is_active = 1\n"
    "ORDER BY total DESC;";

constexpr const char* kFetchApplicationListSQL =
    "SELECT a.id, a.bundle_id, a.name, a.icon_path,\n"
    "       COALESCE(SUM(us.rx_bytes), 0) + COALESCE(SUM(us.tx_bytes), 0) as total\n"
    "FROM applications a\n"
    "LEFT JOIN usage_samples us\n"
    "  ON us.app_id = a.id\n"
    " AND us.timestamp >= ?\n"
    " AND us.timestamp <= ?\n"
    "GROUP BY a.id, a.bundle_id, a.name, a.icon_path\n"
    "HAVING total > 0\n"
    "ORDER BY total DESC;";

constexpr const char* kFetchApplicationListFromDailyRollupSQL =
    "SELECT a.id, a.bundle_id, a.name, a.icon_path,\n"
    "       COALESCE(SUM(du.rx_bytes), 0) + COALESCE(SUM(du.tx_bytes), 0) as total\n"
    "FROM applications a\n"
    "LEFT JOIN daily_usage du\n"
    "  ON du.app_id = a.id\n"
    " AND du.date >= ?\n"
    " AND du.date <= ?\n"
    "GROUP BY a.id, a.bundle_id, a.name, a.icon_path\n"
    "HAVING total > 0\n"
    "ORDER BY total DESC;";

constexpr const char* kFetchNetworkIdentitySQL =
    "SELECT id, name, type, is_active, interface_name, resolution_state, resolution_source, resolution_confidence\n"
    "FROM networks\n"
    "WHERE id = ?\n"
    "LIMIT 1;";

constexpr const char* kFetchActiveNetworkIdentitySQL =
    "SELECT id, name, type, is_active, interface_name, resolution_state, resolution_source, resolution_confidence\n"
    "FROM networks\n"
    "WHERE is_active = 1\n"
    "ORDER BY last_seen_at DESC\n"
    "LIMIT 1;";

constexpr const char* kFetchApplicationSQL =
    "SELECT id, bundle_id, name, icon_path FROM applications WHERE id = ? LIMIT 1;";

// Two events can share a millisecond; the later insert is the latest of them.
constexpr const char* kFetchLatestThresholdLevelSQL =
    "SELECT level FROM threshold_events\n"
    "WHERE timeframe = ?\n"
    "ORDER BY timestamp DESC, rowid DESC\n"
    "LIMIT 1;";

using Bindings = std::vector<SQLiteValue>;

// Raw rows compare time stamp texts, which sort as the instants do.
Bindings rawBounds(const DateRange& range) {
    return {ostrelISO8601String(range.start), ostrelISO8601String(range.end)};
}

// The day keys of a range's ends: roll-up queries cover whole local days.
Bindings dayBounds(const DateRange& range) {
    return {dayKey(range.start, Calendar::current()), dayKey(range.end, Calendar::current())};
}

Bindings concat(std::initializer_list<Bindings> parts) {
    Bindings all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Runs a statement, handing each row to the handler: as the repository reads raw samples or
// roll-ups.
using Run = std::function<void(const SQLiteRowHandler&)>;

// Every row of the statement, decoded.
template <class Decode>
auto decoded(const Run& run, const Decode& decode) {
    std::vector<std::invoke_result_t<const Decode&, const SQLiteRow&>> rows;
    run([&](const SQLiteRow& row) { rows.push_back(decode(row)); });
    return rows;
}

UsageSummary summary(const Run& run) {
    UsageSummary result;
    run([&](const SQLiteRow& row) { result = UsageSummary{row.int64(0), row.int64(1)}; });
    return result;
}

// A day key as the first instant of that local day; an unreadable one is `now`.
TrendPoint trendPoint(const SQLiteRow& row, int firstColumn, const Calendar& calendar, Date now) {
    return TrendPoint{startOfDayKey(row.text(firstColumn), calendar).value_or(now), row.int64(firstColumn + 1),
                      row.int64(firstColumn + 2)};
}

// Day keys read in the calendar current when the statement is asked for.
std::vector<TrendPoint> trend(const Run& run) {
    const Calendar calendar = Calendar::current();
    const Date now = currentDate();
    return decoded(run, [&](const SQLiteRow& row) { return trendPoint(row, 0, calendar, now); });
}

std::map<std::string, std::vector<TrendPoint>> trendMap(const Run& run) {
    const Calendar calendar = Calendar::current();
    const Date now = currentDate();
    std::map<std::string, std::vector<TrendPoint>> points;
    run([&](const SQLiteRow& row) { points[row.text(0)].push_back(trendPoint(row, 1, calendar, now)); });
    return points;
}

std::vector<RankedUsage> ranking(const Run& run) {
    return withShare(decoded(run, [](const SQLiteRow& row) {
        return RankedUsage{row.text(0), row.text(1), row.int64(2), row.int64(3), 0};
    }));
}

std::vector<NetworkListItem> networkList(const Run& run) {
    return decoded(run, [](const SQLiteRow& row) {
        return NetworkListItem{row.text(0),  row.text(1),       storedNetworkType(row.text(2)),
                               row.int64(4), row.int64(3) == 1, {}};
    });
}

std::vector<ApplicationListItem> applicationList(const Run& run) {
    return withAppShare(decoded(run, [](const SQLiteRow& row) {
        return ApplicationListItem{row.text(0), row.text(1), row.text(2), row.optionalText(3), row.int64(4), 0, {}};
    }));
}

std::optional<NetworkIdentity> networkIdentity(SQLiteDatabase& database, const char* sql, const Bindings& bindings) {
    std::optional<NetworkIdentity> identity;
    database.query(sql, bindings, [&](const SQLiteRow& row) {
        identity = NetworkIdentity{row.text(0),
                                   row.text(1),
                                   storedNetworkType(row.text(2)),
                                   row.int64(3) == 1,
                                   row.optionalText(4),
                                   storedResolutionState(row.optionalText(5)),
                                   row.optionalText(6).value_or("unknown"),
                                   row.real(7)};
    });
    return identity;
}

}  // namespace

std::function<void(const SQLiteRowHandler&)> OstrelRepository::raw(const char* sql, std::vector<SQLiteValue> bindings,
                                                                   const DateRange& range, const RawReading& reading) {
    return [this, sql, bindings = std::move(bindings), range, reading](const SQLiteRowHandler& handler) {
        database->runExclusive([&](SQLiteConnection& connection) {
            // Planned and read in one unit: no batch can come between the record and the rows.
            if (const auto rows = rangeRows(connection, range, reading)) {
                connection.query(rows->with() + sql, rows->bindings(bindings), handler);
            } else {
                connection.query(sql, bindings, handler);
            }
        });
    };
}

std::optional<RangeRows> OstrelRepository::rangeRows(SQLiteConnection& connection, const DateRange& range,
                                                     const RawReading& reading) {
    // Read on the database queue, as every zone read of the store is; a change begins a rebuild.
    if (!vouched(connection) || !reading.hoursFromRollups) return std::nullopt;
    const auto samplesBetween = [&](Date after, Date before) {
        return connection.queryInt64(
                   "SELECT EXISTS (SELECT 1 FROM usage_samples WHERE timestamp > ? AND timestamp < ?);",
                   {ostrelISO8601String(after), ostrelISO8601String(before)}) != 0;
    };
    return RangeRows::plan(Calendar::current(), range, reading.buckets, samplesBetween);
}

std::optional<RangeRows> OstrelRepository::rangeRows(const DateRange& range, RowBuckets buckets) {
    return database->runExclusive([&](SQLiteConnection& connection) {
        return rangeRows(connection, range, RawReading::wholeHoursFromRollups(buckets));
    });
}

std::vector<UsageSampleRecord> OstrelRepository::fetchSamples(const DateRange& range, const RawReading& reading) {
    const Date now = currentDate();
    return decoded(raw(kFetchSamplesSQL, rawBounds(range), range, reading), [&](const SQLiteRow& row) {
        return UsageSampleRecord{row.text(0), parseDate(row.optionalText(1), now), row.text(2), row.text(3),
                                 storedNetworkType(row.text(4)), row.text(5), row.text(6), row.int64(7),
                                 row.int64(8), row.text(9), row.real(10)};
    });
}

UsageSummary OstrelRepository::fetchSummary(const DateRange& range, const RawReading& reading) {
    return summary(raw(kFetchSummarySQL, rawBounds(range), range, reading));
}

UsageSummary OstrelRepository::fetchSummaryFromDailyRollup(const DateRange& range) {
    return summary(rollup(kFetchSummaryFromDailyRollupSQL, dayBounds(range)));
}

std::vector<TrendPoint> OstrelRepository::fetchTrendFromDailyRollup(const DateRange& range) {
    return trend(rollup(kFetchTrendFromDailyRollupSQL, dayBounds(range)));
}

std::vector<TrendPoint> OstrelRepository::fetchNetworkTrendFromDailyRollup(const std::string& networkID,
                                                                           const DateRange& range) {
    return trend(rollup(kFetchNetworkTrendFromDailyRollupSQL, concat({{networkID}, dayBounds(range)})));
}

std::vector<TrendPoint> OstrelRepository::fetchAppTrendFromDailyRollup(const std::string& appID,
                                                                       const DateRange& range) {
    return trend(rollup(kFetchAppTrendFromDailyRollupSQL, concat({{appID}, dayBounds(range)})));
}

std::map<std::string, std::vector<TrendPoint>> OstrelRepository::fetchNetworkTrendMapFromDailyRollup(
    const DateRange& range) {
    return trendMap(rollup(kFetchNetworkTrendMapFromDailyRollupSQL, dayBounds(range)));
}

std::map<std::string, std::vector<TrendPoint>> OstrelRepository::fetchAppTrendMapFromDailyRollup(
    const DateRange& range) {
    return trendMap(rollup(kFetchAppTrendMapFromDailyRollupSQL, dayBounds(range)));
}

std::vector<RankedUsage> OstrelRepository::fetchTopNetworks(const DateRange& range, std::int64_t limit,
                                                            const RawReading& reading) {
    return ranking(raw(kFetchTopNetworksSQL, concat({rawBounds(range), {limit}}), range, reading));
}

std::vector<RankedUsage> OstrelRepository::fetchTopApplications(const DateRange& range, std::int64_t limit,
                                                                const RawReading& reading) {
    return ranking(raw(kFetchTopApplicationsSQL, concat({rawBounds(range), {limit}}), range, reading));
}

std::vector<RankedUsage> OstrelRepository::fetchTopAppsForNetwork(const std::string& networkID, const DateRange& range,
                                                                  std::int64_t limit, const RawReading& reading) {
    return ranking(raw(kFetchTopAppsForNetworkSQL, concat({{networkID}, rawBounds(range), {limit}}), range, reading));
}

std::vector<RankedUsage> OstrelRepository::fetchTopNetworksForApp(const std::string& appID, const DateRange& range,
                                                                  std::int64_t limit, const RawReading& reading) {
    return ranking(raw(kFetchTopNetworksForAppSQL, concat({{appID}, rawBounds(range), {limit}}), range, reading));
}

std::vector<RankedUsage> OstrelRepository::fetchTopNetworksFromDailyRollup(const DateRange& range, std::int64_t limit) {
    return ranking(rollup(kFetchTopNetworksFromDailyRollupSQL, concat({dayBounds(range), {limit}})));
}

std::vector<RankedUsage> OstrelRepository::fetchTopApplicationsFromDailyRollup(const DateRange& range,
                                                                               std::int64_t limit) {
    return ranking(rollup(kFetchTopApplicationsFromDailyRollupSQL, concat({dayBounds(range), {limit}})));
}

std::vector<RankedUsage> OstrelRepository::fetchTopAppsForNetworkFromDailyRollup(const std::string& networkID,
                                                                                 const DateRange& range,
                                                                                 std::int64_t limit) {
    return ranking(rollup(kFetchTopAppsForNetworkFromDailyRollupSQL, concat({{networkID}, dayBounds(range), {limit}})));
}

std::vector<RankedUsage> OstrelRepository::fetchTopNetworksForAppFromDailyRollup(const std::string& appID,
                                                                                 const DateRange& range,
                                                                                 std::int64_t limit) {
    return ranking(rollup(kFetchTopNetworksForAppFromDailyRollupSQL, concat({{appID}, dayBounds(range), {limit}})));
}

std::vector<NetworkListItem> OstrelRepository::fetchNetworkList(const DateRange& range, const RawReading& reading) {
    return networkList(raw(kFetchNetworkListSQL, rawBounds(range), range, reading));
}

std::vector<NetworkListItem> OstrelRepository::fetchNetworkListFromDailyRollup(const DateRange& range) {
    return networkList(rollup(kFetchNetworkListFromDailyRollupSQL, dayBounds(range)));
}

std::vector<ApplicationListItem> OstrelRepository::fetchApplicationList(const DateRange& range,
                                                                        const RawReading& reading) {
    return applicationList(raw(kFetchApplicationListSQL, rawBounds(range), range, reading));
}

std::vector<ApplicationListItem> OstrelRepository::fetchApplicationListFromDailyRollup(const DateRange& range) {
    return applicationList(rollup(kFetchApplicationListFromDailyRollupSQL, dayBounds(range)));
}

std::optional<NetworkIdentity> OstrelRepository::fetchNetworkIdentity(const std::string& id) {
    return networkIdentity(*database, kFetchNetworkIdentitySQL, {id});
}

std::optional<NetworkIdentity> OstrelRepository::fetchActiveNetworkIdentity() {
    return networkIdentity(*database, kFetchActiveNetworkIdentitySQL, {});
}

std::optional<ApplicationListItem> OstrelRepository::fetchApplication(const std::string& id) {
    std::optional<ApplicationListItem> application;
    database->query(kFetchApplicationSQL, {id}, [&](const SQLiteRow& row) {
        application = ApplicationListItem{row.text(0), row.text(1), row.text(2), row.optionalText(3), 0, 0, {}};
    });
    return application;
}

std::optional<AlertLevel> OstrelRepository::fetchLatestThresholdLevel(TimeframePreset timeframe) {
    std::optional<AlertLevel> level;
    database->query(kFetchLatestThresholdLevelSQL, {std::string(rawValue(timeframe))},
                    [&](const SQLiteRow& row) { level = alertLevelFromRaw(row.text(0)); });
    return level;
}

}  // namespace ostrel
