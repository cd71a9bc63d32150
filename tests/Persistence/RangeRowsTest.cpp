// Which hours of a range may come from the hourly roll-ups, and which stretches from the samples.
#include <gtest/gtest.h>

#include <functional>

#include "Model/Iso8601.hpp"
#include "Persistence/RangeRows.hpp"
#include "Persistence/RollupRecord.hpp"
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

// Whole hours inside the range come from the roll-ups; the rest from sums of the samples, or the
// samples alone where even those could differ.
TEST(RangeRowsTest, WholeHoursInsideTheRange) {
    struct Case {
        const char* zone;
        const char* what;
        Date start, end;
        RowBuckets buckets;
        bool samplesOutside;  // in the hours at the range's ends, outside the range
        const char* expected;
    };
    const auto at = [](const char* zone, int day, int hour, int minute = 0, int second = 0, int ms = 0) {
        return localTime(zone, 2026, 3, static_cast<unsigned>(day), hour, minute, second, ms);
    };
    const char* utc = "UTC";
    const char* ny = "America/New_York";
    const char* india = "Asia/Kolkata";
    const Case cases[] = {
        {utc, "today, until inside an hour", at(utc, 10, 0), at(utc, 10, 2, 30, 0, 5), RowBuckets::utcHour, false,
         "00:00 01:00 02:00 |"},
        {utc, "today, with a sample after now in this hour", at(utc, 10, 0), at(utc, 10, 2, 30, 0, 5),
         RowBuckets::utcHour, true, "00:00 01:00 | [02:00:00, 02:30:00.5]"},
        {utc, "until an hour's last millisecond", at(utc, 10, 0), at(utc, 10, 1, 59, 59, 999), RowBuckets::utcHour,
         true, "00:00 01:00 |"},
        {utc, "until an hour's first millisecond", at(utc, 10, 0), at(utc, 10, 2), RowBuckets::utcHour, true,
         "00:00 01:00 | [02:00:00, 02:00:00]"},
        {utc, "from inside an hour", at(utc, 10, 0, 59, 30, 250), at(utc, 10, 3), RowBuckets::none, false,
         "00:00@00:59:30.250 01:00 02:00 03:00 |"},
        {utc, "from inside an hour, with samples before the start", at(utc, 10, 0, 59, 30, 250), at(utc, 10, 3),
         RowBuckets::none, true, "01:00 02:00 | [00:59:30.250, 00:59:59.999] [03:00:00, 03:00:00]"},
        {utc, "inside one hour", at(utc, 10, 0), at(utc, 10, 0, 59, 59, 998), RowBuckets::none, false, "00:00 |"},
        {utc, "inside one hour, with samples after its end", at(utc, 10, 0), at(utc, 10, 0, 59, 59, 998),
         RowBuckets::none, true, "| [00:00:00, 00:59:59.998]"},
        {utc, "a range that ends before it starts", at(utc, 10, 5), at(utc, 10, 4), RowBuckets::none, false,
         "samples alone"},
        {india, "half-hour offset, UTC hours: sums of the samples by half hours", at(india, 10, 0), at(india, 10, 2),
         RowBuckets::utcHour, false,
         "| [00:00:00, 00:30:00) [00:30:00, 00:59:59.999] [01:00:00, 01:30:00) [01:30:00, 01:59:59.999] "
         "[02:00:00, 02:00:00]"},
        {india, "half-hour offset, UTC days: the hour over UTC midnight is read from the samples", at(india, 10, 4),
         at(india, 10, 7), RowBuckets::utcDay, true,
         "04:00 06:00 | [05:00:00, 05:30:00) [05:30:00, 05:59:59.999] [07:00:00, 07:00:00]"},
        {india, "half-hour offset, UTC days: a stretch read from the samples is cut at UTC midnight",
         at(india, 10, 5, 10), at(india, 10, 7), RowBuckets::utcDay, false,
         "06:00 07:00 | [05:10:00, 05:30:00) [05:30:00, 05:59:59.999]"},
        {india, "half-hour offset, local buckets", at(india, 10, 4), at(india, 10, 6), RowBuckets::none, true,
         "04:00 05:00 | [06:00:00, 06:00:00]"},
        {ny, "the day the clocks go forward", at(ny, 8, 0), at(ny, 8, 4), RowBuckets::none, false, "samples alone"},
        {ny, "three hours after the change", at(ny, 8, 6), at(ny, 8, 8), RowBuckets::utcHour, true,
         "06:00 07:00 | [08:00:00, 08:00:00]"},
    };
    for (const Case& c : cases) {
        testing::ScopedTimeZone zone(c.zone);
        const auto samplesBetween = [&](Date, Date) { return c.samplesOutside; };
        EXPECT_EQ(planned(RangeRows::plan(Calendar::current(), {c.start, c.end}, c.buckets, samplesBetween)),
                  c.expected)
            << c.zone << ": " << c.what;
    }
}

