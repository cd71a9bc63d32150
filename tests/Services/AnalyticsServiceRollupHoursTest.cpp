// Answers of the raw path that take whole past hours from the hourly roll-ups must be those of the
// statements over the samples alone. Each store is answered twice: as it is, and as a copy whose
// roll-up record no longer vouches for the roll-ups (as after a change by another program), which
// makes every query read the samples alone.
#include <date/tz.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "Model/Iso8601.hpp"
#include "Model/LocalKeys.hpp"
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

// Three networks and four applications every few minutes from `from` until `until`, bytes that never
// tie; the identifiers begin with `prefix`.
std::vector<UsageSampleRecord> samplesBetween(Date from, Date until, const std::string& prefix) {
    std::vector<UsageSampleRecord> samples;
    const char* networks[] = {"wifi", "eth", "vpn"};
    const char* apps[] = {"app-a", "app-b", "app-c", "app-d"};
    for (Date at = from; at < until; at += 7min + 17s + 300ms) {
        const auto i = static_cast<std::int64_t>(samples.size());
        std::string id = prefix;
        id.append(std::to_string(i));
        samples.push_back({id, at, networks[i % 3], std::string("Net ") + networks[i % 3], NetworkType::wifi,
                           apps[i % 4], std::string("App ") + apps[i % 4], 1000 + i * 7919 % 10007, i % 97 + 1,
                           "nettop", 0.8});
    }
    return samples;
}

// What a start does as the statements write it: both roll-up tables rebuilt from the samples. The
// record then no longer vouches for the roll-ups, so raw questions read the samples alone.
void rebuildByTheStatements(const std::string& path) {
    SQLiteDatabase store(path);
    store.execute("DELETE FROM daily_usage;");
    store.execute("DELETE FROM hourly_usage;");
    store.execute(
        "INSERT INTO daily_usage (date, network_id, app_id, rx_bytes, tx_bytes)\n"
        "SELECT strftime('%Y-%m-%d', timestamp, 'localtime') AS day_key,\n       network_id,\n       app_id,\n"
        "       COALESCE(SUM(rx_bytes), 0),\n       COALESCE(SUM(tx_bytes), 0)\nFROM usage_samples\n"
        "GROUP BY day_key, network_id, app_id;");
    store.execute(
        "INSERT INTO hourly_usage (date_hour, network_id, app_id, rx_bytes, tx_bytes)\n"
        "SELECT strftime('%Y-%m-%dT%H:00:00', timestamp, 'localtime') AS hour_key,\n       network_id,\n"
        "       app_id,\n       COALESCE(SUM(rx_bytes), 0),\n       COALESCE(SUM(tx_bytes), 0)\nFROM usage_samples\n"
        "GROUP BY hour_key, network_id, app_id;");
    store.execute("UPDATE rollup_state SET outside_edits = outside_edits + 1;");
}

// Every timeframe's answers of `fast` against those of `statements`, with the core library and without.
void expectSameAnswers(const std::shared_ptr<OstrelRepository>& fast,
                       const std::shared_ptr<OstrelRepository>& statements, Date now) {
    auto log = std::make_shared<CapturingLogSink>();
    const auto core = std::make_shared<const VellCoreBridge>(VellCoreBridge::defaultLibraryCandidates(), log);
    const auto noCore = std::make_shared<const VellCoreBridge>(std::vector<std::string>{}, log);
    ASSERT_TRUE(core->isAvailable());
    const DateRange yesterdayAndToday{now - 30h, now};
    for (const auto& bridge : {core, noCore}) {
        const AnalyticsService a(fast, bridge, [now] { return now; });
        const AnalyticsService b(statements, bridge, [now] { return now; });
        for (const auto preset :
             {TimeframePreset::daily, TimeframePreset::weekly, TimeframePreset::monthly, TimeframePreset::yearly}) {
            EXPECT_EQ(answers(a, preset, std::nullopt), answers(b, preset, std::nullopt)) << rawValue(preset);
        }
        EXPECT_EQ(answers(a, TimeframePreset::custom, yesterdayAndToday),
                  answers(b, TimeframePreset::custom, yesterdayAndToday));
    }
    EXPECT_TRUE(log->lines().empty());
}

