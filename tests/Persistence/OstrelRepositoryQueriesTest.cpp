#include <gtest/gtest.h>

#include <limits>
#include <map>

#include "Persistence/support/PersistenceTestSupport.hpp"

using namespace ostrel;
using namespace ostrel::testing;
using namespace std::chrono;

namespace {

using Ids = std::vector<std::string>;
using Ranking = std::vector<RankedUsage>;

Ids ids(const Ranking& rows) {
    Ids result;
    for (const auto& row : rows) result.push_back(row.id);
    return result;
}

class OstrelRepositoryQueriesTest : public ::testing::Test {
protected:
    TempTree folder;
    ScopedTimeZone zone{"Europe/Berlin"};
    std::shared_ptr<OstrelRepository> repository = openRepository(folder.file("db"));
    DatabaseInspector inspector{folder.file("db")};
    const Date at = berlin(1, 10);
    const DateRange atRange{at, at};

    static Date berlin(unsigned day, int hour, int minute = 0) {
        return localTime("Europe/Berlin", 2026, 3, day, hour, minute);
    }
    void store(const std::string& id, Date when, const std::string& network, const std::string& app, std::int64_t rx,
               std::int64_t tx = 0) {
        repository->insertSamples({makeSample(id, when, network, app, rx, tx)});
    }
};

TEST_F(OstrelRepositoryQueriesTest, RawRangesIncludeBothEndsToTheMillisecondRollupRangesWholeLocalDays) {
    const Date end = at + hours{1} + milliseconds{500};
    store("second day", berlin(2, 12), "net", "app", 5);  // stored first, read back second
    store("before", at - milliseconds{1}, "net", "app", 1);
    store("start", at, "net", "app", 10, 1);
    store("end", end, "net", "app", 100, 2);
    store("after", end + milliseconds{1}, "net", "app", 1000);
    store("late", berlin(2, 23, 50), "office", "web", 20000);
    store("next", berlin(3, 0, 10), "cafe", "web", 300000);

    EXPECT_EQ(repository->fetchSummary({at, end}), (UsageSummary{110, 3}));
    const auto samples = repository->fetchSamples({at, end});
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[0], makeSample("start", at, "net", "app", 10, 1));
    EXPECT_EQ(samples[1].timestamp, end);
    EXPECT_TRUE(repository->fetchSamples({end, at}).empty());
    EXPECT_TRUE(repository->fetchTopNetworks({end, at}, 5).empty());
    EXPECT_EQ(repository->fetchSummaryFromDailyRollup({at + days{1}, at}), (UsageSummary{0, 0}));

    const DateRange aroundMidnight{berlin(1, 23), berlin(2, 1)};
    EXPECT_EQ(repository->fetchSummary(aroundMidnight), (UsageSummary{0, 0}));
    EXPECT_EQ(repository->fetchSummaryFromDailyRollup(aroundMidnight), (UsageSummary{21116, 3}));
    const std::vector<TrendPoint> net{{berlin(1, 0), 1111, 3}, {berlin(2, 0), 5, 0}}, office{{berlin(2, 0), 20000, 0}};
    EXPECT_EQ(repository->fetchTrendFromDailyRollup(aroundMidnight),
              (std::vector<TrendPoint>{net[0], {berlin(2, 0), 20005, 0}}));
    EXPECT_EQ(repository->fetchNetworkTrendMapFromDailyRollup(aroundMidnight),
              (std::map<std::string, std::vector<TrendPoint>>{{"net", net}, {"office", office}}));
    EXPECT_EQ(repository->fetchAppTrendMapFromDailyRollup(aroundMidnight),
              (std::map<std::string, std::vector<TrendPoint>>{{"app", net}, {"web", office}}));
    // Berlin's key for 1 March, read in Tokyo, starts at Tokyo's midnight.
    ScopedTimeZone tokyoZone("Asia/Tokyo");
    const Date tokyo = localTime("Asia/Tokyo", 2026, 3, 1, 0);
    EXPECT_EQ(repository->fetchAppTrendFromDailyRollup("app", {tokyo, tokyo}),
              (std::vector<TrendPoint>{{tokyo, 1111, 3}}));
    EXPECT_EQ(repository->fetchNetworkTrendFromDailyRollup("net", {tokyo, tokyo}),
              (std::vector<TrendPoint>{{tokyo, 1111, 3}}));
}

TEST_F(OstrelRepositoryQueriesTest, StoredTimesOfOtherFormsAreReadAndUnreadableOnesBecomeNow) {
    store("a", at, "net", "app", 1);
    store("b", at, "net", "app", 1);
    inspector.execute("UPDATE usage_samples SET timestamp = '2026-03-01T10:00:00.250+01:00' WHERE id = 'a';");
    inspector.execute("UPDATE usage_samples SET timestamp = '2026-03-01T11:00:00.000 Z' WHERE id = 'b';");
    inspector.execute("UPDATE daily_usage SET date = '2026-03-01x';");
    const Date before = currentDate();
    const auto samples = repository->fetchSamples({berlin(1, 0), berlin(2, 0)});
    const auto trend = repository->fetchTrendFromDailyRollup({at, at + days{1}});
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[0].timestamp, at + milliseconds{250});
    EXPECT_TRUE(samples[1].timestamp >= before && samples[1].timestamp <= currentDate());
    ASSERT_EQ(trend.size(), 1u);
    EXPECT_TRUE(trend[0].timestamp >= before && trend[0].timestamp <= currentDate());
}