// The record vouches for the roll-ups in the zone of their last rebuild alone, and only while
// nothing was written that the rebuild would not have written.
TEST(RangeRowsTest, TheRecordVouchesForTheRollupsOfItsZoneAloneUntouched) {
    testing::ScopedTimeZone zone("UTC");
    const auto identity = TimeZoneIdentity::current();
    const RollupRecord exact{identity.rulesKey(), false, 0};
    EXPECT_TRUE(exact.exactIn(identity));
    EXPECT_TRUE(exact.exactIn(TimeZoneIdentity::of("Etc/UTC", std::nullopt, {})));  // the same rules
    EXPECT_FALSE(exact.exactIn(TimeZoneIdentity::of("Asia/Kolkata", std::nullopt, {})));
    EXPECT_FALSE((RollupRecord{identity.rulesKey(), true, 0}.exactIn(identity))) << "a batch in another zone";
    EXPECT_FALSE((RollupRecord{identity.rulesKey(), false, 1}.exactIn(identity))) << "another program changed rows";
    EXPECT_FALSE((RollupRecord{"", false, 0}.exactIn(identity))) << "a sample of negative bytes or another form";
}

// The statements run as written, over a table of that name that holds the rows.
TEST(RangeRowsTest, StatementsReadTheRowsInPlaceOfTheSamples) {
    testing::ScopedTimeZone zone("UTC");
    const auto rows =
        RangeRows::plan(Calendar::current(), {localTime("UTC", 2026, 3, 10, 0), localTime("UTC", 2026, 3, 10, 1, 30)},
                        RowBuckets::none, [](Date, Date) { return true; });
    ASSERT_TRUE(rows);
    EXPECT_EQ(rows->bindings({std::string("x")}),
              (std::vector<SQLiteValue>{std::string("2026-03-10T00:00:00"), std::string("2026-03-10T00:00:00.000Z"),
                                        std::string("2026-03-10T01:00:00.000Z"),
                                        std::string("2026-03-10T01:30:00.000Z"), std::string("x")}));
    testing::TempTree folder;
    const std::string path = folder.file("ostrel.sqlite");
    testing::openRepository(path)->insertSamples(
        {testing::makeSample("S1", localTime("UTC", 2026, 3, 10, 0, 30), "net", "app", 5, 0),
         testing::makeSample("S2", localTime("UTC", 2026, 3, 10, 1, 10), "net", "app", 7, 0),
         testing::makeSample("S3", localTime("UTC", 2026, 3, 10, 1, 40), "net", "app", 11, 0)});
    std::int64_t sum = 0;
    SQLiteDatabase(path).query(rows->with() + "SELECT SUM(rx_bytes) FROM usage_samples WHERE timestamp >= ?;",
                               rows->bindings({std::string("2026-03-10T00:00:00.000Z")}),
                               [&](const SQLiteRow& row) { sum = row.int64(0); });
    EXPECT_EQ(sum, 12);
}

}  // namespace
}  // namespace ostrel