// Other programs' changes of the samples or the roll-ups, with the store's triggers on: the next start
// answers as the statements do after the rebuild that every start of theirs runs.
TEST(AnalyticsServiceRollupHoursTest, OutsideEditsBeforeAStartGiveTheStatementsFigures) {
    // Each edit is given the start of today.
    using Edit = std::function<void(SQLiteDatabase&, Date)>;
    const std::pair<const char*, Edit> edits[] = {
        {"one of yesterday's samples moved to today",
         [](SQLiteDatabase& store, Date today) {
             store.execute(
                 "UPDATE usage_samples SET timestamp = ? WHERE id = (SELECT id FROM usage_samples WHERE "
                 "timestamp < ? ORDER BY timestamp DESC LIMIT 1);",
                 {ostrelISO8601String(today + 5h), ostrelISO8601String(today)});
         }},
        {"a sample given another application",
         [](SQLiteDatabase& store, Date today) {
             store.execute(
                 "UPDATE usage_samples SET app_id = 'app-c' WHERE id = (SELECT id FROM usage_samples "
                 "WHERE app_id = 'app-a' AND timestamp < ? ORDER BY timestamp DESC LIMIT 1 OFFSET 100);",
                 {ostrelISO8601String(today)});
         }},
        {"bytes moved between days in the daily roll-ups",
         [](SQLiteDatabase& store, Date today) {
             const auto calendar = Calendar::current();
             store.execute(
                 "UPDATE daily_usage SET rx_bytes = rx_bytes + CASE WHEN date = ?1 THEN 5000 ELSE -5000 "
                 "END WHERE date IN (?1, ?2) AND network_id = 'wifi' AND app_id = 'app-a';",
                 {dayKey(today, calendar), dayKey(today - 1h, calendar)});
         }},
    };
    for (const char* zone : {"UTC", "Asia/Kolkata", "America/New_York"}) {
        testing::ScopedTimeZone inZone(zone);
        const Date start = local(zone, date::local_days{date::year{2026} / 3 / 12}, 0ms);
        const Date now = start + 22h + 30min;
        for (const auto& [what, edit] : edits) {
            SCOPED_TRACE(std::string(zone) + ": " + what);
            testing::TempTree folder;
            const std::string path = folder.root + "/ostrel.sqlite", copy = folder.root + "/statements.sqlite";
            {
                const auto repository = std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(path));
                repository->purgeMockData();
                repository->insertSamples(samplesBetween(start - 9 * 24h, start + 22h + 7min, "S"));
            }
            std::filesystem::copy_file(path, copy);
            for (const std::string& file : {path, copy}) {
                SQLiteDatabase store(file);
                edit(store, start);
            }
            rebuildByTheStatements(copy);
            const auto repository = std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(path));
            repository->purgeMockData();
            repository->repairRollupsIfNeeded();
            expectSameAnswers(repository, std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(copy)),
                              now);
        }
    }
}

// A change of zone while the store is open is noticed at the next batch: the roll-ups are rebuilt in
// the new zone on the database queue, and whole past hours come from them again.
TEST(AnalyticsServiceRollupHoursTest, AZoneChangeWhileRunningRebuildsAndWholeHoursHoldAgain) {
    for (const auto& [from, to] : {std::pair{"Asia/Kolkata", "UTC"}, {"UTC", "America/New_York"}}) {
        SCOPED_TRACE(std::string(from) + " to " + to);
        testing::TempTree folder;
        const std::string path = folder.root + "/ostrel.sqlite", copy = folder.root + "/statements.sqlite";
        const Date start = local(to, date::local_days{date::year{2026} / 3 / 12}, 0ms);
        const Date now = start + 22h + 30min;
        const auto before = samplesBetween(start - 3 * 24h, start + 14h, "S");
        const auto after = samplesBetween(start + 14h, start + 22h + 7min, "T");
        std::shared_ptr<OstrelRepository> repository;
        {
            testing::ScopedTimeZone first(from);
            repository = std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(path));
            repository->purgeMockData();
            repository->insertSamples(before);
        }
        testing::ScopedTimeZone then(to);
        repository->insertSamples(after);
        repository->fetchSummaryFromDailyRollup({start, now});
        {
            const auto statements = std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(copy));
            statements->insertSamples(before);
            statements->insertSamples(after);
        }
        rebuildByTheStatements(copy);
        expectSameAnswers(repository, std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(copy)), now);
        const auto rows = repository->rangeRows({start, now}, RowBuckets::none);
        EXPECT_TRUE(rows && rows->hours().size() == 23) << (rows ? rows->hours().size() : 0);
    }
}

}  // namespace
}  // namespace ostrel