TEST_F(OstrelRepositoryQueriesTest, RankingSharesAreFractionsOfTheRowsReturnedUnderCurrentNames) {
    store("1", at, "home", "web", 250, 100);
    store("2", at, "home", "mail", 50);
    store("3", at, "office", "web", 200, 100);
    store("4", at, "cafe", "mail", 100);
    inspector.execute("UPDATE networks SET name = 'Renamed' WHERE id = 'home';");
    EXPECT_EQ(repository->fetchTopNetworks(atRange, 10), (Ranking{{"home", "Renamed", 300, 100, 0.5},
                                                                  {"office", "office name", 200, 100, 0.375},
                                                                  {"cafe", "cafe name", 100, 0, 0.125}}));
    const auto top = repository->fetchTopNetworksFromDailyRollup(atRange, 2);
    EXPECT_EQ(ids(top), (Ids{"home", "office"}));
    EXPECT_DOUBLE_EQ(top[0].share, 4.0 / 7);
    EXPECT_EQ(ids(repository->fetchTopApplications(atRange, 5)), (Ids{"web", "mail"}));
    EXPECT_TRUE(repository->fetchTopApplicationsFromDailyRollup(atRange, 0).empty());

    // Roll-ups whose network or application is gone count only in the summary.
    inspector.execute(
        "INSERT INTO daily_usage VALUES ('2026-03-01', 'home', 'gone', 999, 0),"
        " ('2026-03-01', 'gone', 'web', 999, 0);");
    EXPECT_EQ(ids(repository->fetchTopAppsForNetwork("home", atRange, 5)), (Ids{"web", "mail"}));
    EXPECT_EQ(ids(repository->fetchTopAppsForNetworkFromDailyRollup("home", atRange, 5)), (Ids{"web", "mail"}));
    EXPECT_EQ(repository->fetchTopNetworksForApp("web", atRange, 5),
              (Ranking{{"home", "Renamed", 250, 100, 350.0 / 650}, {"office", "office name", 200, 100, 300.0 / 650}}));
    EXPECT_EQ(repository->fetchTopNetworksForAppFromDailyRollup("web", atRange, 1),
              (Ranking{{"home", "Renamed", 250, 100, 1.0}}));
    EXPECT_EQ(repository->fetchSummaryFromDailyRollup(atRange).rxBytes, 2598);

    store("5", at + hours{1}, "home", "web", 0);
    store("6", at + hours{1}, "office", "web", 0);
    const auto idle = repository->fetchTopNetworks({at + hours{1}, at + hours{1}}, 5);
    ASSERT_EQ(idle.size(), 2u);
    EXPECT_EQ(idle[0].share + idle[1].share, 0.0);
}

TEST_F(OstrelRepositoryQueriesTest, ListsCarrySharesAndLeaveOutIdleEntries) {
    store("1", at, "home", "web", 300, 15);
    store("2", at, "home", "mail", 100);
    store("3", at, "home", "idle", 0);
    store("4", at - days{30}, "old", "past", 50);
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
    repository->setActiveNetwork(lan, at);
    EXPECT_EQ(repository->fetchNetworkIdentity("lan"), lan);
    EXPECT_FALSE(repository->fetchNetworkIdentity("unknown"));
    store("1", at - hours{1}, "wifi", "app", 1);  // a second row marked active, written earlier
    EXPECT_EQ(repository->fetchActiveNetworkIdentity(), lan);
    inspector.execute(
        "UPDATE networks SET last_seen_at = '2026-03-01T10:00:00.001Z', type = 'Ethernet', "
        "resolution_state = 'guessed' WHERE id = 'wifi';");
    EXPECT_EQ(repository->fetchActiveNetworkIdentity(),
              (NetworkIdentity{"wifi", "wifi name", NetworkType::other, true, std::nullopt,
                               NetworkResolutionState::unavailable, "sample", 1}));
    inspector.execute("UPDATE networks SET is_active = 0;");
    EXPECT_FALSE(repository->fetchActiveNetworkIdentity());

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
    store("1", at, "net", "app", std::numeric_limits<std::int64_t>::max());
    store("2", at, "net", "app2", 1);
    EXPECT_THROW(repository->fetchSummary(atRange), SQLiteError);  // SQLite refuses the overflowing sum
    EXPECT_THROW(repository->fetchTopNetworks(atRange, 5), SQLiteError);
    // Per application each sum fits; their shares are taken without overflowing.
    const auto apps = repository->fetchTopApplications(atRange, 5);
    ASSERT_EQ(apps.size(), 2u);
    EXPECT_DOUBLE_EQ(apps[0].share, 1.0);
    EXPECT_GT(apps[1].share, 0.0);
}

}  // namespace
