#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "core/support/CoreCall.hpp"
#include "ranking/Ranking.hpp"

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

// "id label rx/tx/total share; " per item.
std::string ranked(const std::vector<UsageSample>& samples, RankingDimension dimension, std::uint64_t limit = 0) {
    std::string out;
    for (const auto& i : rankEntities({samples, dimension, limit}).items) {
        out += std::string(i.id) + " " + std::string(i.label) + " " + std::to_string(i.rxBytes) + "/" +
               std::to_string(i.txBytes) + "/" + std::to_string(i.totalBytes) + " " + std::to_string(i.share) + "; ";
    }
    return out;
}

TEST(RankingTest, GroupsByDimensionWithTheFirstLabelSeen) {
    const std::vector<UsageSample> samples = {
        traffic("n1", "Home", 10, 5, "org.a", "A"), traffic("n1", "Office", 1, 1, "org.b"),
        traffic("n2", std::nullopt, 1, 0, "org.b"), traffic("n3", "", 0, 1, "org.b")};
    // No name: the identifier; an empty name stays empty.
    EXPECT_EQ(ranked(samples, RankingDimension::network),
              "n1 Home 11/6/17 0.894737; n2 n2 1/0/1 0.052632; n3  0/1/1 0.052632; ");
    EXPECT_EQ(ranked(samples, RankingDimension::application), "org.a A 10/5/15 0.789474; org.b org.b 2/2/4 0.210526; ");
}

TEST(RankingTest, SharesCoverAllEntitiesBeforeTheLimit) {
    // Timestamps play no part: a sample from 1999 counts.
    const std::string request = "{\"samples\":[" + test::sample("2024-03-01T10:00:00Z", "small", "a", 60, 40) + "," +
                                test::sample("1999-03-01T10:00:00Z", "big", "a", 200, 100) +
                                "],\"dimension\":\"network\",";
    EXPECT_EQ(test::call(ol_core_rank_entities, (request + "\"limit\":1}").c_str()),
              R"({"items":[{"id":"big","label":"big","rx_bytes":200,"tx_bytes":100,"total_bytes":300,"share":0.75}]})");
    for (std::uint64_t limit : {0, 2, 5}) {
        EXPECT_EQ(ranked({traffic("a", {}, 1, 0), traffic("b", {}, 2, 0)}, RankingDimension::network, limit),
                  "b b 2/0/2 0.666667; a a 1/0/1 0.333333; ");
    }
    EXPECT_EQ(ranked({}, RankingDimension::network), "");
}

TEST(RankingTest, EqualTotalsStayInFirstSeenOrderAndSharesStayWithinOne) {
    EXPECT_EQ(ranked({traffic("c", {}, 0, 0), traffic("a", {}, 0, 0), traffic("d", {}, 3, 0), traffic("b", {}, 0, 0)},
                     RankingDimension::network),
              "d d 3/0/3 1.000000; c c 0/0/0 0.000000; a a 0/0/0 0.000000; b b 0/0/0 0.000000; ");
    EXPECT_EQ(ranked({traffic("c", {}, 0, 0), traffic("a", {}, 0, 0)}, RankingDimension::network),
              "c c 0/0/0 0.000000; a a 0/0/0 0.000000; ");
    // Saturated sums keep every share within one.
    const std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
    const std::string top = std::to_string(max);
    EXPECT_EQ(ranked({traffic("a", {}, max, max), traffic("b", {}, max, 0), traffic("a", {}, 1, 1)},
                     RankingDimension::network),
              "a a " + top + "/" + top + "/" + top + " 1.000000; b b " + top + "/0/" + top + " 1.000000; ");
}

}  // namespace
}  // namespace ostrel::vell
