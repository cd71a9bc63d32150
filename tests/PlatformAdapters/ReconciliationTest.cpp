#include "PlatformAdapters/Reconciliation.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <random>

using namespace ostrel;
using namespace ostrel::reconciliation;

namespace {

using Pairs = std::vector<std::pair<std::int64_t, std::int64_t>>;
using Parts = std::vector<std::int64_t>;

AppUsageAttribution app(const std::string& id, std::int64_t rx, std::int64_t tx) {
    AppUsageAttribution a;
    a.appID = id;
    a.bundleID = id + ".bundle";
    a.iconPath = "/icons/" + id + ".png";
    a.rxBytes = rx;
    a.txBytes = tx;
    a.confidence = 0.55;
    a.source = "nettop";
    return a;
}

Pairs bytes(const std::vector<AppUsageAttribution>& list) {
    Pairs out;
    for (const auto& a : list) out.emplace_back(a.rxBytes, a.txBytes);
    return out;
}

}  // namespace

TEST(ReconciliationTest, WorkedExamples) {
    const auto result = normalize({app("A", 300, 0), app("B", 100, 0), app("C", 0, 0)}, 1000, 50);
    EXPECT_EQ(bytes(result), (Pairs{{750, 38}, {250, 12}, {0, 0}}));
    auto expected = app("A", 750, 38);  // only the byte counts change
    EXPECT_EQ(result[0], expected);
    EXPECT_EQ(bytes(normalize({app("A", 0, 0), app("B", 0, 0), app("C", 0, 0)}, 100, 0)),
              (Pairs{{34, 0}, {33, 0}, {33, 0}}));
    EXPECT_EQ(distribute(10, {1, 1, 1}, 3, {}), (Parts{4, 3, 3}));
}

TEST(ReconciliationTest, WeightsPreferTheDirectionThenBothThenEqualShares) {
    const std::vector<AppUsageAttribution> list = {app("A", 30, 0), app("B", 10, 40), app("C", -5, 60)};
    EXPECT_EQ(attributionWeights(list, Direction::receive), (std::vector<double>{0.75, 0.25, 0.0}));
    EXPECT_EQ(attributionWeights(list, Direction::send), (std::vector<double>{0.0, 0.4, 0.6}));
    EXPECT_EQ(attributionWeights({app("A", 3, 0), app("B", 1, 0)}, Direction::send), (std::vector<double>{0.75, 0.25}));
    EXPECT_EQ(attributionWeights({app("A", 0, 0), app("B", -10, 0), app("C", 0, -3)}, Direction::send),
              (std::vector<double>{1.0 / 3, 1.0 / 3, 1.0 / 3}));
    EXPECT_TRUE(attributionWeights({}, Direction::receive).empty());
}

TEST(ReconciliationTest, DistributeAndNormalizeEdgeCases) {
    EXPECT_TRUE(distribute(100, {}, 0, {}).empty());
    EXPECT_EQ(distribute(-7, {5, 5}, 10, {0.5, 0.5}), (Parts{0, 0}));
    EXPECT_EQ(distribute(11, {1, 3, 3}, 7, {}), (Parts{1, 6, 4}));  // equal largest: the first takes it all
    EXPECT_EQ(distribute(9, {0, 0}, 0, {0.25, 0.75}), (Parts{2, 7}));
    EXPECT_TRUE(normalize({}, 100, 100).empty());
    EXPECT_EQ(bytes(normalize({app("A", 5, 9), app("B", 5, 1)}, 100, 0)), (Pairs{{50, 0}, {50, 0}}));
    EXPECT_EQ(bytes(normalize({app("A", 5, 9)}, -3, -4)), (Pairs{{0, 0}}));
    EXPECT_EQ(bytes(normalize({app("A", -50, 0), app("B", 50, 0)}, 100, 0)), (Pairs{{0, 0}, {100, 0}}));
    const auto big = std::numeric_limits<std::int64_t>::max();  // sums saturate instead of overflowing
    const auto huge = bytes(normalize({app("A", big, big), app("B", big, 1)}, 1000, 1000));
    EXPECT_EQ(huge[0].first + huge[1].first, 1000);
    EXPECT_EQ(huge[0].second + huge[1].second, 1000);
}

TEST(ReconciliationTest, PartsAlwaysAddUpToTheTotalsInEachDirection) {
    std::mt19937_64 random(20261206);
    std::uniform_int_distribution<int> count(1, 12);
    std::uniform_int_distribution<std::int64_t> reported(-1000, 5'000'000'000);
    std::uniform_int_distribution<std::int64_t> total(1, 50'000'000'000);
    for (int round = 0; round < 2000; ++round) {
        std::vector<AppUsageAttribution> list;
        for (int i = count(random); i > 0; --i) {
            list.push_back(app(std::to_string(i), round % 5 == 0 ? 0 : reported(random), reported(random)));
        }
        const std::int64_t rx = total(random), tx = round % 7 == 0 ? 0 : total(random);
        std::int64_t rxSum = 0, txSum = 0;
        for (const auto& a : normalize(list, rx, tx)) {
            ASSERT_GE(a.rxBytes, 0);
            ASSERT_GE(a.txBytes, 0);
            rxSum += a.rxBytes;
            txSum += a.txBytes;
        }
        ASSERT_EQ(rxSum, rx) << "round " << round;
        ASSERT_EQ(txSum, tx) << "round " << round;
    }
}
