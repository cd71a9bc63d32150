#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <string>
#include <map>
#include <vector>

#include "Persistence/OstrelRepository.hpp"
#include "Persistence/SQLiteError.hpp"
#include "Persistence/support/PersistenceTestSupport.hpp"

using namespace ostrel;
using namespace ostrel::testing;
using namespace std::chrono;

namespace {

Date utc(int y, unsigned mo, unsigned d, int h, int mi = 0, int s = 0, int ms = 0) {
    return Date{sys_days{year{y} / mo / d} + hours{h} + minutes{mi} + seconds{s} + milliseconds{ms}};
}

class OstrelRepositoryQueriesTest : public ::testing::Test {
protected:
    TemporaryFolder folder;
    std::string path = folder.file("ostrel.sqlite");
    // The provider reads this at every call, so a test can move the user to another zone.
    Calendar zone = Calendar::named("Europe/Berlin");
    std::shared_ptr<OstrelRepository> repository = openRepository(path, [this] { return zone; });
    DatabaseInspector inspector{path};

    Date berlin(int y, unsigned mo, unsigned d, int h, int mi = 0, int s = 0, int ms = 0) {
        return localTime("Europe/Berlin", y, mo, d, h, mi, s, ms);
    }

    void store(const std::string& id, Date at, const std::string& network, const std::string& app, std::int64_t rx,
               std::int64_t tx) {
        repository->insertSamples({makeSample(id, at, network, app, rx, tx)});
    }
};

std::vector<std::string> ids(const std::vector<RankedUsage>& rows) {
    std::vector<std::string> result;
    for (const auto& row : rows) result.push_back(row.id);
    return result;
}

TEST_F(OstrelRepositoryQueriesTest, RawRangeIncludesBothEndsToTheMillisecondAndAReversedOneNothing) {
    const Date start = utc(2026, 3, 1, 10, 0, 0, 0);
    const Date end = utc(2026, 3, 1, 11, 0, 0, 500);
    store("before", start - milliseconds{1}, "net", "app", 1, 0);
    store("start", start, "net", "app", 10, 1);
    store("end", end, "net", "app", 100, 2);
    store("after", end + milliseconds{1}, "net", "app", 1000, 0);

    EXPECT_EQ(repository->fetchSummary({start, end}), (UsageSummary{110, 3}));
    const auto samples = repository->fetchSamples({start, end});
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[0], (UsageSampleRecord{"start", start, "net", "net name", NetworkType::wifi, "app", "app name",
                                             10, 1, "nettop", 0.5}));
    EXPECT_EQ(samples[1].timestamp, end);

    const DateRange reversed{end, start};
    EXPECT_EQ(repository->fetchSummary(reversed), (UsageSummary{0, 0}));
    EXPECT_EQ(repository->fetchSummaryFromDailyRollup({utc(2026, 3, 2, 0), start}), (UsageSummary{0, 0}));
    EXPECT_TRUE(repository->fetchSamples(reversed).empty());
    EXPECT_TRUE(repository->fetchTopNetworks(reversed, 5).empty());
}

TEST_F(OstrelRepositoryQueriesTest, RollupRangeCoversWholeLocalDaysAndTrendMapsOnlyTheirIdentifiers) {
    store("early", berlin(2026, 3, 1, 0, 10), "home", "web", 1, 0);
    store("late", berlin(2026, 3, 2, 23, 50), "office", "web", 20, 0);
    store("next", berlin(2026, 3, 3, 0, 10), "cafe", "chat", 300, 0);
    const DateRange aroundMidnight{berlin(2026, 3, 1, 23, 0), berlin(2026, 3, 2, 1, 0)};
    const Date first = berlin(2026, 3, 1, 0);
    const Date second = berlin(2026, 3, 2, 0);

    EXPECT_EQ(repository->fetchSummary(aroundMidnight), (UsageSummary{0, 0}));
    EXPECT_EQ(repository->fetchSummaryFromDailyRollup(aroundMidnight), (UsageSummary{21, 0}));
    EXPECT_EQ(repository->fetchTrendFromDailyRollup(aroundMidnight),
              (std::vector<TrendPoint>{{first, 1, 0}, {second, 20, 0}}));
    using TrendMap = std::map<std::string, std::vector<TrendPoint>>;
    EXPECT_EQ(repository->fetchNetworkTrendMapFromDailyRollup(aroundMidnight),
              (TrendMap{{"home", {{first, 1, 0}}}, {"office", {{second, 20, 0}}}}));
    EXPECT_EQ(repository->fetchAppTrendMapFromDailyRollup(aroundMidnight),
              (TrendMap{{"web", {{first, 1, 0}, {second, 20, 0}}}}));
}

