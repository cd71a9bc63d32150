#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <tuple>

#include "core/support/CoreCall.hpp"
#include "ranking/Ranking.hpp"
#include "ranking/Thresholds.hpp"

namespace ostrel::vell {
namespace {

UsageSample traffic(std::string_view network, std::optional<std::string_view> name, std::uint64_t rx, std::uint64_t tx,
                    std::string_view app = "app", std::optional<std::string_view> appName = std::nullopt) {
    UsageSample sample;
    sample.networkId = network;
    sample.networkName = name;
    sample.appId = app;
    sample.appName = appName;
    sample.rxBytes = rx;
    sample.txBytes = tx;
    return sample;
}

TEST(RankingTest, GroupsByDimensionWithTheFirstLabelSeen) {
    const std::vector<UsageSample> samples = {
        traffic("n1", "Home", 10, 5, "org.a", "A"), traffic("n1", "Office", 1, 1, "org.b"),
        traffic("n2", std::nullopt, 1, 0, "org.b"), traffic("n3", "", 0, 1, "org.b")};
    const auto byNetwork = rankEntities({samples, RankingDimension::network, 0});
    ASSERT_EQ(byNetwork.items.size(), 3u);
    EXPECT_EQ(byNetwork.items[0].id, "n1");
    EXPECT_EQ(byNetwork.items[0].label, "Home");
    EXPECT_EQ(byNetwork.items[0].rxBytes, 11u);
    EXPECT_EQ(byNetwork.items[0].txBytes, 6u);
    EXPECT_EQ(byNetwork.items[0].totalBytes, 17u);
    EXPECT_EQ(byNetwork.items[1].label, "n2");  // no name: the identifier
    EXPECT_EQ(byNetwork.items[2].label, "");    // an empty name stays empty
    const auto byApp = rankEntities({samples, RankingDimension::application, 0});
    ASSERT_EQ(byApp.items.size(), 2u);
    EXPECT_EQ(byApp.items[0].id, "org.a");
    EXPECT_EQ(byApp.items[0].label, "A");
    EXPECT_EQ(byApp.items[1].label, "org.b");
}

TEST(RankingTest, SharesCoverAllEntitiesBeforeTheLimit) {
    // Timestamps play no part: a sample from 1999 counts.
    const std::string request = "{\"samples\":[" + test::sample("2024-03-01T10:00:00Z", "small", "a", 60, 40) + "," +
                                test::sample("1999-03-01T10:00:00Z", "big", "a", 200, 100) +
                                "],\"dimension\":\"network\",";
    EXPECT_EQ(test::call(ol_core_rank_entities, (request + "\"limit\":1}").c_str()),
              R"({"items":[{"id":"big","label":"big","rx_bytes":200,"tx_bytes":100,"total_bytes":300,"share":0.75}]})");
    for (std::uint64_t limit : {0, 2, 5}) {
        EXPECT_EQ(rankEntities({{traffic("a", {}, 1, 0), traffic("b", {}, 2, 0)}, RankingDimension::network, limit})
                      .items.size(),
                  2u);
    }
    EXPECT_TRUE(rankEntities({{}, RankingDimension::network, 0}).items.empty());
}

TEST(RankingTest, EqualTotalsStayInFirstSeenOrderAndSharesStayWithinOne) {
    const auto response =
        rankEntities({{traffic("c", {}, 0, 0), traffic("a", {}, 0, 0), traffic("d", {}, 3, 0), traffic("b", {}, 0, 0)},
                      RankingDimension::network,
                      0});
    ASSERT_EQ(response.items.size(), 4u);
    const char* order[] = {"d", "c", "a", "b"};
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(response.items[i].id, order[i]);
    const auto silent = rankEntities({{traffic("c", {}, 0, 0), traffic("a", {}, 0, 0)}, RankingDimension::network, 0});
    for (const auto& item : silent.items) EXPECT_EQ(item.share, 0.0);
    // Saturated sums keep every share within one.
    const std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
    const auto full = rankEntities(
        {{traffic("a", {}, max, max), traffic("b", {}, max, 0), traffic("a", {}, 1, 1)}, RankingDimension::network, 0});
    ASSERT_EQ(full.items.size(), 2u);
    EXPECT_EQ(full.items[0].rxBytes, max);
    EXPECT_EQ(full.items[0].totalBytes, max);
    EXPECT_EQ(full.items[0].share, 1.0);
    EXPECT_EQ(full.items[1].share, 1.0);
}

TEST(RankingTest, ThresholdRuleWorkedValues) {
    using L = AlertLevel;
    const std::tuple<std::uint64_t, std::uint64_t, std::uint64_t, L, bool, bool, double> cases[] = {
        {5, 10, 20, L::normal, false, false, 0.5},         {10, 10, 20, L::warning, true, false, 1.0},
        {20, 10, 20, L::danger, true, true, 2.0},          {25, 0, 20, L::danger, false, true, 0.0},
        {99, 0, 0, L::normal, false, false, 0.0},          {0, 0, 0, L::normal, false, false, 0.0},
        {25, 30, 20, L::danger, false, true, 25.0 / 30.0},
    };
    for (const auto& [t, w, d, level, warning, danger, ratio] : cases) {
        const auto r = evaluateThresholds({t, w, d});
        EXPECT_EQ(std::tie(r.level, r.exceedsWarning, r.exceedsDanger), std::tie(level, warning, danger))
            << t << "/" << w << "/" << d;
        EXPECT_DOUBLE_EQ(r.usageRatio, ratio) << t << "/" << w << "/" << d;
    }
}

}  // namespace
}  // namespace ostrel::vell
