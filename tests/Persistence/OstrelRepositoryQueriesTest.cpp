#include <gtest/gtest.h>

#include <limits>
#include <map>

#include "Persistence/support/PersistenceTestSupport.hpp"

using namespace ostrel;
using namespace ostrel::testing;
using namespace std::chrono;

namespace {

using Ids = std::vector<std::string>;
using TrendMap = std::map<std::string, std::vector<TrendPoint>>;

Date utc(int y, unsigned mo, unsigned d, int h, int mi = 0, int s = 0, int ms = 0) {
    return localTime("UTC", y, mo, d, h, mi, s, ms);
}

Ids ids(const std::vector<RankedUsage>& rows) {
    Ids result;
    for (const auto& row : rows) result.push_back(row.id);
    return result;
}

class OstrelRepositoryQueriesTest : public ::testing::Test {
protected:
    TemporaryFolder folder;
    std::string path = folder.file("ostrel.sqlite");
    // Read at every call, so a test can move the user to another zone.
    Calendar zone = Calendar::named("Europe/Berlin");
    std::shared_ptr<OstrelRepository> repository = openRepository(path, [this] { return zone; });
    DatabaseInspector inspector{path};
    const Date at = berlin(2026, 3, 1, 10);
    const DateRange atRange{at, at};

    static Date berlin(int y, unsigned mo, unsigned d, int h, int mi = 0) {
        return localTime("Europe/Berlin", y, mo, d, h, mi);
    }
    void store(const std::string& id, Date when, const std::string& network, const std::string& app, std::int64_t rx,
               std::int64_t tx = 0) {
        repository->insertSamples({makeSample(id, when, network, app, rx, tx)});
    }
};

TEST_F(OstrelRepositoryQueriesTest, RawRangeIncludesBothEndsToTheMillisecondAndAReversedOneNothing) {
    const Date end = at + hours{1} + milliseconds{500};
    store("before", at - milliseconds{1}, "net", "app", 1);
    store("start", at, "net", "app", 10, 1);
    store("end", end, "net", "app", 100, 2);
    store("after", end + milliseconds{1}, "net", "app", 1000);

    EXPECT_EQ(repository->fetchSummary({at, end}), (UsageSummary{110, 3}));
    const auto samples = repository->fetchSamples({at, end});
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[0], makeSample("start", at, "net", "app", 10, 1));
    EXPECT_EQ(samples[1].timestamp, end);
    EXPECT_EQ(repository->fetchSummary({end, at}), (UsageSummary{0, 0}));
    EXPECT_EQ(repository->fetchSummaryFromDailyRollup({at + days{1}, at}), (UsageSummary{0, 0}));
    EXPECT_TRUE(repository->fetchSamples({end, at}).empty());
    EXPECT_TRUE(repository->fetchTopNetworks({end, at}, 5).empty());
}

