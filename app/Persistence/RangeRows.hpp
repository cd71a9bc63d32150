#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Model/Calendar.hpp"
#include "Model/Records.hpp"
#include "Persistence/SQLiteConnection.hpp"

namespace ostrel {

// The buckets of time that the rows of a range are summed into besides their totals: a row that
// stands for a whole hour of samples must fall into the same one as each of those samples. The
// core library buckets in UTC; the local bucketing follows the local hours themselves.
enum class RowBuckets { none, utcHour, utcDay };

// How a question over the raw samples of a range may be answered: from the samples alone, as the
// statements read them, or with whole local hours taken from the hourly roll-ups while the record
// vouches for them (RollupRecord).
struct RawReading {
    bool hoursFromRollups = false;
    RowBuckets buckets = RowBuckets::none;

    static RawReading samplesOnly() { return {}; }
    static RawReading wholeHoursFromRollups(RowBuckets buckets) { return {true, buckets}; }
};

// The rows that stand for the raw samples of a range, for roll-ups that hold exactly the sums of the
// samples: one row per local hour, network and application from the hourly roll-ups, stamped at the
// hour's first instant in the range, and for the rest of the range the samples themselves, summed
// per network and application over stretches that each lie within one local hour and one bucket,
// stamped at their earliest sample.
class RangeRows {
public:
    // Whether any sample is stamped after `after` and before `before`.
    using SamplesBetween = std::function<bool(Date after, Date before)>;

    // An hour's roll-up rows are taken when they hold exactly the sums of the samples of the range
    // in that hour: the hour lies in one bucket, and no sample of it lies outside the range (it
    // lies in the range, or `samplesBetween` finds none in the rest of it: none after now in the
    // current hour, for today). Nothing at all (the samples themselves are read) when the zone's
    // offset changes around the range, or outside the years where SQLite and the C library agree
    // on local time (1970 to 2038).
    static std::optional<RangeRows> plan(const Calendar& calendar, const DateRange& range, RowBuckets buckets,
                                         const SamplesBetween& samplesBetween);

    // A common table expression named usage_samples that holds these rows, to put before one of
    // the raw-sample statements; its bindings, then the statement's.
    std::string with() const;
    std::vector<SQLiteValue> bindings(const std::vector<SQLiteValue>& statementBindings) const;

    struct Hour {
        std::string key;    // "yyyy-MM-ddTHH:00:00"
        std::string stamp;  // its first instant
    };
    // Time stamps from `from` until `until`, which is included only at the range's end; within one
    // local hour and one bucket.
    struct Stretch {
        std::string from;
        std::string until;
        bool untilIncluded = false;
    };
    const std::vector<Hour>& hours() const { return hours_; }
    const std::vector<Stretch>& sampleStretches() const { return stretches_; }

private:
    std::vector<Hour> hours_;
    std::vector<Stretch> stretches_;
};

}  // namespace ostrel
