#include "Persistence/RollupRebuild.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "Persistence/RollupRecord.hpp"

namespace ostrel {
namespace {

using namespace std::chrono;

constexpr const char* dailyRebuildSQL =
    "INSERT INTO daily_usage (date, network_id, app_id, rx_bytes, tx_bytes)\n"
    "SELECT strftime('%Y-%m-%d', timestamp, 'localtime') AS day_key,\n"
    "       network_id,\n"
    "       app_id,\n"
    "       COALESCE(SUM(rx_bytes), 0),\n"
    "       COALESCE(SUM(tx_bytes), 0)\n"
    "FROM usage_samples\n"
    "GROUP BY day_key, network_id, app_id;";

constexpr const char* hourlyRebuildSQL =
    "INSERT INTO hourly_usage (date_hour, network_id, app_id, rx_bytes, tx_bytes)\n"
    "SELECT strftime('%Y-%m-%dT%H:00:00', timestamp, 'localtime') AS hour_key,\n"
    "       network_id,\n"
    "       app_id,\n"
    "       COALESCE(SUM(rx_bytes), 0),\n"
    "       COALESCE(SUM(tx_bytes), 0)\n"
    "FROM usage_samples\n"
    "GROUP BY hour_key, network_id, app_id;";

// A sample that hourly rows cannot stand for (RollupRecord), as SQL.
constexpr const char* unusualSampleSQL =
    "rx_bytes < 0 OR tx_bytes < 0 OR typeof(timestamp) <> 'text' OR timestamp NOT GLOB "
    "'[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]T[0-9][0-9]:[0-9][0-9]:[0-9][0-9].[0-9][0-9][0-9]Z' OR timestamp < "
    "'1970-01-01T00:00:00.000Z' OR timestamp >= '2038-01-18T00:00:00.000Z'";

// A value the statements would treat otherwise than the sums below: they do the work instead.
struct StatementsInstead {};

struct HourKey {
    std::int64_t hour;  // local hours since 1970-01-01T00:00
    std::uint32_t network;
    std::uint32_t app;
    bool operator==(const HourKey&) const = default;
};

struct HourKeyHash {
    std::size_t operator()(const HourKey& key) const noexcept {
        std::uint64_t h = static_cast<std::uint64_t>(key.hour) * 0x9E3779B97F4A7C15ull;
        h ^= ((static_cast<std::uint64_t>(key.network) << 32) | key.app) * 0xC2B2AE3D27D4EB4Full;
        return static_cast<std::size_t>(h ^ (h >> 29));
    }
};

struct Sums {
    std::int64_t rx = 0;
    std::int64_t tx = 0;
};

// Identifiers numbered in the order first seen, found by their bytes: among the few seen last
// (a tick's samples name the same few), else by hash.
class Identifiers {
public:
    std::uint32_t number(std::string_view text) {
        for (const std::uint32_t recent : recent_) {
            if (recent < texts_.size() && texts_[recent] == text) return recent;
        }
        const std::uint32_t found = lookUp(text);
        recent_[next_++ % recent_.size()] = found;
        return found;
    }
    const std::string& text(std::uint32_t number) const { return texts_[number]; }

private:
    std::uint32_t lookUp(std::string_view text) {
        if (const auto found = numbers_.find(text); found != numbers_.end()) return found->second;
        // Bound back as C text, a NUL would cut the identifier short.
        if (text.find('\0') != std::string_view::npos) throw StatementsInstead{};
        const auto number = static_cast<std::uint32_t>(texts_.size());
        texts_.emplace_back(text);
        numbers_.emplace(texts_.back(), number);
        return number;
    }

    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const noexcept { return std::hash<std::string_view>{}(text); }
    };
    std::unordered_map<std::string, std::uint32_t, Hash, std::equal_to<>> numbers_;
    std::vector<std::string> texts_;
    std::array<std::uint32_t, 16> recent_{};  // unused slots: 0, a true number
    std::size_t next_ = 0;
};

int digits(const unsigned char* text, int count) {
    int value = 0;
    for (int i = 0; i < count; ++i) {
        if (text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// The hours since 1970-01-01T00 of a text that begins "YYYY-MM-DDTHH"; nothing for another.
std::optional<std::int64_t> hoursOf(const unsigned char* text) {
    const int y = digits(text, 4), mo = digits(text + 5, 2), d = digits(text + 8, 2), h = digits(text + 11, 2);
    const date::year_month_day day{date::year{y}, date::month{static_cast<unsigned>(mo)},
                                   date::day{static_cast<unsigned>(d)}};
    if (y < 0 || h < 0 || !day.ok() || text[4] != '-' || text[7] != '-' || text[10] != 'T') return std::nullopt;
    return date::sys_days{day}.time_since_epoch().count() * 24 + h;
}

// "YYYY-MM-DDTHH:MM:SS.sssZ" as the program writes it, for an instant whose local time SQLite
// takes straight from the C library: its whole seconds. Anything else: nothing.
std::optional<sys_seconds> programStamp(const unsigned char* text, int size) {
    if (size != 24 || text[13] != ':' || text[16] != ':' || text[19] != '.' || text[23] != 'Z' ||
        digits(text + 20, 3) < 0) {
        return std::nullopt;
    }
    const auto hour = hoursOf(text);
    const int mi = digits(text + 14, 2), s = digits(text + 17, 2);
    if (!hour || digits(text + 11, 2) > 23 || mi < 0 || mi > 59 || s < 0 || s > 59) return std::nullopt;
    const sys_seconds instant{hours{*hour} + minutes{mi} + seconds{s}};
    if (instant < sqliteLocaltimeFrom || instant >= sqliteLocaltimeUntil) return std::nullopt;
    return instant;
}

// The local hour of instants, asking the C library once per minute: within a minute whose first
// and last second have the same offset from UTC, every second has it.
class LocalHours {
public:
    explicit LocalHours(const Calendar& calendar) : calendar_(calendar) {}

    std::int64_t of(sys_seconds instant) {
        const auto minute = floor<minutes>(instant);
        if (minute != minute_) {
            minute_ = minute;
            offset_ = offsetAt(minute);
            steady_ = offsetAt(minute + seconds{59}) == offset_;
        }
        const seconds local =
            steady_ ? instant.time_since_epoch() + offset_ : calendar_.localTime(instant).time_since_epoch();
        return floor<hours>(local).count();
    }

private:
    seconds offsetAt(sys_seconds instant) const {
        return calendar_.localTime(instant).time_since_epoch() - instant.time_since_epoch();
    }

    const Calendar& calendar_;
    time_point<system_clock, minutes> minute_ = time_point<system_clock, minutes>::min();
    seconds offset_{0};
    bool steady_ = false;
};

// SQLite's own hour key of a time stamp in another form, as the statement would make it.
class SQLiteHours {
public:
    explicit SQLiteHours(sqlite3* db) : db_(db) {}
    ~SQLiteHours() { sqlite3_finalize(statement_); }
    SQLiteHours(const SQLiteHours&) = delete;
    SQLiteHours& operator=(const SQLiteHours&) = delete;

    std::int64_t of(sqlite3_value* stamp) {
        if (statement_ == nullptr && sqlite3_prepare_v2(db_, "SELECT strftime('%Y-%m-%dT%H:00:00', ?1, 'localtime');",
                                                        -1, &statement_, nullptr) != SQLITE_OK) {
            throw StatementsInstead{};
        }
        sqlite3_reset(statement_);
        if (sqlite3_bind_value(statement_, 1, stamp) != SQLITE_OK || sqlite3_step(statement_) != SQLITE_ROW ||
            sqlite3_column_type(statement_, 0) != SQLITE_TEXT || sqlite3_column_bytes(statement_, 0) != 19) {
            throw StatementsInstead{};  // no key: the statement's NOT NULL column refuses it
        }
        if (const auto hour = hoursOf(sqlite3_column_text(statement_, 0))) return *hour;
        throw StatementsInstead{};
    }

private:
    sqlite3* db_;
    sqlite3_stmt* statement_ = nullptr;
};

std::int64_t dayOf(std::int64_t hour) {
    return hour >= 0 ? hour / 24 : (hour - 23) / 24;
}

std::string hourText(std::int64_t hour) {
    const date::year_month_day day{date::sys_days{date::days{dayOf(hour)}}};
    std::array<char, 24> text{};
    std::snprintf(text.data(), text.size(), "%04d-%02u-%02uT%02d:00:00", static_cast<int>(day.year()),
                  static_cast<unsigned>(day.month()), static_cast<unsigned>(day.day()),
                  static_cast<int>(hour - dayOf(hour) * 24));
    return std::string(text.data(), 19);
}

}  // namespace

// What the scan gathers, one sample at a time.
class RollupSums::Scan {
public:
    explicit Scan(const Calendar& calendar) : calendar_(calendar), localHours_(calendar_) {}

    // False for a row the statements would treat otherwise than these sums.
    bool add(sqlite3_value** row, SQLiteHours& sqliteHours) {
        if (sqlite3_value_type(row[1]) != SQLITE_TEXT || sqlite3_value_type(row[2]) != SQLITE_TEXT ||
            sqlite3_value_type(row[3]) != SQLITE_INTEGER || sqlite3_value_type(row[4]) != SQLITE_INTEGER) {
            return false;
        }
        std::optional<sys_seconds> seconds;
        if (sqlite3_value_type(row[0]) == SQLITE_TEXT) {
            seconds = programStamp(sqlite3_value_text(row[0]), sqlite3_value_bytes(row[0]));
        }
        const std::int64_t hour = seconds ? localHours_.of(*seconds) : sqliteHours.of(row[0]);
        const std::int64_t rx = sqlite3_value_int64(row[3]), tx = sqlite3_value_int64(row[4]);
        const auto magnitude = [](std::int64_t v) {
            return v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
        };
        if (__builtin_add_overflow(absolute_, magnitude(rx), &absolute_) ||
            __builtin_add_overflow(absolute_, magnitude(tx), &absolute_) ||
            absolute_ > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return false;
        }
        unusual = unusual || !seconds || rx < 0 || tx < 0;
        Sums& sums = hours[HourKey{hour, networks.number(text(row[1])), apps.number(text(row[2]))}];
        sums.rx += rx;
        sums.tx += tx;
        return true;
    }

    Identifiers networks, apps;
    std::unordered_map<HourKey, Sums, HourKeyHash> hours;
    bool unusual = false;
    bool statementsInstead = false;

private:
    static std::string_view text(sqlite3_value* value) {
        return std::string_view(reinterpret_cast<const char*>(sqlite3_value_text(value)),
                                static_cast<std::size_t>(sqlite3_value_bytes(value)));
    }

    Calendar calendar_;
    LocalHours localHours_;
    // Bytes without their signs: while their sum is a signed 64-bit integer, no sum can overflow in
    // any order.
    std::uint64_t absolute_ = 0;
};

namespace {

constexpr const char* scanFunction = "ostrel_rollup_scan";

using Row = std::tuple<std::string, const std::string*, const std::string*, Sums>;

// In the order of the statements' GROUP BY: key, network, application (bytes compared unsigned).
void insertSorted(SQLiteConnection& connection, const char* sql, std::vector<Row>& rows) {
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        return std::tie(std::get<0>(a), *std::get<1>(a), *std::get<2>(a)) <
               std::tie(std::get<0>(b), *std::get<1>(b), *std::get<2>(b));
    });
    std::vector<std::vector<SQLiteValue>> bindings;
    bindings.reserve(rows.size());
    for (const auto& [key, network, app, sums] : rows) {
        bindings.push_back({key, *network, *app, sums.rx, sums.tx});
    }
    connection.executeEach(sql, bindings);
}

}  // namespace

RollupSums::RollupSums(const Calendar& calendar) : scan_(std::make_unique<Scan>(calendar)) {}
RollupSums::~RollupSums() = default;

// The samples of a range of rowids handed to the scan by SQLite itself, as the arguments of an
// aggregate function of this connection: no call per column, and none of the connection's locking
// per call.
void RollupSums::add(SQLiteConnection& connection, std::int64_t fromRowid, std::int64_t toRowid) {
    Scan& scan = *scan_;
    if (scan.statementsInstead) return;
    struct Step {
        Scan& scan;
        SQLiteHours sqliteHours;
    } step{scan, SQLiteHours(connection.handle())};
    const auto add = [](sqlite3_context* context, int, sqlite3_value** row) {
        auto& [state, sqliteHours] = *static_cast<Step*>(sqlite3_user_data(context));
        if (state.statementsInstead) return;
        try {
            state.statementsInstead = !state.add(row, sqliteHours);
        } catch (const StatementsInstead&) {
            state.statementsInstead = true;
        } catch (const std::exception& error) {
            sqlite3_result_error(context, error.what(), -1);
        }
    };
    const auto final = [](sqlite3_context*) {};
    if (sqlite3_create_function_v2(connection.handle(), scanFunction, 5, SQLITE_UTF8 | SQLITE_DIRECTONLY, &step,
                                   nullptr, add, final, nullptr) != SQLITE_OK) {
        scan.statementsInstead = true;
        return;
    }
    struct Unregister {
        sqlite3* db;
        ~Unregister() {
            sqlite3_create_function_v2(db, scanFunction, 5, SQLITE_UTF8, nullptr, nullptr, nullptr, nullptr, nullptr);
        }
    } unregister{connection.handle()};
    connection.query(
        "SELECT ostrel_rollup_scan(timestamp, network_id, app_id, rx_bytes, tx_bytes) FROM usage_samples\n"
        "WHERE rowid BETWEEN ? AND ?;",
        {fromRowid, toRowid}, [](const SQLiteRow&) {});
}

void RollupSums::write(SQLiteConnection& connection, const std::string& zone) {
    rollup_record::ownWritesBegin(connection);
    rollup_record::rebuilt(connection, rebuild(connection) ? std::string() : zone);
    rollup_record::ownWritesEnd(connection);
}

bool RollupSums::rebuild(SQLiteConnection& connection) {
    connection.execute("DELETE FROM daily_usage;");
    connection.execute("DELETE FROM hourly_usage;");
    const Scan& scan = *scan_;
    if (scan.statementsInstead) {
        connection.execute(dailyRebuildSQL);
        connection.execute(hourlyRebuildSQL);
        return connection.queryInt64(std::string("SELECT EXISTS (SELECT 1 FROM usage_samples WHERE ") +
                                     unusualSampleSQL + ");") != 0;
    }
    std::vector<Row> hourly;
    std::unordered_map<HourKey, Sums, HourKeyHash> days;
    hourly.reserve(scan.hours.size());
    for (const auto& [key, sums] : scan.hours) {
        Sums& daySums = days[HourKey{dayOf(key.hour), key.network, key.app}];
        daySums.rx += sums.rx;
        daySums.tx += sums.tx;
        hourly.emplace_back(hourText(key.hour), &scan.networks.text(key.network), &scan.apps.text(key.app), sums);
    }
    std::vector<Row> daily;
    daily.reserve(days.size());
    for (const auto& [key, sums] : days) {
        daily.emplace_back(hourText(key.hour * 24).substr(0, 10), &scan.networks.text(key.network),
                           &scan.apps.text(key.app), sums);
    }
    insertSorted(connection,
                 "INSERT INTO daily_usage (date, network_id, app_id, rx_bytes, tx_bytes) VALUES (?, ?, ?, ?, ?);",
                 daily);
    insertSorted(connection,
                 "INSERT INTO hourly_usage (date_hour, network_id, app_id, rx_bytes, tx_bytes) VALUES (?, ?, ?, ?, ?);",
                 hourly);
    return scan.unusual;
}

}  // namespace ostrel