TEST_F(OstrelRepositoryQueriesTest, TrendPointsStartWhenTheLocalDayBeginsInTheCalendarOfEachCall) {
    store("spring", utc(2024, 3, 30, 23, 30), "net", "app", 5, 5);   // 00:30 CET on 31 March
    store("spring2", utc(2024, 3, 31, 21, 59), "net", "app", 1, 1);  // 23:59 CEST on 31 March
    store("autumn", utc(2024, 10, 27, 22, 30), "net", "app", 7, 0);  // 23:30 CET on 27 October
    EXPECT_EQ(repository->fetchTrendFromDailyRollup({utc(2024, 3, 1, 0), utc(2024, 11, 1, 0)}),
              (std::vector<TrendPoint>{{utc(2024, 3, 30, 23), 6, 6}, {utc(2024, 10, 26, 22), 7, 0}}));

    // Stored under Berlin's 31 March; read in Tokyo that key is Tokyo's midnight.
    zone = Calendar::named("Asia/Tokyo");
    EXPECT_EQ(repository->fetchAppTrendFromDailyRollup("app", {utc(2024, 3, 30, 15), utc(2024, 3, 30, 16)}),
              (std::vector<TrendPoint>{{utc(2024, 3, 30, 15), 6, 6}}));

    zone = Calendar::named("America/Sao_Paulo");  // 4 November 2018 began at 01:00 -02
    store("gap", utc(2018, 11, 4, 15), "net", "app", 3, 4);
    EXPECT_EQ(repository->fetchNetworkTrendFromDailyRollup("net", {utc(2018, 11, 1, 0), utc(2018, 11, 8, 0)}),
              (std::vector<TrendPoint>{{utc(2018, 11, 4, 3), 3, 4}}));
}

TEST_F(OstrelRepositoryQueriesTest, StoredTimesOfOtherFormsAreReadAndUnreadableOnesBecomeNow) {
    store("a", utc(2026, 3, 1, 10), "net", "app", 1, 0);
    store("b", utc(2026, 3, 1, 11), "net", "app", 1, 0);
    store("c", utc(2026, 3, 1, 12), "net", "app", 1, 0);
    inspector.execute("UPDATE usage_samples SET timestamp = '2026-03-01T10:00:00+01:00' WHERE id = 'a';");
    inspector.execute("UPDATE usage_samples SET timestamp = '2026-03-01T11:00:00.250+01:00' WHERE id = 'b';");
    inspector.execute("UPDATE usage_samples SET timestamp = '2026-03-01T12:00:00.000 Z' WHERE id = 'c';");
    inspector.execute("INSERT INTO daily_usage VALUES ('2026-03-05x', 'net', 'app', 5, 5);");

    const Date before = currentDate();
    const auto samples = repository->fetchSamples({utc(2026, 3, 1, 0), utc(2026, 3, 2, 0)});
    const auto trend = repository->fetchTrendFromDailyRollup({utc(2026, 3, 4, 12), utc(2026, 3, 31, 0)});
    const Date after = currentDate();

    ASSERT_EQ(samples.size(), 3u);
    EXPECT_EQ(samples[0].timestamp, utc(2026, 3, 1, 9));
    EXPECT_EQ(samples[1].timestamp, utc(2026, 3, 1, 10, 0, 0, 250));
    EXPECT_EQ(samples[2].id, "c");
    EXPECT_TRUE(samples[2].timestamp >= before && samples[2].timestamp <= after);
    ASSERT_EQ(trend.size(), 1u);
    EXPECT_TRUE(trend[0].timestamp >= before && trend[0].timestamp <= after);
}

TEST_F(OstrelRepositoryQueriesTest, RankingSharesAreFractionsOfTheRowsReturned) {
    const Date at = utc(2026, 3, 1, 10);
    store("1", at, "home", "web", 200, 100);
    store("2", at, "office", "web", 60, 40);
    store("3", at, "cafe", "mail", 100, 0);
    const DateRange range{at, at};

    const auto all = repository->fetchTopNetworks(range, 10);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0], (RankedUsage{"home", "home name", 200, 100, 0.6}));
    EXPECT_DOUBLE_EQ(all[1].share, 0.2);
    EXPECT_DOUBLE_EQ(all[2].share, 0.2);
    const auto top = repository->fetchTopNetworksFromDailyRollup(range, 2);
    ASSERT_EQ(ids(top), (std::vector<std::string>{"home", top[1].id}));
    EXPECT_DOUBLE_EQ(top[0].share, 0.75);
    EXPECT_TRUE(repository->fetchTopApplications(range, 0).empty());
    EXPECT_TRUE(repository->fetchTopApplicationsFromDailyRollup(range, 0).empty());

    store("4", at + hours{1}, "home", "web", 0, 0);
    store("5", at + hours{1}, "office", "web", 0, 0);
    const auto idle = repository->fetchTopNetworks({at + hours{1}, at + hours{1}}, 5);
    ASSERT_EQ(idle.size(), 2u);
    EXPECT_EQ(idle[0].share + idle[1].share, 0.0);
}

