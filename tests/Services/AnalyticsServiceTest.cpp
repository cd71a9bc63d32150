// Every load over a real SQLite file, answered once through the built core library and once
// with no library: equal where the roll-ups and queries answer, different exactly where the
// library buckets in UTC and fills empty buckets with zeros.
#include <date/tz.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "Model/Iso8601.hpp"
#include "Model/support/ScopedTimeZone.hpp"
#include "Platform/support/TempTree.hpp"
#include "Services/AnalyticsService.hpp"
#include "Services/LocalAggregation.hpp"

namespace ostrel {
namespace {

using std::chrono::hours;
using std::chrono::seconds;

constexpr const char* kZone = "Asia/Kolkata";  // +05:30: its hours and days are not UTC ones

// Local time in kZone, March 2026.
Date ist(int day, int hour, int minute = 0) {
    const auto local = date::local_days{date::year{2026} / 3 / day} + hours{hour} + std::chrono::minutes{minute};
    return Date{date::locate_zone(kZone)->to_sys(local)};
}

std::string bytes(std::int64_t rx, std::int64_t tx) {
    return std::to_string(rx) + "/" + std::to_string(tx);
}
// "25T03:00 100/10, 25T04:00": UTC day of the month and time, with the bytes when there are any.
std::string text(const std::vector<TrendPoint>& points) {
    std::string out;
    for (const auto& p : points) {
        out +=
            (out.empty() ? "" : ", ") + date::format("%dT%H:%M", std::chrono::floor<std::chrono::minutes>(p.timestamp));
        if (p.rxBytes != 0 || p.txBytes != 0) out += " " + bytes(p.rxBytes, p.txBytes);
    }
    return out;
}
std::string text(const std::vector<RankedUsage>& rows) {
    std::string out;
    for (const auto& r : rows)
        out += r.id + " " + r.title + " " + bytes(r.rxBytes, r.txBytes) + " " + std::to_string(r.share) + "; ";
    return out;
}

// An answer as text: its trends, and everything else.
struct View {
    std::string rest;
    std::vector<std::string> trends;
};
View view(const OverviewSnapshot& s) {
    return {bytes(s.summary.rxBytes, s.summary.txBytes) + " | " + text(s.topNetworks) + "| " + text(s.topApplications) +
                "| " + s.activeNetwork.value_or("-") + " " + s.topAppToday.value_or("-") + " " +
                s.topNetworkToday.value_or("-") + " " + std::string(rawValue(s.threshold.level)),
            {text(s.trend)}};
}
template <class Item>
View view(const std::vector<Item>& items) {
    View v;
    for (const auto& i : items) {
        v.rest += i.id + " " + i.name + " " + std::to_string(i.totalBytes) + "; ";
        v.trends.push_back(text(i.sparkline));
    }
    return v;
}
template <class Detail>
View view(const std::optional<Detail>& d, std::vector<RankedUsage> Detail::*ranked) {
    if (!d) return {"none", {}};
    return {d->name + " " + bytes(d->summary.rxBytes, d->summary.txBytes) + " | " + text((*d).*ranked),
            {text(d->trend), text(d->busiestHours)}};
}

UsageSampleRecord sample(Date at, const std::string& net, const std::string& app, std::int64_t rx, std::int64_t tx) {
    static int ids = 0;
    return {"S" + std::to_string(++ids), at, net, net + " name", NetworkType::wifi, app, app, rx, tx, "nettop", 1};
}

NetworkIdentity network(const std::string& id) {
    return {id, id + " name", NetworkType::wifi, true, {}, NetworkResolutionState::resolved, "test", 1};
}

class AnalyticsServiceTest : public ::testing::Test {
protected:
    AnalyticsServiceTest() {
        repository->setActiveNetwork(network("idle"), ist(1, 0));  // known, never any traffic
        std::vector<UsageSampleRecord> samples;
        for (int day = 1; day <= 20; ++day)
            samples.push_back(sample(ist(day, 12), "office", "code", day % 4 ? 20 : 50, 0));
        samples.push_back(sample(ist(24, 20), "office", "firefox", 7, 1));
        samples.push_back(sample(ist(25, 9, 10), "home", "firefox", 100, 10));
        samples.push_back(sample(ist(25, 9, 40), "home", "code", 50, 5));
        samples.push_back(sample(ist(25, 11, 20), "office", "firefox", 30, 3));
        repository->insertSamples(samples);
        repository->setActiveNetwork(network("home"), ist(25, 12));
    }

