#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "Model/Iso8601.hpp"
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

// MARK: Range bounds

TEST_F(OstrelRepositoryQueriesTest, RawRangeIncludesBothEndsToTheMillisecond) {
    const Date start = utc(2026, 3, 1, 10, 0, 0, 0);
    const Date end = utc(2026, 3, 1, 11, 0, 0, 500);
    store("before", start - milliseconds{1}, "net", "app", 1, 0);
    store("start", start, "net", "app", 10, 1);
    store("end", end, "net", "app", 100, 2);
    store("after", end + milliseconds{1}, "net", "app", 1000, 0);

    EXPECT_EQ(repository->fetchSummary({start, end}), (UsageSummary{110, 3}));
    const auto samples = repository->fetchSamples({start, end});
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[0], (UsageSampleRecord{"start", start, "net", "net name", NetworkType::wifi, "app", "app name", 10,
                                             1, "nettop", 0.5}));
    EXPECT_EQ(samples[1].id, "end");
    EXPECT_EQ(samples[1].timestamp, end);
}

TEST_F(OstrelRepositoryQueriesTest, ReversedRangeFindsNothing) {
    store("a", utc(2026, 3, 1, 10), "net", "app", 10, 1);
    const DateRange reversed{utc(2026, 3, 2, 0), utc(2026, 2, 28, 0)};
    EXPECT_EQ(repository->fetchSummary(reversed), (UsageSummary{0, 0}));
    EXPECT_EQ(repository->fetchSummaryFromDailyRollup(reversed), (UsageSummary{0, 0}));
    EXPECT_TRUE(repository->fetchSamples(reversed).empty());
    EXPECT_TRUE(repository->fetchTrendFromDailyRollup(reversed).empty());
    EXPECT_TRUE(repository->fetchTopNetworks(reversed, 5).empty());
    EXPECT_TRUE(repository->fetchTopApplicationsFromDailyRollup(reversed, 5).empty());
    EXPECT_TRUE(repository->fetchApplicationList(reversed).empty());
    const auto networks = repository->fetchNetworkList(reversed);
    ASSERT_EQ(networks.size(), 1u);
    EXPECT_EQ(networks[0].totalBytes, 0);
}

TEST_F(OstrelRepositoryQueriesTest, RollupRangeCoversWholeLocalDays) {
    store("early", berlin(2026, 3, 1, 0, 10), "net", "app", 1, 0);
    store("late", berlin(2026, 3, 2, 23, 50), "net", "app", 20, 0);
    store("next", berlin(2026, 3, 3, 0, 10), "net", "app", 300, 0);
    const DateRange aroundMidnight{berlin(2026, 3, 1, 23, 0), berlin(2026, 3, 2, 1, 0)};

    EXPECT_EQ(repository->fetchSummary(aroundMidnight), (UsageSummary{0, 0}));
    EXPECT_EQ(repository->fetchSummaryFromDailyRollup(aroundMidnight), (UsageSummary{21, 0}));
    EXPECT_EQ(repository->fetchTrendFromDailyRollup(aroundMidnight),
              (std::vector<TrendPoint>{{berlin(2026, 3, 1, 0), 1, 0}, {berlin(2026, 3, 2, 0), 20, 0}}));
}

// MARK: Day keys and trends

TEST_F(OstrelRepositoryQueriesTest, TrendPointsStartAtLocalMidnightAcrossDaylightSavingChanges) {
    store("spring", utc(2024, 3, 30, 23, 30), "net", "app", 5, 5);  // 00:30 CET on 31 March
    store("spring2", utc(2024, 3, 31, 21, 59), "net", "app", 1, 1);  // 23:59 CEST on 31 March
    store("autumn", utc(2024, 10, 27, 22, 30), "net", "app", 7, 0);  // 23:30 CET on 27 October
    const auto trend = repository->fetchTrendFromDailyRollup({utc(2024, 3, 1, 0), utc(2024, 11, 1, 0)});
    EXPECT_EQ(trend, (std::vector<TrendPoint>{{utc(2024, 3, 30, 23), 6, 6}, {utc(2024, 10, 26, 22), 7, 0}}));
}