TEST_F(OstrelRepositoryQueriesTest, RankingsOfOneEntityTakeCurrentNamesAndSkipOrphanedRollups) {
    const Date at = berlin(2026, 3, 1, 10);
    store("1", at, "home", "web", 10, 0);
    store("2", at, "home", "mail", 30, 0);
    store("3", at, "office", "web", 50, 0);
    inspector.execute("UPDATE networks SET name = 'Renamed' WHERE id = 'home';");
    inspector.execute(
        "INSERT INTO daily_usage VALUES ('2026-03-01', 'home', 'vanished', 999, 0),"
        " ('2026-03-01', 'gone', 'web', 999, 0);");
    const DateRange range{at, at};

    EXPECT_EQ(ids(repository->fetchTopAppsForNetwork("home", range, 5)), (std::vector<std::string>{"mail", "web"}));
    EXPECT_EQ(ids(repository->fetchTopAppsForNetworkFromDailyRollup("home", range, 5)),
              (std::vector<std::string>{"mail", "web"}));
    EXPECT_EQ(
        repository->fetchTopNetworksForApp("web", range, 5),
        (std::vector<RankedUsage>{{"office", "office name", 50, 0, 50.0 / 60}, {"home", "Renamed", 10, 0, 10.0 / 60}}));
    EXPECT_EQ(repository->fetchTopNetworksForAppFromDailyRollup("web", range, 1),
              (std::vector<RankedUsage>{{"office", "office name", 50, 0, 1.0}}));
    EXPECT_EQ(ids(repository->fetchTopNetworksFromDailyRollup(range, 5)), (std::vector<std::string>{"home", "office"}));
    // The summary reads the roll-ups alone, so orphaned rows still count there.
    EXPECT_EQ(repository->fetchSummaryFromDailyRollup(range).rxBytes, 2088);
}

TEST_F(OstrelRepositoryQueriesTest, NetworkListsAndTheActiveNetwork) {
    const Date at = berlin(2026, 3, 1, 10);
    store("1", at, "home", "web", 10, 5);
    store("2", berlin(2026, 2, 1, 10), "old", "web", 7, 0);
    inspector.execute("UPDATE networks SET is_active = 0;");
    inspector.execute("UPDATE networks SET is_active = 1, type = 'satellite' WHERE id = 'old';");
    const DateRange range{at, at};

    const auto raw = repository->fetchNetworkList(range);
    EXPECT_EQ(raw, (std::vector<NetworkListItem>{{"home", "home name", NetworkType::wifi, 15, false, {}},
                                                 {"old", "old name", NetworkType::other, 0, true, {}}}));
    EXPECT_EQ(repository->fetchNetworkListFromDailyRollup(range), raw);
    // Only 1 counts as active, so the idle network leaves the roll-up list.
    inspector.execute("UPDATE networks SET is_active = 2 WHERE id = 'old';");
    EXPECT_FALSE(repository->fetchNetworkList(range)[1].isActive);
    EXPECT_EQ(repository->fetchNetworkListFromDailyRollup(range).size(), 1u);
}

TEST_F(OstrelRepositoryQueriesTest, ApplicationListsLeaveOutZeroTotals) {
    const Date at = berlin(2026, 3, 1, 10);
    store("1", at, "home", "web", 300, 0);
    store("2", at, "home", "mail", 100, 0);
    store("3", at, "home", "idle", 0, 0);
    store("4", berlin(2026, 2, 1, 10), "home", "past", 50, 0);
    repository->upsertApplication({"web", "org.example.Web", "Web", "/usr/share/applications/web.desktop", 0, 0, 0, ""},
                                  at);
    const DateRange range{at, at};

    const auto raw = repository->fetchApplicationList(range);
    ASSERT_EQ(raw.size(), 2u);
    EXPECT_EQ(raw[0], (ApplicationListItem{
                          "web", "org.example.Web", "Web", "/usr/share/applications/web.desktop", 300, 0.75, {}}));
    EXPECT_EQ(raw[1], (ApplicationListItem{"mail", "mail", "mail name", std::nullopt, 100, 0.25, {}}));
    EXPECT_EQ(repository->fetchApplicationListFromDailyRollup(range), raw);

    EXPECT_EQ(repository->fetchApplication("web"),
              (ApplicationListItem{"web", "org.example.Web", "Web", "/usr/share/applications/web.desktop", 0, 0, {}}));
    EXPECT_FALSE(repository->fetchApplication("Web"));
}