// Roll-up ranges cover whole local days; each trend point starts when its day began in the
// calendar of the call (23 or 25 hours long, or without a midnight).
TEST_F(OstrelRepositoryQueriesTest, RollupRangesAndTrendPointsFollowLocalDays) {
    store("early", berlin(2026, 3, 1, 0, 10), "home", "web", 1);
    store("late", berlin(2026, 3, 2, 23, 50), "office", "web", 20);
    store("next", berlin(2026, 3, 3, 0, 10), "cafe", "chat", 300);
    const DateRange aroundMidnight{berlin(2026, 3, 1, 23), berlin(2026, 3, 2, 1)};
    const Date first = berlin(2026, 3, 1, 0);
    const Date second = berlin(2026, 3, 2, 0);
    EXPECT_EQ(repository->fetchSummary(aroundMidnight), (UsageSummary{0, 0}));
    EXPECT_EQ(repository->fetchSummaryFromDailyRollup(aroundMidnight), (UsageSummary{21, 0}));
    EXPECT_EQ(repository->fetchTrendFromDailyRollup(aroundMidnight),
              (std::vector<TrendPoint>{{first, 1, 0}, {second, 20, 0}}));
    EXPECT_EQ(repository->fetchNetworkTrendMapFromDailyRollup(aroundMidnight),
              (TrendMap{{"home", {{first, 1, 0}}}, {"office", {{second, 20, 0}}}}));
    EXPECT_EQ(repository->fetchAppTrendMapFromDailyRollup(aroundMidnight),
              (TrendMap{{"web", {{first, 1, 0}, {second, 20, 0}}}}));

    repository->clearAllData();
    store("spring", utc(2024, 3, 30, 23, 30), "net", "app", 5, 5);   // 00:30 CET on 31 March
    store("spring2", utc(2024, 3, 31, 21, 59), "net", "app", 1, 1);  // 23:59 CEST on 31 March
    store("autumn", utc(2024, 10, 27, 22, 30), "net", "app", 7);     // 23:30 CET on 27 October
    EXPECT_EQ(repository->fetchTrendFromDailyRollup({utc(2024, 3, 1, 0), utc(2024, 11, 1, 0)}),
              (std::vector<TrendPoint>{{utc(2024, 3, 30, 23), 6, 6}, {utc(2024, 10, 26, 22), 7, 0}}));
    zone = Calendar::named("Asia/Tokyo");  // the key stored for Berlin's 31 March is now Tokyo's
    EXPECT_EQ(repository->fetchAppTrendFromDailyRollup("app", {utc(2024, 3, 30, 15), utc(2024, 3, 30, 16)}),
              (std::vector<TrendPoint>{{utc(2024, 3, 30, 15), 6, 6}}));
    zone = Calendar::named("America/Sao_Paulo");  // 4 November 2018 began at 01:00 -02
    store("gap", utc(2018, 11, 4, 15), "net", "app", 3, 4);
    EXPECT_EQ(repository->fetchNetworkTrendFromDailyRollup("net", {utc(2018, 11, 1, 0), utc(2018, 11, 8, 0)}),
              (std::vector<TrendPoint>{{utc(2018, 11, 4, 3), 3, 4}}));
}

TEST_F(OstrelRepositoryQueriesTest, StoredTimesOfOtherFormsAreReadAndUnreadableOnesBecomeNow) {
    store("a", utc(2026, 3, 1, 10), "net", "app", 1);
    store("b", utc(2026, 3, 1, 11), "net", "app", 1);
    inspector.execute("UPDATE usage_samples SET timestamp = '2026-03-01T10:00:00.250+01:00' WHERE id = 'a';");
    inspector.execute("UPDATE usage_samples SET timestamp = '2026-03-01T11:00:00.000 Z' WHERE id = 'b';");
    inspector.execute("INSERT INTO daily_usage VALUES ('2026-03-05x', 'net', 'app', 5, 5);");

    const Date before = currentDate();
    const auto samples = repository->fetchSamples({utc(2026, 3, 1, 0), utc(2026, 3, 2, 0)});
    const auto trend = repository->fetchTrendFromDailyRollup({utc(2026, 3, 4, 12), utc(2026, 3, 31, 0)});
    const Date after = currentDate();
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[0].timestamp, utc(2026, 3, 1, 9, 0, 0, 250));
    EXPECT_TRUE(samples[1].timestamp >= before && samples[1].timestamp <= after);
    ASSERT_EQ(trend.size(), 1u);
    EXPECT_TRUE(trend[0].timestamp >= before && trend[0].timestamp <= after);
}