TEST_F(OstrelRepositoryQueriesTest, DayWithoutMidnightStartsWhenItBegins) {
    zone = Calendar::named("America/Sao_Paulo");
    store("gap", utc(2018, 11, 4, 15), "net", "app", 3, 4);
    const auto trend = repository->fetchNetworkTrendFromDailyRollup("net", {utc(2018, 11, 1, 0), utc(2018, 11, 8, 0)});
    EXPECT_EQ(trend, (std::vector<TrendPoint>{{utc(2018, 11, 4, 3), 3, 4}}));  // 01:00 -02
}

TEST_F(OstrelRepositoryQueriesTest, KeysAndDaysFollowTheCalendarOfEachCall) {
    store("a", utc(2026, 3, 1, 23, 30), "net", "app", 9, 0);  // stored under Berlin's 2 March
    zone = Calendar::named("Asia/Tokyo");
    // In Tokyo the range is 2 March; the key "2026-03-02" is read back as Tokyo's midnight.
    const auto trend = repository->fetchAppTrendFromDailyRollup("app", {utc(2026, 3, 1, 15), utc(2026, 3, 1, 16)});
    EXPECT_EQ(trend, (std::vector<TrendPoint>{{utc(2026, 3, 1, 15), 9, 0}}));
}

TEST_F(OstrelRepositoryQueriesTest, TrendsOfOneNetworkOrApplicationAndTrendMaps) {
    store("1", berlin(2026, 3, 2, 12), "home", "mail", 1, 0);
    store("2", berlin(2026, 3, 1, 12), "home", "web", 2, 0);
    store("3", berlin(2026, 3, 2, 13), "office", "web", 4, 0);
    store("4", berlin(2026, 2, 20, 12), "cafe", "chat", 8, 0);  // outside the range
    const DateRange march{berlin(2026, 3, 1, 8), berlin(2026, 3, 2, 8)};

    EXPECT_EQ(repository->fetchNetworkTrendFromDailyRollup("home", march),
              (std::vector<TrendPoint>{{berlin(2026, 3, 1, 0), 2, 0}, {berlin(2026, 3, 2, 0), 1, 0}}));
    EXPECT_EQ(repository->fetchAppTrendFromDailyRollup("web", march),
              (std::vector<TrendPoint>{{berlin(2026, 3, 1, 0), 2, 0}, {berlin(2026, 3, 2, 0), 4, 0}}));
    EXPECT_TRUE(repository->fetchAppTrendFromDailyRollup("chat", march).empty());

    const auto networks = repository->fetchNetworkTrendMapFromDailyRollup(march);
    EXPECT_EQ(networks, (std::map<std::string, std::vector<TrendPoint>>{
                            {"home", {{berlin(2026, 3, 1, 0), 2, 0}, {berlin(2026, 3, 2, 0), 1, 0}}},
                            {"office", {{berlin(2026, 3, 2, 0), 4, 0}}}}));
    const auto apps = repository->fetchAppTrendMapFromDailyRollup(march);
    EXPECT_EQ(apps, (std::map<std::string, std::vector<TrendPoint>>{
                        {"mail", {{berlin(2026, 3, 2, 0), 1, 0}}},
                        {"web", {{berlin(2026, 3, 1, 0), 2, 0}, {berlin(2026, 3, 2, 0), 4, 0}}}}));
    EXPECT_TRUE(repository->fetchAppTrendMapFromDailyRollup({utc(2020, 1, 1, 0), utc(2020, 1, 2, 0)}).empty());
}

