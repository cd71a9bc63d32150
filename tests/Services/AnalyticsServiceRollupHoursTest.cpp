// Answers of the raw path that take whole past hours from the hourly roll-ups must be those of the
// statements over the samples alone. Each store is answered twice: as it is, and as a copy whose
// roll-up record no longer vouches for the roll-ups (as after a change by another program), which
// makes every query read the samples alone.
#include <date/tz.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "Model/Iso8601.hpp"
#include "Model/TimeframeRange.hpp"
#include "Model/support/ScopedTimeZone.hpp"
#include "Platform/support/TempTree.hpp"
#include "Services/AnalyticsService.hpp"

namespace ostrel {
namespace {

using namespace std::chrono_literals;

Date local(const char* zone, date::local_days day, std::chrono::milliseconds time) {
    return Date{date::locate_zone(zone)->to_sys(
        date::local_time<std::chrono::nanoseconds>{day.time_since_epoch() + time}, date::choose::earliest)};
}

std::string text(const std::vector<TrendPoint>& points) {
    std::string out;
    for (const auto& p : points) {
        out +=
            ostrelISO8601String(p.timestamp) + " " + std::to_string(p.rxBytes) + "/" + std::to_string(p.txBytes) + ", ";
    }
    return out;
}
std::string text(const std::vector<RankedUsage>& rows) {
    std::string out;
    for (const auto& r : rows) {
        out += r.id + " " + r.title + " " + std::to_string(r.rxBytes) + "/" + std::to_string(r.txBytes) + " " +
               std::to_string(r.share) + "; ";
    }
    return out;
}

// Everything a screen shows of the answers of one timeframe.
std::string answers(const AnalyticsService& service, TimeframePreset preset, const std::optional<DateRange>& custom) {
    std::string out;
    const auto o = service.overview(preset, custom, OstrelSettings{});
    out += std::to_string(o.summary.rxBytes) + "/" + std::to_string(o.summary.txBytes) + " | " + text(o.trend) + " | " +
           text(o.topNetworks) + " | " + text(o.topApplications) + " | " + o.topAppToday.value_or("-") + " " +
           o.topNetworkToday.value_or("-") + "\n";
    for (const auto& item : service.networkList(preset, custom)) {
        out += item.id + " " + std::to_string(item.totalBytes) + " " + text(item.sparkline) + "\n";
    }
    for (const auto& item : service.appList(preset, custom)) {
        out += item.id + " " + std::to_string(item.totalBytes) + " " + std::to_string(item.share) + " " +
               text(item.sparkline) + "\n";
    }
    for (const char* id : {"wifi", "eth"}) {
        if (const auto d = service.networkDetail(id, preset, custom)) {
            out += std::to_string(d->summary.rxBytes) + " " + text(d->trend) + text(d->topApps) +
                   text(d->busiestHours) + "\n";
        }
    }
    for (const char* id : {"app-a", "app-c"}) {
        if (const auto d = service.appDetail(id, preset, custom)) {
            out += std::to_string(d->summary.rxBytes) + " " + text(d->trend) + text(d->byNetwork) +
                   text(d->busiestHours) + "\n";
        }
    }
    return out;
}

struct Zone {
    const char* name;
    date::year_month_day today;
    bool hoursTaken;  // whole hours of today come from the roll-ups for the library's UTC hours
};

TEST(AnalyticsServiceRollupHoursTest, AnswersEqualThoseOfTheSamplesAloneAtEveryEdge) {
    using date::year;
    const Zone zones[] = {
        {"UTC", year{2026} / 3 / 10, true},
        {"America/New_York", year{2026} / 3 / 10, true},
        {"America/New_York", year{2026} / 3 / 8, false},  // the clocks go forward: samples alone
        {"Asia/Kolkata", year{2026} / 3 / 10, false},     // its hours are not UTC ones
        {"Australia/Lord_Howe", year{2026} / 4 / 5, false},
    };
    for (const Zone& zone : zones) {
        SCOPED_TRACE(std::string(zone.name) + " " + date::format("%F", zone.today));
        testing::ScopedTimeZone inZone(zone.name);
        testing::TempTree folder;
        const std::string path = folder.root + "/ostrel.sqlite", copy = folder.root + "/samples-only.sqlite";
        auto repository = std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(path));
        repository->purgeMockData();
        const Date start = local(zone.name, date::local_days{zone.today}, 0ms);
        // Two days before today and today until 22:07: three networks, four applications, every few
        // minutes, with bytes that never tie; and samples on the very edges of today.
        std::vector<UsageSampleRecord> samples;
        const char* networks[] = {"wifi", "eth", "vpn"};
        const char* apps[] = {"app-a", "app-b", "app-c", "app-d"};
        const auto add = [&](Date at) {
            const auto i = static_cast<std::int64_t>(samples.size());
            std::string id = "S";
            id.append(std::to_string(i));
            samples.push_back({id, at, networks[i % 3], std::string("Net ") + networks[i % 3], NetworkType::wifi,
                               apps[i % 4], std::string("App ") + apps[i % 4], 1000 + i * 7919 % 10007, i % 97 + 1,
                               "nettop", 0.8});
        };
        for (Date at = start - 48h + 17s; at < start + 22h + 7min; at += 7min + 17s + 300ms) add(at);
        for (const std::chrono::milliseconds edge : {-1ms, 0ms, 1ms, 11h - 1ms, 11h + 0ms, 11h + 1ms})
            add(start + edge);
        repository->insertSamples(samples);
        repository.reset();
        std::filesystem::copy_file(path, copy);
        SQLiteDatabase(copy).execute("UPDATE rollup_state SET outside_edits = outside_edits + 1;");
        repository = std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(path));
        const auto samplesOnly = std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(copy));