TEST_F(OstrelRepositoryQueriesTest, RankingSharesAreFractionsOfTheRowsReturned) {
    store("1", at, "home", "web", 200, 100);
    store("2", at, "office", "web", 60, 40);
    store("3", at, "cafe", "mail", 100);
    const auto all = repository->fetchTopNetworks(atRange, 10);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0], (RankedUsage{"home", "home name", 200, 100, 0.6}));
    EXPECT_DOUBLE_EQ(all[1].share + all[2].share, 0.4);
    const auto top = repository->fetchTopNetworksFromDailyRollup(atRange, 2);
    ASSERT_EQ(top.size(), 2u);
    EXPECT_DOUBLE_EQ(top[0].share, 0.75);
    EXPECT_TRUE(repository->fetchTopApplications(atRange, 0).empty());
    EXPECT_TRUE(repository->fetchTopApplicationsFromDailyRollup(atRange, 0).empty());
    store("4", at + hours{1}, "home", "web", 0);
    store("5", at + hours{1}, "office", "web", 0);
    const auto idle = repository->fetchTopNetworks({at + hours{1}, at + hours{1}}, 5);
    ASSERT_EQ(idle.size(), 2u);
    EXPECT_EQ(idle[0].share + idle[1].share, 0.0);

    // Rankings of one entity take current names and skip roll-ups whose rows are gone.
    repository->clearAllData();
    store("1", at, "home", "web", 10);
    store("2", at, "home", "mail", 30);
    store("3", at, "office", "web", 50);
    inspector.execute("UPDATE networks SET name = 'Renamed' WHERE id = 'home';");
    inspector.execute("INSERT INTO daily_usage VALUES ('2026-03-01', 'home', 'gone', 999, 0),"
                      " ('2026-03-01', 'gone', 'web', 999, 0);");
    EXPECT_EQ(ids(repository->fetchTopAppsForNetwork("home", atRange, 5)), (Ids{"mail", "web"}));
    EXPECT_EQ(ids(repository->fetchTopAppsForNetworkFromDailyRollup("home", atRange, 5)), (Ids{"mail", "web"}));
    EXPECT_EQ(repository->fetchTopNetworksForApp("web", atRange, 5),
              (std::vector<RankedUsage>{{"office", "office name", 50, 0, 50.0 / 60}, {"home", "Renamed", 10, 0, 10.0 / 60}}));
    EXPECT_EQ(repository->fetchTopNetworksForAppFromDailyRollup("web", atRange, 1),
              (std::vector<RankedUsage>{{"office", "office name", 50, 0, 1.0}}));
    EXPECT_EQ(ids(repository->fetchTopNetworksFromDailyRollup(atRange, 5)), (Ids{"home", "office"}));
    EXPECT_EQ(repository->fetchSummaryFromDailyRollup(atRange).rxBytes, 2088);  // roll-ups alone
}

TEST_F(OstrelRepositoryQueriesTest, ListsCarrySharesAndLeaveOutIdleEntries) {
    store("1", at, "home", "web", 300, 15);
    store("2", at, "home", "mail", 100);
    store("3", at, "home", "idle", 0);
    store("4", berlin(2026, 2, 1, 10), "old", "past", 50);
    inspector.execute("UPDATE networks SET is_active = 1, type = 'satellite' WHERE id = 'old';");
    inspector.execute("UPDATE networks SET is_active = 0 WHERE id = 'home';");
    repository->upsertApplication({"web", "org.example.Web", "Web", "/apps/web.desktop", 0, 0, 0, ""}, at);

    const auto networks = repository->fetchNetworkList(atRange);
    EXPECT_EQ(networks, (std::vector<NetworkListItem>{{"home", "home name", NetworkType::wifi, 415, false, {}},
                                                      {"old", "old name", NetworkType::other, 0, true, {}}}));
    EXPECT_EQ(repository->fetchNetworkListFromDailyRollup(atRange), networks);
    // Only 1 counts as active, so the idle network leaves the roll-up list.
    inspector.execute("UPDATE networks SET is_active = 2 WHERE id = 'old';");
    EXPECT_FALSE(repository->fetchNetworkList(atRange)[1].isActive);
    EXPECT_EQ(repository->fetchNetworkListFromDailyRollup(atRange).size(), 1u);

    const auto apps = repository->fetchApplicationList(atRange);
    EXPECT_EQ(apps, (std::vector<ApplicationListItem>{
                        {"web", "org.example.Web", "Web", "/apps/web.desktop", 315, 315.0 / 415, {}},
                        {"mail", "mail", "mail name", std::nullopt, 100, 100.0 / 415, {}}}));
    EXPECT_EQ(repository->fetchApplicationListFromDailyRollup(atRange), apps);
    EXPECT_EQ(repository->fetchApplication("web"),
              (ApplicationListItem{"web", "org.example.Web", "Web", "/apps/web.desktop", 0, 0, {}}));
    EXPECT_FALSE(repository->fetchApplication("Web"));
}