TEST_F(OstrelRepositoryQueriesTest, UnreadableStoredTimesBecomeNow) {
    store("a", utc(2026, 3, 1, 10), "net", "app", 1, 0);
    store("b", utc(2026, 3, 1, 11), "net", "app", 1, 0);
    store("c", utc(2026, 3, 1, 12), "net", "app", 1, 0);
    inspector.execute("UPDATE usage_samples SET timestamp = '2026-03-01T10:00:00+01:00' WHERE id = 'a';");
    inspector.execute("UPDATE usage_samples SET timestamp = '2026-03-01T11:00:00.000+01:00' WHERE id = 'b';");
    inspector.execute("INSERT INTO daily_usage VALUES ('2026-03-05x', 'net', 'app', 5, 5);");

    const Date before = currentDate();
    const auto samples = repository->fetchSamples({utc(2026, 3, 1, 0), utc(2026, 3, 2, 0)});
    const auto trend = repository->fetchTrendFromDailyRollup({utc(2026, 3, 4, 12), utc(2026, 3, 31, 0)});
    const Date after = currentDate();

    ASSERT_EQ(samples.size(), 3u);
    EXPECT_EQ(samples[0].timestamp, utc(2026, 3, 1, 9));  // without a fraction, with an offset
    EXPECT_EQ(samples[1].id, "b");
    EXPECT_GE(samples[1].timestamp, before);
    EXPECT_LE(samples[1].timestamp, after);
    ASSERT_EQ(trend.size(), 1u);
    EXPECT_GE(trend[0].timestamp, before);
    EXPECT_LE(trend[0].timestamp, after);
    EXPECT_EQ(trend[0].rxBytes, 5);
}

// MARK: Rankings

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
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(top[0].id, "home");
    EXPECT_DOUBLE_EQ(top[0].share, 0.75);
    EXPECT_DOUBLE_EQ(top[1].share, 0.25);

    EXPECT_TRUE(repository->fetchTopApplications(range, 0).empty());
    EXPECT_TRUE(repository->fetchTopApplicationsFromDailyRollup(range, 0).empty());
    EXPECT_EQ(repository->fetchTopApplications(range, 5),
              (std::vector<RankedUsage>{{"web", "web name", 260, 140, 0.8}, {"mail", "mail name", 100, 0, 0.2}}));
}

TEST_F(OstrelRepositoryQueriesTest, RankingOfZeroTrafficHasZeroShares) {
    const Date at = utc(2026, 3, 1, 10);
    store("1", at, "home", "web", 0, 0);
    store("2", at, "office", "web", 0, 0);
    for (const auto& row : repository->fetchTopNetworks({at, at}, 5)) {
        EXPECT_EQ(row.share, 0.0) << row.id;
    }
    EXPECT_EQ(repository->fetchTopNetworks({at, at}, 5).size(), 2u);
}

TEST_F(OstrelRepositoryQueriesTest, RankingsOfOneNetworkOrOneApplication) {
    const Date at = berlin(2026, 3, 1, 10);
    store("1", at, "home", "web", 10, 0);
    store("2", at, "home", "mail", 30, 0);
    store("3", at, "office", "web", 50, 0);
    const DateRange range{at, at};

    EXPECT_EQ(ids(repository->fetchTopAppsForNetwork("home", range, 5)), (std::vector<std::string>{"mail", "web"}));
    EXPECT_EQ(ids(repository->fetchTopAppsForNetworkFromDailyRollup("home", range, 5)),
              (std::vector<std::string>{"mail", "web"}));
    EXPECT_EQ(ids(repository->fetchTopNetworksForApp("web", range, 5)), (std::vector<std::string>{"office", "home"}));
    EXPECT_EQ(ids(repository->fetchTopNetworksForAppFromDailyRollup("web", range, 1)),
              (std::vector<std::string>{"office"}));
    EXPECT_DOUBLE_EQ(repository->fetchTopNetworksForAppFromDailyRollup("web", range, 1)[0].share, 1.0);
    EXPECT_TRUE(repository->fetchTopAppsForNetwork("nowhere", range, 5).empty());
}