    AnalyticsService service(bool withCore, Date now = ist(25, 15)) const {
        return AnalyticsService(repository, withCore ? core : noCore, [now] { return now; });
    }

    testing::ScopedTimeZone zone{kZone};
    testing::TempTree folder;
    std::shared_ptr<OstrelRepository> repository =
        std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(folder.root + "/o.sqlite"));
    std::shared_ptr<CapturingLogSink> log = std::make_shared<CapturingLogSink>();
    std::shared_ptr<const VellCoreBridge> core =
        std::make_shared<const VellCoreBridge>(VellCoreBridge::defaultLibraryCandidates(), log);
    std::shared_ptr<const VellCoreBridge> noCore = std::make_shared<const VellCoreBridge>(
        std::vector<std::string>{folder.root + "/nothing/libostrel_core.so"}, log);
};

TEST_F(AnalyticsServiceTest, AnswersWithAndWithoutTheCoreLibraryDifferOnlyInBuckets) {
    ASSERT_TRUE(core->isAvailable());
    ASSERT_FALSE(noCore->isAvailable());
    enum Load { overview, networks, apps, networkDetail, appDetail };
    struct Case {
        Load load;
        TimeframePreset preset;
        std::optional<DateRange> custom;
        std::vector<std::string> withCore;  // both empty: the two answers are equal
        std::vector<std::string> withoutCore;
        const char* id = "";
    };
    const DateRange underTwoDays{ist(24, 0), ist(24, 0) + hours{48} - seconds{1}};
    const DateRange twoDays{ist(24, 0), ist(24, 0) + hours{48}};
    const std::string night = "24T18:00, 24T19:00, 24T20:00, 24T21:00, 24T22:00, 24T23:00, 25T00:00, 25T01:00";
    const std::string morning = ", 25T06:00, 25T07:00, 25T08:00, 25T09:00";
    using P = TimeframePreset;
    // clang-format off
    const std::vector<Case> cases = {
        {overview, P::daily, {}, {night + ", 25T02:00, 25T03:00 100/10, 25T04:00 50/5, 25T05:00 30/3" + morning},
         {"25T03:30 150/15, 25T05:30 30/3"}},
        {overview, P::weekly, {}, {}, {}},
        {overview, P::custom, underTwoDays, {"23T00:00, 24T00:00 7/1, 25T00:00 180/18"}, {"23T18:30 7/1, 24T18:30 180/18"}},
        {overview, P::custom, twoDays, {}, {}},
        {networks, P::daily, {}, {"24T00:00, 25T00:00 150/15", "24T00:00, 25T00:00 30/3", "24T00:00, 25T00:00"},
         {"24T18:30 150/15", "24T18:30 30/3", ""}},
        {apps, P::monthly, {}, {}, {}},
        {apps, P::custom, twoDays, {}, {}},
        {appDetail, P::daily, {}, {night + ", 25T02:00, 25T03:00 100/10, 25T04:00, 25T05:00 30/3" + morning,
          "25T03:00 100/10, 25T05:00 30/3, 24T18:00, 24T19:00, 24T20:00, 24T21:00, 24T22:00, 24T23:00"},
         {"25T03:30 100/10, 25T05:30 30/3", "25T03:30 100/10, 25T05:30 30/3"}, "firefox"},
        {networkDetail, P::custom, twoDays, {}, {}, "office"},
        {networkDetail, P::daily, {}, {night + ", 25T02:00, 25T03:00, 25T04:00, 25T05:00" + morning, night}, {"", ""}, "idle"},
        {appDetail, P::daily, {}, {}, {}, "nobody"},
    };
    // clang-format on
    const auto answer = [&](const AnalyticsService& s, const Case& c) {
        switch (c.load) {
            case overview:
                return view(s.overview(c.preset, c.custom, OstrelSettings{}));
            case networks:
                return view(s.networkList(c.preset, c.custom));
            case apps:
                return view(s.appList(c.preset, c.custom));
            case networkDetail:
                return view(s.networkDetail(c.id, c.preset, c.custom), &NetworkDetailModel::topApps);
            case appDetail:
                return view(s.appDetail(c.id, c.preset, c.custom), &ApplicationDetailModel::byNetwork);
        }
        return View{};
    };
    for (const auto& c : cases) {
        const View a = answer(service(true), c);
        const View b = answer(service(false), c);
        const std::string label = std::to_string(c.load) + " " + std::string(rawValue(c.preset)) + " " + c.id;
        EXPECT_EQ(a.rest, b.rest) << label;
        EXPECT_EQ(a.trends, c.withCore.empty() ? b.trends : c.withCore) << label;
        EXPECT_EQ(b.trends, c.withoutCore.empty() ? a.trends : c.withoutCore) << label;
    }
    EXPECT_TRUE(log->lines().empty());
}

TEST_F(AnalyticsServiceTest, OverviewRanksAndNamesTodayFromRawSamplesOnBothPaths) {
    struct Case {
        TimeframePreset preset;
        Date now;
        const char* rest;
    };
    const std::vector<Case> cases = {
        {TimeframePreset::daily, ist(25, 15),
         "180/18 | home home name 150/15 0.833333; office office name 30/3 0.166667; | firefox firefox 130/13 "
         "0.722222; code code 50/5 0.277778; | home name firefox home name normal"},
        {TimeframePreset::weekly, ist(25, 15),  // the roll-ups' shares are of the rows returned
         "257/19 | home home name 150/15 0.597826; office office name 107/4 0.402174; | firefox firefox 137/14 "
         "0.547101; code code 120/5 0.452899; | home name firefox home name normal"},
        {TimeframePreset::weekly, ist(22, 15),  // nothing today
         "160/0 | office office name 160/0 1.000000; | code code 160/0 1.000000; | home name - - normal"},
    };
    for (const auto& c : cases) {
        for (bool withCore : {true, false}) {
            EXPECT_EQ(view(service(withCore, c.now).overview(c.preset, std::nullopt, OstrelSettings{})).rest, c.rest)
                << rawValue(c.preset) << (withCore ? " with" : " without") << " the core library";
        }
    }
}

TEST_F(AnalyticsServiceTest, ListsKeepTheLast14PointsAndDetailsTheBusiest8InTimeOrder) {
    for (bool withCore : {true, false}) {
        const auto apps = service(withCore).appList(TimeframePreset::monthly, std::nullopt);
        ASSERT_EQ(apps.at(0).id, "code");
        EXPECT_EQ(text(apps[0].sparkline),
                  "07T18:30 50/0, 08T18:30 20/0, 09T18:30 20/0, 10T18:30 20/0, 11T18:30 50/0, 12T18:30 20/0, "
                  "13T18:30 20/0, 14T18:30 20/0, 15T18:30 50/0, 16T18:30 20/0, 17T18:30 20/0, 18T18:30 20/0, "
                  "19T18:30 50/0, 24T18:30 50/5");
        EXPECT_EQ(text(service(withCore).appDetail("code", TimeframePreset::monthly, std::nullopt)->busiestHours),
                  "24T18:30 50/5, 03T18:30 50/0, 07T18:30 50/0, 11T18:30 50/0, 15T18:30 50/0, 19T18:30 50/0, "
                  "28T18:30 20/0, 01T18:30 20/0");
    }
}

TEST_F(AnalyticsServiceTest, ThresholdsGiveTheWorkedValuesAndRememberTheLastLevelPerTimeframe) {
    constexpr std::int64_t GiB = 1073741824;
    const std::tuple<std::int64_t, std::int64_t, std::int64_t, const char*> worked[] = {
        {4 * GiB, 5 * GiB, 10 * GiB, "normal -- 0.800000"},
        {5 * GiB, 5 * GiB, 10 * GiB, "warning W- 1.000000"},
        {12 * GiB, 5 * GiB, 10 * GiB, "danger WD 2.400000"},
        {7, 0, 5, "danger -D 0.000000"},
        {7, 10, 5, "danger -D 0.700000"},
        {0, 0, 0, "normal -- 0.000000"},
        {99, 0, 0, "normal -- 0.000000"}};
    for (bool withCore : {true, false}) {
        for (const auto& [total, warning, danger, evaluation] : worked) {
            const OstrelSettings settings{MenuBarDisplayMode::totalToday, warning, danger, true, false};
            const auto e =
                service(withCore).recordThresholdEventIfNeeded({total, 0}, TimeframePreset::custom, settings);
            EXPECT_EQ(std::string(rawValue(e.level)) + " " + (e.exceedsWarning ? "W" : "-") +
                          (e.exceedsDanger ? "D " : "- ") + std::to_string(e.usageRatio),
                      evaluation)
                << total << " " << warning << " " << danger;
        }
    }

    SQLiteDatabase database(folder.root + "/o.sqlite");
    database.execute("DELETE FROM threshold_events;");
    OstrelSettings quiet{MenuBarDisplayMode::totalToday, 10, 20, false, false};
    const auto analytics = service(false);
    for (std::int64_t total : {10, 15, 20, 10, 0})
        analytics.recordThresholdEventIfNeeded({total, 0}, TimeframePreset::daily, quiet);
    quiet.notificationsEnabled = true;
    analytics.recordThresholdEventIfNeeded({7, 5}, TimeframePreset::weekly, quiet);
    std::vector<std::string> events;
    database.query(
        "SELECT level || ' ' || total_bytes || ' ' || timeframe || ' ' || notified FROM threshold_events ORDER BY "
        "rowid;",
        {}, [&](const SQLiteRow& row) { events.push_back(row.text(0)); });
    EXPECT_EQ(events, (std::vector<std::string>{"warning 10 daily 0", "danger 20 daily 0", "warning 10 daily 0",
                                                "warning 12 weekly 1"}));
}

TEST(AnalyticsServiceLocalTest, BucketsInTheUsersCalendarAcrossDaylightSavingChanges) {
    struct Case {
        const char *label, *zone;
        TimeframePreset preset;  // daily: hours; custom (under 48 h): days
        const char* now;
        std::vector<const char*> samples;
        const char* trend;
    };
    using P = TimeframePreset;
    // clang-format off
    const std::vector<Case> cases = {
        {"10:47:30 in the hour of 10:00", "Europe/Berlin", P::daily, "2026-03-10T11:00:00.000Z",
         {"2026-03-10T09:47:30.000Z"}, "10T09:00 1/1"},
        {"10:47:30 on the day of its midnight", "Europe/Berlin", P::custom, "2026-03-10T11:00:00.000Z",
         {"2026-03-10T09:47:30.000Z"}, "09T23:00 1/1"},
        {"both 01:30s of a repeated hour in its first 01:00", "America/New_York", P::daily, "2026-11-01T17:00:00.000Z",
         {"2026-11-01T05:30:00.000Z", "2026-11-01T06:30:00.000Z", "2026-11-01T07:10:00.000Z"}, "01T05:00 2/2, 01T07:00 1/1"},
        {"a missing 01:00 moves to the gap's end, 01:01 (00:01 became 01:01)", "America/St_Johns", P::daily,
         "2010-03-14T15:00:00.000Z", {"2010-03-14T03:30:30.000Z", "2010-03-14T04:00:00.000Z"}, "14T03:30 1/1, 14T03:31 1/1"},
        {"a day whose midnight is skipped starts at 01:00", "America/Havana", P::custom, "2026-03-08T20:00:00.000Z",
         {"2026-03-08T14:00:00.000Z"}, "08T05:00 1/1"},
    };
    // clang-format on
    for (const auto& c : cases) {
        const testing::ScopedTimeZone zone(c.zone);
        const testing::TempTree folder;
        auto repository =
            std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(folder.root + "/o.sqlite"));
        std::vector<UsageSampleRecord> samples;
        for (const char* time : c.samples) samples.push_back(sample(*ostrelISO8601Date(time), "n", "a", 1, 1));
        repository->insertSamples(samples);
        const Date now = *ostrelISO8601Date(c.now);
        const AnalyticsService analytics(
            repository,
            std::make_shared<const VellCoreBridge>(std::vector<std::string>{}, std::make_shared<CapturingLogSink>()),
            [now] { return now; });
        EXPECT_EQ(text(analytics.overview(c.preset, DateRange{now - hours{20}, now + hours{20}}, {}).trend), c.trend)
            << c.label;
    }
    const testing::ScopedTimeZone berlin("Europe/Berlin");
    const std::vector one{sample(*ostrelISO8601Date("2026-03-10T09:47:30.000Z"), "n", "a", 1, 1)};
    const auto fiveMinutes = aggregateLocally(one, VellBucketSize::fiveMinutes, Calendar::current());
    EXPECT_EQ(text(fiveMinutes.trend), "10T09:45 1/1");  // 10:45 in Berlin
}

