#include "Persistence/RangeRows.hpp"

#include "Model/Iso8601.hpp"
#include "Model/LocalKeys.hpp"
#include "Persistence/RollupRebuild.hpp"

namespace ostrel {
namespace {

using namespace std::chrono;

// An hour's key repeats only next to it, where the clocks go back.
constexpr hours repeatReach{3};

bool oneOffset(const Calendar& calendar, Date from, Date to, seconds& offset) {
    const auto offsetAt = [&](Date at) {
        const auto instant = floor<seconds>(at);
        return calendar.localTime(instant).time_since_epoch() - instant.time_since_epoch();
    };
    offset = offsetAt(from);
    for (Date at = from + hours{1};; at += hours{1}) {
        if (offsetAt(std::min(at, to)) != offset) return false;
        if (at >= to) return true;
    }
}

bool inOneBucket(Date first, Date last, RowBuckets buckets) {
    switch (buckets) {
        case RowBuckets::none:
            return true;
        case RowBuckets::utcHour:
            return floor<hours>(first) == floor<hours>(last);
        case RowBuckets::utcDay:
            return floor<days>(first) == floor<days>(last);
    }
    return false;
}

}  // namespace

std::optional<RangeRows> RangeRows::plan(const Calendar& calendar, const DateRange& range, RowBuckets buckets,
                                         const SamplesBetween& samplesBetween) {
    // The statements compare millisecond texts: these are the instants they take in.
    const Date start = floor<milliseconds>(range.start), end = floor<milliseconds>(range.end);
    if (end < start || start < sqliteLocaltimeFrom + repeatReach || end >= sqliteLocaltimeUntil - repeatReach)
        return std::nullopt;
    seconds offset{0};
    if (!oneOffset(calendar, start - repeatReach, end + repeatReach, offset)) return std::nullopt;

    RangeRows rows;
    // The samples not taken from the roll-ups, in pieces of one local hour and one bucket: every
    // sample of a piece falls where the piece's earliest does.
    const auto nextCut = [&](Date at) {
        Date cut = ceil<std::chrono::hours>(at + offset + milliseconds{1}) - offset;
        if (buckets == RowBuckets::utcHour) {
            cut = std::min(cut, Date{floor<std::chrono::hours>(at) + std::chrono::hours{1}});
        }
        if (buckets == RowBuckets::utcDay) cut = std::min(cut, Date{floor<days>(at) + days{1}});
        return cut;
    };
    const auto addStretch = [&](Date from, Date last) {
        for (Date cut = nextCut(from); cut <= last; from = cut, cut = nextCut(from)) {
            rows.stretches_.push_back({ostrelISO8601String(from), ostrelISO8601String(cut), false});
        }
        rows.stretches_.push_back({ostrelISO8601String(from), ostrelISO8601String(last), true});
    };
    // Each local hour the range touches: its roll-up rows when they hold the range's samples alone.
    const std::chrono::hours hour{1};
    for (Date first = floor<std::chrono::hours>(start + offset) - offset; first <= end; first += hour) {
        const Date last = first + hour - milliseconds{1};
        const Date from = std::max(first, start), until = std::min(last, end);
        const bool alone = inOneBucket(first, last, buckets) &&
                           (first >= start || !samplesBetween(first - milliseconds{1}, start)) &&
                           (last <= end || !samplesBetween(end, last + milliseconds{1}));
        if (alone) {
            rows.hours_.push_back({hourKey(first, calendar), ostrelISO8601String(from)});
        } else {
            addStretch(from, until);
        }
    }
    return rows;
}

// The statement's own usage_samples is this table; main.usage_samples is the stored one.
std::string RangeRows::with() const {
    std::string text = "WITH ";
    std::vector<std::string> parts;
    if (!hours_.empty()) {
        text += "rollup_hours(key, stamp) AS (VALUES ";
        for (std::size_t i = 0; i < hours_.size(); ++i) text += i == 0 ? "(?, ?)" : ", (?, ?)";
        text += "),\n";
        parts.push_back(
            "  SELECT '', rollup_hours.stamp, h.network_id, h.app_id, h.rx_bytes, h.tx_bytes, 'rollup', 0.0\n"
            "  FROM rollup_hours JOIN main.hourly_usage h ON h.date_hour = rollup_hours.key");
    }
    for (const Stretch& stretch : stretches_) {
        parts.push_back(
            std::string(
                "  SELECT '', MIN(timestamp), network_id, app_id, SUM(rx_bytes), SUM(tx_bytes), 'samples', 0.0\n"
                "  FROM main.usage_samples WHERE timestamp >= ? AND timestamp ") +
            (stretch.untilIncluded ? "<= ?" : "< ?") + " GROUP BY network_id, app_id");
    }
    text +=
        "usage_samples(id, timestamp, network_id, app_id, rx_bytes, tx_bytes, source, attribution_confidence) AS (\n";
    for (std::size_t i = 0; i < parts.size(); ++i) text += (i == 0 ? "" : "\n  UNION ALL\n") + parts[i];
    return text + "\n)\n";
}

std::vector<SQLiteValue> RangeRows::bindings(const std::vector<SQLiteValue>& statementBindings) const {
    std::vector<SQLiteValue> values;
    values.reserve(hours_.size() * 2 + stretches_.size() * 2 + statementBindings.size());
    for (const Hour& hour : hours_) {
        values.emplace_back(hour.key);
        values.emplace_back(hour.stamp);
    }
    for (const Stretch& stretch : stretches_) {
        values.emplace_back(stretch.from);
        values.emplace_back(stretch.until);
    }
    values.insert(values.end(), statementBindings.begin(), statementBindings.end());
    return values;
}

}  // namespace ostrel