TEST_F(OstrelRepositoryQueriesTest, RankingsShowTheCurrentNameAndSkipRollupsOfRemovedRows) {
    const Date at = berlin(2026, 3, 1, 10);
    store("1", at, "home", "web", 10, 0);
    inspector.execute("UPDATE networks SET name = 'Renamed' WHERE id = 'home';");
    inspector.execute("INSERT INTO daily_usage VALUES ('2026-03-01', 'gone', 'vanished', 999, 0);");

    EXPECT_EQ(repository->fetchTopNetworks({at, at}, 5)[0].title, "Renamed");
    const auto networks = repository->fetchTopNetworksFromDailyRollup({at, at}, 5);
    EXPECT_EQ(ids(networks), (std::vector<std::string>{"home"}));
    EXPECT_EQ(networks[0].title, "Renamed");
    EXPECT_EQ(ids(repository->fetchTopApplicationsFromDailyRollup({at, at}, 5)), (std::vector<std::string>{"web"}));
    // The summary reads the roll-ups alone, so the orphaned row still counts there.
    EXPECT_EQ(repository->fetchSummaryFromDailyRollup({at, at}).rxBytes, 1009);
}

// MARK: Lists

TEST_F(OstrelRepositoryQueriesTest, NetworkListsAndTheActiveNetwork) {
    const Date at = berlin(2026, 3, 1, 10);
    store("1", at, "home", "web", 10, 5);
    store("2", berlin(2026, 2, 1, 10), "old", "web", 7, 0);
    inspector.execute("UPDATE networks SET is_active = 0;");
    inspector.execute("UPDATE networks SET is_active = 1, type = 'satellite' WHERE id = 'old';");
    const DateRange range{at, at};

    const auto raw = repository->fetchNetworkList(range);
    ASSERT_EQ(raw.size(), 2u);
    EXPECT_EQ(raw[0], (NetworkListItem{"home", "home name", NetworkType::wifi, 15, false, {}}));
    EXPECT_EQ(raw[1], (NetworkListItem{"old", "old name", NetworkType::other, 0, true, {}}));

    EXPECT_EQ(repository->fetchNetworkListFromDailyRollup(range), raw);
    inspector.execute("UPDATE networks SET is_active = 0;");
    const auto rolledUp = repository->fetchNetworkListFromDailyRollup(range);
    ASSERT_EQ(rolledUp.size(), 1u);
    EXPECT_EQ(rolledUp[0].id, "home");
    // Only 1 counts as active.
    inspector.execute("UPDATE networks SET is_active = 2 WHERE id = 'old';");
    EXPECT_FALSE(repository->fetchNetworkList(range)[1].isActive);
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
    EXPECT_EQ(raw[0], (ApplicationListItem{"web", "org.example.Web", "Web", "/usr/share/applications/web.desktop",
                                           300, 0.75, {}}));
    EXPECT_EQ(raw[1], (ApplicationListItem{"mail", "mail", "mail name", std::nullopt, 100, 0.25, {}}));
    EXPECT_EQ(repository->fetchApplicationListFromDailyRollup(range), raw);
    EXPECT_TRUE(repository->fetchApplicationList({utc(2020, 1, 1, 0), utc(2020, 1, 2, 0)}).empty());
}

// MARK: Single rows

TEST_F(OstrelRepositoryQueriesTest, NetworkIdentityReadsUnknownTextsAsFallbacks) {
    repository->setActiveNetwork({"lan", "Office LAN", NetworkType::ethernet, true, "eth0",
                                  NetworkResolutionState::resolved, "route", 0.9},
                                 utc(2026, 3, 1, 10));
    EXPECT_EQ(repository->fetchNetworkIdentity("lan"),
              (NetworkIdentity{"lan", "Office LAN", NetworkType::ethernet, true, "eth0",
                               NetworkResolutionState::resolved, "route", 0.9}));
    inspector.execute("UPDATE networks SET type = 'Ethernet', resolution_state = 'guessed', interface_name = NULL;");
    const auto odd = repository->fetchNetworkIdentity("lan");
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->type, NetworkType::other);
    EXPECT_EQ(odd->resolutionState, NetworkResolutionState::unavailable);
    EXPECT_FALSE(odd->interfaceName);
    EXPECT_FALSE(repository->fetchNetworkIdentity("unknown"));
}