        auto log = std::make_shared<CapturingLogSink>();
        const auto core = std::make_shared<const VellCoreBridge>(VellCoreBridge::defaultLibraryCandidates(), log);
        const auto noCore = std::make_shared<const VellCoreBridge>(std::vector<std::string>{}, log);
        ASSERT_TRUE(core->isAvailable());
        // Now: inside an hour, on an hour's edges, at the very start and end of today; the clock
        // set back leaves later samples of today after it, but none after 22:07.
        for (const auto time :
             {10h + 37min + 12s + 345ms, 11h - 1ms, 11h + 0ms, 0h + 0ms, 22h + 30min + 0ms, 24h - 1ms}) {
            const Date now = start + time;
            SCOPED_TRACE(ostrelISO8601String(now));
            const DateRange yesterdayAndToday{now - 30h, now};
            for (const auto& bridge : {core, noCore}) {
                const AnalyticsService fast(repository, bridge, [now] { return now; });
                const AnalyticsService slow(samplesOnly, bridge, [now] { return now; });
                EXPECT_EQ(answers(fast, TimeframePreset::daily, std::nullopt),
                          answers(slow, TimeframePreset::daily, std::nullopt));
                EXPECT_EQ(answers(fast, TimeframePreset::custom, yesterdayAndToday),
                          answers(slow, TimeframePreset::custom, yesterdayAndToday));
            }
            // Today's leaders of the longer timeframes.
            const AnalyticsService fast(repository, core, [now] { return now; });
            const AnalyticsService slow(samplesOnly, core, [now] { return now; });
            EXPECT_EQ(fast.overview(TimeframePreset::weekly, std::nullopt, {}).topAppToday,
                      slow.overview(TimeframePreset::weekly, std::nullopt, {}).topAppToday);
            EXPECT_EQ(fast.overview(TimeframePreset::weekly, std::nullopt, {}).topNetworkToday,
                      slow.overview(TimeframePreset::weekly, std::nullopt, {}).topNetworkToday);
            const DateRange today = resolvedRange(TimeframePreset::daily, std::nullopt, now, Calendar::current());
            EXPECT_FALSE(samplesOnly->rangeRows(today, RowBuckets::none));
            if (time >= 1h && time < 23h) {  // a whole hour of today has passed
                const auto rows = repository->rangeRows(today, RowBuckets::utcHour);
                EXPECT_EQ(rows && !rows->hours().empty(), zone.hoursTaken);
            }
        }
        EXPECT_TRUE(log->lines().empty());
    }
}

}  // namespace
}  // namespace ostrel