TEST_F(OstrelRepositoryQueriesTest, NetworkIdentitiesWithFallbacksAndTheActiveOneWrittenLast) {
    EXPECT_FALSE(repository->fetchActiveNetworkIdentity());
    const NetworkIdentity lan{
        "lan", "Office LAN", NetworkType::ethernet, true, "eth0", NetworkResolutionState::resolved, "route", 0.9};
    repository->setActiveNetwork(lan, utc(2026, 3, 1, 10));
    EXPECT_EQ(repository->fetchNetworkIdentity("lan"), lan);
    EXPECT_FALSE(repository->fetchNetworkIdentity("unknown"));

    store("1", utc(2026, 3, 1, 9), "wifi", "app", 1, 0);  // marks a second row active, written earlier
    EXPECT_EQ(repository->fetchActiveNetworkIdentity(), lan);
    inspector.execute(
        "UPDATE networks SET last_seen_at = '2026-03-01T10:00:00.001Z', type = 'Ethernet', "
        "resolution_state = 'guessed' WHERE id = 'wifi';");
    const auto active = repository->fetchActiveNetworkIdentity();
    ASSERT_TRUE(active);
    EXPECT_EQ(active->id, "wifi");
    EXPECT_EQ(active->type, NetworkType::other);
    EXPECT_EQ(active->resolutionState, NetworkResolutionState::unavailable);
    EXPECT_FALSE(active->interfaceName);
    inspector.execute("UPDATE networks SET is_active = 0;");
    EXPECT_FALSE(repository->fetchActiveNetworkIdentity());
}

TEST_F(OstrelRepositoryQueriesTest, LatestThresholdLevelOfATimeframe) {
    EXPECT_FALSE(repository->fetchLatestThresholdLevel(TimeframePreset::daily));
    inspector.execute(
        "INSERT INTO threshold_events VALUES ('1', '2026-03-01T10:00:00.000Z', 'danger', 10, 'daily', 1),"
        " ('2', '2026-03-01T11:00:00.000Z', 'warning', 5, 'daily', 0),"
        " ('3', '2026-03-01T12:00:00.000Z', 'danger', 5, 'weekly', 0);");
    EXPECT_EQ(repository->fetchLatestThresholdLevel(TimeframePreset::daily), AlertLevel::warning);
    EXPECT_EQ(repository->fetchLatestThresholdLevel(TimeframePreset::weekly), AlertLevel::danger);
    EXPECT_FALSE(repository->fetchLatestThresholdLevel(TimeframePreset::monthly));
    inspector.execute("UPDATE threshold_events SET level = 'Warning' WHERE id = '2';");
    EXPECT_FALSE(repository->fetchLatestThresholdLevel(TimeframePreset::daily));
}

TEST_F(OstrelRepositoryQueriesTest, FailuresArePassedOnWithoutPartialResults) {
    const Date at = utc(2026, 3, 1, 10);
    store("1", at, "net", "app", std::numeric_limits<std::int64_t>::max(), 0);
    store("2", at, "net", "app2", 1, 0);
    EXPECT_THROW(repository->fetchSummary({at, at}), SQLiteError);  // SQLite refuses the overflowing sum
    EXPECT_THROW(repository->fetchTopNetworks({at, at}, 5), SQLiteError);
    // Per application each sum fits; their shares are taken without overflowing.
    const auto apps = repository->fetchTopApplications({at, at}, 5);
    ASSERT_EQ(apps.size(), 2u);
    EXPECT_DOUBLE_EQ(apps[0].share, 1.0);
    EXPECT_GT(apps[1].share, 0.0);
    inspector.execute("DROP TABLE threshold_events;");
    EXPECT_THROW(repository->fetchLatestThresholdLevel(TimeframePreset::daily), SQLiteError);
}

TEST(OstrelRepositoryQueriesNullTest, NullsInANetworkRowReadAsFallbacks) {
    TemporaryFolder folder;
    const std::string path = folder.file("ostrel.sqlite");
    {
        // Tables as another program might have left them, without the NOT NULL constraints.
        DatabaseInspector early(path);
        early.execute(
            "CREATE TABLE networks (id TEXT PRIMARY KEY, name TEXT, type TEXT, interface_name TEXT, "
            "resolution_state TEXT, resolution_source TEXT, resolution_confidence REAL, last_seen_at TEXT, "
            "is_active INTEGER);");
    }
    auto repository = openRepository(path, [] { return Calendar::named("UTC"); });
    DatabaseInspector inspector(path);
    inspector.execute(
        "INSERT INTO networks VALUES ('n', NULL, NULL, NULL, NULL, NULL, NULL, "
        "'2026-03-01T10:00:00.000Z', 1);");

    const auto identity = repository->fetchActiveNetworkIdentity();
    ASSERT_TRUE(identity);
    EXPECT_EQ(*identity, (NetworkIdentity{"n", "", NetworkType::other, true, std::nullopt,
                                          NetworkResolutionState::unavailable, "unknown", 0}));
}

}  // namespace