TEST_F(OstrelRepositoryQueriesTest, ActiveNetworkIsTheActiveRowWrittenLast) {
    EXPECT_FALSE(repository->fetchActiveNetworkIdentity());
    store("1", utc(2026, 3, 1, 10), "first", "app", 1, 0);
    store("2", utc(2026, 3, 1, 9), "second", "app", 1, 0);  // both rows now marked active
    EXPECT_EQ(repository->fetchActiveNetworkIdentity()->id, "first");
    inspector.execute("UPDATE networks SET last_seen_at = '2026-03-01T10:00:00.001Z' WHERE id = 'second';");
    EXPECT_EQ(repository->fetchActiveNetworkIdentity()->id, "second");
    inspector.execute("UPDATE networks SET is_active = 0;");
    EXPECT_FALSE(repository->fetchActiveNetworkIdentity());
}

TEST_F(OstrelRepositoryQueriesTest, ApplicationById) {
    repository->upsertApplication({"mail", "org.example.Mail", "Mail", std::nullopt, 5, 5, 1, "nettop"},
                                  utc(2026, 3, 1, 10));
    EXPECT_EQ(repository->fetchApplication("mail"),
              (ApplicationListItem{"mail", "org.example.Mail", "Mail", std::nullopt, 0, 0, {}}));
    EXPECT_FALSE(repository->fetchApplication("Mail"));
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

// MARK: Failures and files changed by other software

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

TEST(OstrelRepositoryQueriesNullTest, NullsInNotNullColumnsReadAsFallbacks) {
    TemporaryFolder folder;
    const std::string path = folder.file("ostrel.sqlite");
    {
        // Tables as another program might have left them, without the NOT NULL constraints.
        DatabaseInspector early(path);
        early.execute(
            "CREATE TABLE networks (id TEXT PRIMARY KEY, name TEXT, type TEXT, interface_name TEXT, "
            "resolution_state TEXT, resolution_source TEXT, resolution_confidence REAL, last_seen_at TEXT, "
            "is_active INTEGER);");
        early.execute("CREATE TABLE applications (id TEXT PRIMARY KEY, bundle_id TEXT, name TEXT, icon_path TEXT, "
                      "last_seen_at TEXT);");
        early.execute(
            "CREATE TABLE usage_samples (id TEXT PRIMARY KEY, timestamp TEXT, network_id TEXT, app_id TEXT, "
            "rx_bytes INTEGER, tx_bytes INTEGER, source TEXT, attribution_confidence REAL);");
    }
    auto repository = openRepository(path, [] { return Calendar::named("UTC"); });
    DatabaseInspector inspector(path);
    inspector.execute("INSERT INTO networks VALUES ('n', NULL, NULL, NULL, NULL, NULL, NULL, "
                      "'2026-03-01T10:00:00.000Z', 1);");
    inspector.execute("INSERT INTO applications VALUES ('a', NULL, NULL, NULL, NULL);");
    inspector.execute("INSERT INTO usage_samples VALUES ('s', '2026-03-01T10:00:00.000Z', 'n', 'a', NULL, 4, NULL, "
                      "NULL);");

    const auto identity = repository->fetchActiveNetworkIdentity();
    ASSERT_TRUE(identity);
    EXPECT_EQ(*identity, (NetworkIdentity{"n", "", NetworkType::other, true, std::nullopt,
                                          NetworkResolutionState::unavailable, "unknown", 0}));
    const auto samples = repository->fetchSamples({utc(2026, 3, 1, 0), utc(2026, 3, 2, 0)});
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0], (UsageSampleRecord{"s", utc(2026, 3, 1, 10), "n", "", NetworkType::other, "a", "", 0, 4, "",
                                             0}));
    EXPECT_EQ(repository->fetchApplication("a"), (ApplicationListItem{"a", "", "", std::nullopt, 0, 0, {}}));
}

}  // namespace