// Dense samples across changes of offset, bucketed one by one with the time zone database: the
// aggregation's reuse of offsets must not carry one past a change, for a zone name or a POSIX rule.
TEST(AnalyticsServiceLocalTest, DenseSamplesAcrossChangesLandInTheSameBucketsAsOneByOne) {
    const struct {
        const char* setting;
        const char* zone;  // the same rules in the database
        const char* from;
    } cases[] = {
        {"America/St_Johns", "America/St_Johns", "2010-03-13T12:00:00.000Z"},        // 00:01 -> 01:01
        {"Australia/Lord_Howe", "Australia/Lord_Howe", "2024-10-05T06:00:00.000Z"},  // 02:00 -> 02:30
        {"Australia/Lord_Howe", "Australia/Lord_Howe", "2024-04-06T06:00:00.000Z"},  // 02:00 -> 01:30
        {"CET-1CEST,M3.5.0,M10.5.0/3", "Europe/Berlin", "2026-10-24T12:00:00.000Z"},
        {"America/Havana", "America/Havana", "2026-03-07T12:00:00.000Z"},  // midnight skipped
    };
    for (const auto& c : cases) {
        const testing::ScopedTimeZone zone(c.setting);
        const auto* database = date::locate_zone(c.zone);
        std::vector<UsageSampleRecord> samples;
        for (int i = 0; i < 3000; ++i)
            samples.push_back(sample(*ostrelISO8601Date(c.from) + seconds{37 * i}, "n", "a", i, 1));
        for (const auto size : {VellBucketSize::day, VellBucketSize::hour, VellBucketSize::fiveMinutes}) {
            std::map<Date, TrendPoint> expected;
            for (const auto& s : samples) {
                const auto local = database->to_local(std::chrono::floor<seconds>(s.timestamp));
                using FiveMinutes = std::chrono::duration<std::int64_t, std::ratio<300>>;
                const auto wall = size == VellBucketSize::day    ? std::chrono::floor<date::days>(local)
                                  : size == VellBucketSize::hour ? std::chrono::floor<hours>(local)
                                                                 : std::chrono::floor<FiveMinutes>(local);
                const Date bucket{database->to_sys(wall, date::choose::earliest)};
                auto& point = expected.try_emplace(bucket, TrendPoint{bucket, 0, 0}).first->second;
                point.rxBytes += s.rxBytes;
                point.txBytes += s.txBytes;
            }
            std::vector<TrendPoint> trend;
            for (const auto& [at, point] : expected) trend.push_back(point);
            EXPECT_EQ(aggregateLocally(samples, size, Calendar::current()).trend, trend)
                << c.setting << " from " << c.from << " in buckets " << static_cast<int>(size);
        }
    }
}

}  // namespace
}  // namespace ostrel
