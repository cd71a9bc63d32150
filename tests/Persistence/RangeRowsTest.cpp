// Which hours of a range may come from the hourly roll-ups, and which stretches from the samples.
#include <gtest/gtest.h>

#include <functional>

#include "Model/Iso8601.hpp"
#include "Persistence/RangeRows.hpp"
#include "Persistence/support/PersistenceTestSupport.hpp"

namespace ostrel {
namespace {

using namespace std::chrono_literals;
using testing::localTime;

// "09:00@09:59:30.250 10:00 | [11:00:00, 11:30:00]": the hours' local keys (with their stamps
// when not at the hour's start), then the stretches read from the samples, as local clock times.
std::string planned(const std::optional<RangeRows>& rows) {
    if (!rows) return "samples alone";
    const auto clock = [](const std::string& stamp) {
        const Date at = *ostrelISO8601Date(stamp);
        const auto local = Calendar::current().localTime(std::chrono::floor<std::chrono::seconds>(at));
        const auto millis =
            std::chrono::floor<std::chrono::milliseconds>(at) - std::chrono::floor<std::chrono::seconds>(at);
        std::string out = date::format("%H:%M:%S", local);
        if (millis.count() != 0) out += "." + std::to_string(millis.count());
        return out;
    };
    std::string text;
    for (const auto& hour : rows->hours()) {
        const std::string stamp = clock(hour.stamp);
        text += hour.key.substr(11, 5) + (stamp.substr(2) == ":00:00" ? "" : "@" + stamp) + " ";
    }
    text += "|";
    for (const auto& stretch : rows->sampleStretches()) {
        text += " [" + clock(stretch.from) + ", " + clock(stretch.until) + (stretch.untilIncluded ? "]" : ")");
    }
    return text;
}

RollupRecord exactIn(const TimeZoneIdentity& zone) {
    RollupRecord record;
    record.recentZone = zone.rulesKey();
    record.checkedEdits = 0;
    return record;
}

// Hours the record vouches for come from the roll-ups; the rest from sums of the samples, or the
// samples alone where even those could differ.
TEST(RangeRowsTest, WholeHoursInsideTheRangeThatTheRecordVouchesFor) {
    struct Case {
        const char* zone;
        const char* what;
        Date start, end;
        RowBuckets buckets;
        bool samplesOutside;  // in the hours at the range's ends, outside the range
        std::function<void(RollupRecord&)> change;
        const char* expected;
    };
    const auto at = [](const char* zone, int day, int hour, int minute = 0, int second = 0, int ms = 0) {
        return localTime(zone, 2026, 3, static_cast<unsigned>(day), hour, minute, second, ms);
    };
    const auto same = [](RollupRecord&) {};
    const char* utc = "UTC";
    const char* ny = "America/New_York";
    const char* india = "Asia/Kolkata";
    const Case cases[] = {
        {utc, "today, until inside an hour", at(utc, 10, 0), at(utc, 10, 2, 30, 0, 5), RowBuckets::utcHour, false, same,
         "00:00 01:00 02:00 |"},
        {utc, "today, with a sample after now in this hour", at(utc, 10, 0), at(utc, 10, 2, 30, 0, 5),
         RowBuckets::utcHour, true, same, "00:00 01:00 | [02:00:00, 02:30:00.5]"},
        {utc, "until an hour's last millisecond", at(utc, 10, 0), at(utc, 10, 1, 59, 59, 999), RowBuckets::utcHour,
         true, same, "00:00 01:00 |"},
        {utc, "until an hour's first millisecond", at(utc, 10, 0), at(utc, 10, 2), RowBuckets::utcHour, true, same,
         "00:00 01:00 | [02:00:00, 02:00:00]"},
        {utc, "from inside an hour", at(utc, 10, 0, 59, 30, 250), at(utc, 10, 3), RowBuckets::none, false, same,
         "00:00@00:59:30.250 01:00 02:00 03:00 |"},
        {utc, "from inside an hour, with samples before the start", at(utc, 10, 0, 59, 30, 250), at(utc, 10, 3),
         RowBuckets::none, true, same, "01:00 02:00 | [00:59:30.250, 00:59:59.999] [03:00:00, 03:00:00]"},
        {utc, "inside one hour", at(utc, 10, 0), at(utc, 10, 0, 59, 59, 998), RowBuckets::none, false, same, "00:00 |"},
        {utc, "inside one hour, with samples after its end", at(utc, 10, 0), at(utc, 10, 0, 59, 59, 998),
         RowBuckets::none, true, same, "| [00:00:00, 00:59:59.998]"},
        {utc, "a range that ends before it starts", at(utc, 10, 5), at(utc, 10, 4), RowBuckets::none, false, same,
         "samples alone"},
        {india, "half-hour offset, UTC hours: sums of the samples by half hours", at(india, 10, 0), at(india, 10, 2),
         RowBuckets::utcHour, false, same,
         "| [00:00:00, 00:30:00) [00:30:00, 00:59:59.999] [01:00:00, 01:30:00) [01:30:00, 01:59:59.999] "
         "[02:00:00, 02:00:00]"},
        {india, "half-hour offset, UTC days: the hour over UTC midnight is read from the samples", at(india, 10, 4),
         at(india, 10, 7), RowBuckets::utcDay, true, same,
         "04:00 06:00 | [05:00:00, 05:30:00) [05:30:00, 05:59:59.999] [07:00:00, 07:00:00]"},
        {india, "half-hour offset, UTC days: a stretch read from the samples is cut at UTC midnight",
         at(india, 10, 5, 10), at(india, 10, 7), RowBuckets::utcDay, false, same,
         "06:00 07:00 | [05:10:00, 05:30:00) [05:30:00, 05:59:59.999]"},
        {india, "half-hour offset, local buckets", at(india, 10, 4), at(india, 10, 6), RowBuckets::none, true, same,
         "04:00 05:00 | [06:00:00, 06:00:00]"},
        {ny, "the day the clocks go forward", at(ny, 8, 0), at(ny, 8, 4), RowBuckets::none, false, same,
         "samples alone"},
        {ny, "three hours after the change", at(ny, 8, 6), at(ny, 8, 8), RowBuckets::utcHour, true, same,
         "06:00 07:00 | [08:00:00, 08:00:00]"},
        {utc, "another program changed rows", at(utc, 10, 0), at(utc, 10, 2), RowBuckets::none, false,
         [](RollupRecord& r) { r.outsideEdits = 1; }, "samples alone"},
        {utc, "not summed since the earlier build", at(utc, 10, 0), at(utc, 10, 2), RowBuckets::none, false,
         [](RollupRecord& r) { r.checkedEdits = -1; }, "samples alone"},
        {utc, "a sample with negative bytes or a time stamp of another form", at(utc, 10, 0), at(utc, 10, 2),
         RowBuckets::none, false, [](RollupRecord& r) { r.unusualSamples = true; }, "samples alone"},
        {utc, "recent batches in another zone", at(utc, 10, 0), at(utc, 10, 2), RowBuckets::none, false,
         [](RollupRecord& r) { r.recentZone = "rules elsewhere"; },
         "| [00:00:00, 00:59:59.999] [01:00:00, 01:59:59.999] [02:00:00, 02:00:00]"},
        {utc, "keys of another zone within a day of the range", at(utc, 10, 0), at(utc, 10, 2), RowBuckets::none, false,
         [](RollupRecord& r) { r.foreignUntil = "2026-03-08T22:00:00.000Z"; },
         "| [00:00:00, 00:59:59.999] [01:00:00, 01:59:59.999] [02:00:00, 02:00:00]"},
        {utc, "keys of another zone more than a day before", at(utc, 10, 0), at(utc, 10, 2), RowBuckets::none, true,
         [](RollupRecord& r) { r.foreignUntil = "2026-03-08T21:59:59.999Z"; }, "00:00 01:00 | [02:00:00, 02:00:00]"},
    };
    for (const Case& c : cases) {
        testing::ScopedTimeZone zone(c.zone);
        const auto identity = TimeZoneIdentity::current();
        RollupRecord record = exactIn(identity);
        c.change(record);
        const auto samplesBetween = [&](Date, Date) { return c.samplesOutside; };
        EXPECT_EQ(planned(RangeRows::plan(record, identity, Calendar::current(), {c.start, c.end}, c.buckets,
                                          samplesBetween)),
                  c.expected)
            << c.zone << ": " << c.what;
    }
}

TEST(RangeRowsTest, StatementsReadTheRowsInPlaceOfTheSamples) {
    testing::ScopedTimeZone zone("UTC");
    const auto identity = TimeZoneIdentity::current();
    const auto rows = RangeRows::plan(exactIn(identity), identity, Calendar::current(),
                                      {localTime("UTC", 2026, 3, 10, 0), localTime("UTC", 2026, 3, 10, 1, 30)},
                                      RowBuckets::none, [](Date, Date) { return true; });
    ASSERT_TRUE(rows);
    const std::string sql = rows->sql("SELECT SUM(rx_bytes) FROM usage_samples WHERE timestamp >= ?;");
    EXPECT_NE(sql.find("SELECT SUM(rx_bytes) FROM range_rows WHERE timestamp >= ?;"), std::string::npos) << sql;
    EXPECT_EQ(rows->bindings({std::string("x")}),
              (std::vector<SQLiteValue>{std::string("2026-03-10T00:00:00"), std::string("2026-03-10T00:00:00.000Z"),
                                        std::string("2026-03-10T01:00:00.000Z"),
                                        std::string("2026-03-10T01:30:00.000Z"), std::string("x")}));
    // Only statements over the raw samples, which name the table once.
    EXPECT_THROW(rows->sql("SELECT 1 FROM daily_usage;"), std::logic_error);
}

}  // namespace
}  // namespace ostrel
