#include "ranking/Ranking.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "ranking/Thresholds.hpp"
#include "core/support/CoreCall.hpp"

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

TEST(RankingTest, GroupsByIdWithTheFirstLabelSeen) {
    const auto response = rankEntities({{traffic("n1", "Home", 10, 5), traffic("n1", "Office", 1, 1),
                                         traffic("n2", std::nullopt, 1, 0), traffic("n3", "", 0, 1)},
                                        RankingDimension::network, 0});
    ASSERT_EQ(response.items.size(), 3u);
    EXPECT_EQ(response.items[0].id, "n1");
    EXPECT_EQ(response.items[0].label, "Home");
    EXPECT_EQ(response.items[0].rxBytes, 11u);
    EXPECT_EQ(response.items[0].txBytes, 6u);
    EXPECT_EQ(response.items[0].totalBytes, 17u);
    EXPECT_EQ(response.items[1].label, "n2");
    EXPECT_EQ(response.items[2].label, "");
}

TEST(RankingTest, ApplicationDimensionUsesAppIdentifiers) {
    const auto response = rankEntities({{traffic("n", "Net", 1, 0, "org.a", "A"), traffic("n", "Net", 5, 0, "org.b")},
                                        RankingDimension::application, 0});
    ASSERT_EQ(response.items.size(), 2u);
    EXPECT_EQ(response.items[0].id, "org.b");
    EXPECT_EQ(response.items[0].label, "org.b");
    EXPECT_EQ(response.items[1].label, "A");
}

TEST(RankingTest, SharesCoverAllEntitiesBeforeTheLimit) {
    const std::string request = "{\"samples\":[" + test::sample("2024-03-01T10:00:00Z", "small", "a", 60, 40) + "," +
                                test::sample("1999-03-01T10:00:00Z", "big", "a", 200, 100) + "],\"dimension\":\"network\",";
    EXPECT_EQ(test::call(ol_core_rank_entities, (request + "\"limit\":1}").c_str()),
              R"({"items":[{"id":"big","label":"big","rx_bytes":200,"tx_bytes":100,"total_bytes":300,"share":0.75}]})");
    EXPECT_EQ(rankEntities({{traffic("a", {}, 1, 0), traffic("b", {}, 2, 0)}, RankingDimension::network, 5}).items.size(), 2u);
    EXPECT_EQ(rankEntities({{traffic("a", {}, 1, 0), traffic("b", {}, 2, 0)}, RankingDimension::network, 0}).items.size(), 2u);
    EXPECT_TRUE(rankEntities({{}, RankingDimension::network, 0}).items.empty());
}

TEST(RankingTest, EqualTotalsStayInFirstSeenOrderAndZeroTrafficSharesZero) {
    const auto response =
        rankEntities({{traffic("c", {}, 0, 0), traffic("a", {}, 0, 0), traffic("b", {}, 0, 0)}, RankingDimension::network, 0});
    ASSERT_EQ(response.items.size(), 3u);
    EXPECT_EQ(response.items[0].id, "c");
    EXPECT_EQ(response.items[2].id, "b");
    for (const auto& item : response.items) EXPECT_EQ(item.share, 0.0);
}

TEST(RankingTest, SaturatedTotalsStillGiveSharesWithinOne) {
    const std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
    const auto response =
        rankEntities({{traffic("a", {}, max, max), traffic("b", {}, max, 0), traffic("a", {}, 1, 1)}, RankingDimension::network, 0});
    ASSERT_EQ(response.items.size(), 2u);
    EXPECT_EQ(response.items[0].rxBytes, max);
    EXPECT_EQ(response.items[0].totalBytes, max);
    EXPECT_EQ(response.items[0].share, 1.0);
    EXPECT_EQ(response.items[1].share, 1.0);
}

ThresholdResponse evaluate(std::uint64_t total, std::uint64_t warning, std::uint64_t danger) {
    return evaluateThresholds({total, warning, danger});
}

TEST(RankingTest, ThresholdRuleWorkedValues) {
    struct Case {
        std::uint64_t t, w, d;
        AlertLevel level;
        bool warning, danger;
        double ratio;
    };
    const Case cases[] = {
        {5, 10, 20, AlertLevel::normal, false, false, 0.5},    {10, 10, 20, AlertLevel::warning, true, false, 1.0},
        {20, 10, 20, AlertLevel::danger, true, true, 2.0},     {25, 0, 20, AlertLevel::danger, false, true, 0.0},
        {99, 0, 0, AlertLevel::normal, false, false, 0.0},     {25, 30, 20, AlertLevel::danger, false, true, 25.0 / 30.0},
        {0, 0, 0, AlertLevel::normal, false, false, 0.0},
    };
    for (const Case& c : cases) {
        const auto r = evaluate(c.t, c.w, c.d);
        EXPECT_EQ(r.level, c.level) << c.t << "/" << c.w << "/" << c.d;
        EXPECT_EQ(r.exceedsWarning, c.warning) << c.t << "/" << c.w << "/" << c.d;
        EXPECT_EQ(r.exceedsDanger, c.danger) << c.t << "/" << c.w << "/" << c.d;
        EXPECT_DOUBLE_EQ(r.usageRatio, c.ratio) << c.t << "/" << c.w << "/" << c.d;
    }
    EXPECT_EQ(test::call(ol_core_evaluate_thresholds,
                         R"({"danger_threshold_bytes":20,"total_bytes":20,"warning_threshold_bytes":10})"),
              R"({"level":"danger","exceeds_warning":true,"exceeds_danger":true,"usage_ratio":2.0})");
}

}  // namespace
}  // namespace ostrel::vell