TEST_F(OstrelRepositoryQueriesTest, UnknownStoredTextsReadAsFallbacks) {
    EXPECT_FALSE(repository->fetchActiveNetworkIdentity());
    const NetworkIdentity lan{
        "lan", "Office LAN", NetworkType::ethernet, true, "eth0", NetworkResolutionState::resolved, "route", 0.9};
    repository->setActiveNetwork(lan, utc(2026, 3, 1, 10));
    EXPECT_EQ(repository->fetchNetworkIdentity("lan"), lan);
    EXPECT_FALSE(repository->fetchNetworkIdentity("unknown"));
    store("1", utc(2026, 3, 1, 9), "wifi", "app", 1);  // a second row marked active, written earlier
    EXPECT_EQ(repository->fetchActiveNetworkIdentity(), lan);
    inspector.execute("UPDATE networks SET last_seen_at = '2026-03-01T10:00:00.001Z', type = 'Ethernet', "
                      "resolution_state = 'guessed' WHERE id = 'wifi';");
    EXPECT_EQ(repository->fetchActiveNetworkIdentity(),
              (NetworkIdentity{"wifi", "wifi name", NetworkType::other, true, std::nullopt,
                               NetworkResolutionState::unavailable, "sample", 1}));
    inspector.execute("UPDATE networks SET is_active = 0;");
    EXPECT_FALSE(repository->fetchActiveNetworkIdentity());

    EXPECT_FALSE(repository->fetchLatestThresholdLevel(TimeframePreset::daily));
    inspector.execute("INSERT INTO threshold_events VALUES ('1', '2026-03-01T10:00:00.000Z', 'danger', 10, 'daily', 1),"
                      " ('2', '2026-03-01T11:00:00.000Z', 'warning', 5, 'daily', 0),"
                      " ('3', '2026-03-01T12:00:00.000Z', 'danger', 5, 'weekly', 0);");
    EXPECT_EQ(repository->fetchLatestThresholdLevel(TimeframePreset::daily), AlertLevel::warning);
    EXPECT_EQ(repository->fetchLatestThresholdLevel(TimeframePreset::weekly), AlertLevel::danger);
    EXPECT_FALSE(repository->fetchLatestThresholdLevel(TimeframePreset::monthly));
    inspector.execute("UPDATE threshold_events SET level = 'Warning' WHERE id = '2';");
    EXPECT_FALSE(repository->fetchLatestThresholdLevel(TimeframePreset::daily));
}

TEST(OstrelRepositoryQueriesNullTest, NullsInANetworkRowReadAsFallbacks) {
    TemporaryFolder folder;
    DatabaseInspector inspector(folder.file("ostrel.sqlite"));
    // A table as another program might have left it, without the NOT NULL constraints.
    inspector.execute("CREATE TABLE networks (id TEXT PRIMARY KEY, name TEXT, type TEXT, interface_name TEXT, "
                      "resolution_state TEXT, resolution_source TEXT, resolution_confidence REAL, last_seen_at TEXT, "
                      "is_active INTEGER);");
    auto repository = openRepository(folder.file("ostrel.sqlite"));
    inspector.execute("INSERT INTO networks VALUES ('n', NULL, NULL, NULL, NULL, NULL, NULL, 'T', 1);");
    EXPECT_EQ(repository->fetchActiveNetworkIdentity(),
              (NetworkIdentity{"n", "", NetworkType::other, true, std::nullopt, NetworkResolutionState::unavailable,
                               "unknown", 0}));
}

TEST_F(OstrelRepositoryQueriesTest, FailuresArePassedOnWithoutPartialResults) {
    store("1", at, "net", "app", std::numeric_limits<std::int64_t>::max());
    store("2", at, "net", "app2", 1);
    EXPECT_THROW(repository->fetchSummary(atRange), SQLiteError);  // SQLite refuses the overflowing sum
    EXPECT_THROW(repository->fetchTopNetworks(atRange, 5), SQLiteError);
    // Per application each sum fits; their shares are taken without overflowing.
    const auto apps = repository->fetchTopApplications(atRange, 5);
    ASSERT_EQ(apps.size(), 2u);
    EXPECT_DOUBLE_EQ(apps[0].share, 1.0);
    EXPECT_GT(apps[1].share, 0.0);
    inspector.execute("DROP TABLE threshold_events;");
    EXPECT_THROW(repository->fetchLatestThresholdLevel(TimeframePreset::daily), SQLiteError);
}

}  // namespace
