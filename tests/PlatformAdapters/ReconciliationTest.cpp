#include "PlatformAdapters/Reconciliation.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <numeric>
#include <random>

using namespace ostrel;
using namespace ostrel::reconciliation;

namespace {

AppUsageAttribution app(const std::string& id, std::int64_t rx, std::int64_t tx) {
    AppUsageAttribution a;
    a.appID = id;
    a.bundleID = id + ".bundle";
    a.name = "App " + id;
    a.iconPath = "/icons/" + id + ".png";
    a.rxBytes = rx;
    a.txBytes = tx;
    a.confidence = 0.55;
    a.source = "nettop";
    return a;
}

std::vector<std::pair<std::int64_t, std::int64_t>> bytes(const std::vector<AppUsageAttribution>& list) {
    std::vector<std::pair<std::int64_t, std::int64_t>> out;
    for (const auto& a : list) out.emplace_back(a.rxBytes, a.txBytes);
    return out;
}

using Pairs = std::vector<std::pair<std::int64_t, std::int64_t>>;

}  // namespace

TEST(ReconciliationTest, WorkedExampleSendWeightsFallBackToCombinedFigures) {
    const auto result = normalize({app("A", 300, 0), app("B", 100, 0), app("C", 0, 0)}, 1000, 50);
    EXPECT_EQ(bytes(result), (Pairs{{750, 38}, {250, 12}, {0, 0}}));
    // Only the byte counts change.
    EXPECT_EQ(result[0].appID, "A");
    EXPECT_EQ(result[0].bundleID, "A.bundle");
    EXPECT_EQ(result[0].iconPath, "/icons/A.png");
    EXPECT_EQ(result[0].confidence, 0.55);
    EXPECT_EQ(result[0].source, "nettop");
}

TEST(ReconciliationTest, WorkedExampleNothingReportedSplitsEvenlyWithTheRemainderFirst) {
    EXPECT_EQ(bytes(normalize({app("A", 0, 0), app("B", 0, 0), app("C", 0, 0)}, 100, 0)),
              (Pairs{{34, 0}, {33, 0}, {33, 0}}));
    EXPECT_EQ(distribute(10, {1, 1, 1}, 3, {}), (std::vector<std::int64_t>{4, 3, 3}));
}

TEST(ReconciliationTest, WeightsPreferTheDirectionThenBothThenEqualShares) {
    const std::vector<AppUsageAttribution> list = {app("A", 30, 0), app("B", 10, 40), app("C", -5, 60)};
    EXPECT_EQ(attributionWeights(list, Direction::receive), (std::vector<double>{0.75, 0.25, 0.0}));
    EXPECT_EQ(attributionWeights(list, Direction::send), (std::vector<double>{0.0, 0.4, 0.6}));
    // Combined: negative sums count 0.
    EXPECT_EQ(attributionWeights({app("A", 0, 0), app("B", -10, 0), app("C", 0, -3)}, Direction::send),
              (std::vector<double>{1.0 / 3, 1.0 / 3, 1.0 / 3}));
    EXPECT_EQ(attributionWeights({app("A", 3, 0), app("B", 1, 0)}, Direction::send),
              (std::vector<double>{0.75, 0.25}));
    EXPECT_TRUE(attributionWeights({}, Direction::receive).empty());
}

TEST(ReconciliationTest, DistributeEdgeCases) {
    EXPECT_TRUE(distribute(100, {}, 0, {}).empty());
    EXPECT_EQ(distribute(0, {5, 5}, 10, {0.5, 0.5}), (std::vector<std::int64_t>{0, 0}));
    EXPECT_EQ(distribute(-7, {5, 5}, 10, {0.5, 0.5}), (std::vector<std::int64_t>{0, 0}));
    // Equal largest parts: the first of them takes the whole remainder.
    EXPECT_EQ(distribute(11, {1, 3, 3}, 7, {}), (std::vector<std::int64_t>{1, 6, 4}));  // 1, 4, 4 + 2
    // Source total below 1 uses the fallback weights.
    EXPECT_EQ(distribute(9, {0, 0}, 0, {0.25, 0.75}), (std::vector<std::int64_t>{2, 7}));
    // Fallback weights shorter than the sources count 0 where missing.
    EXPECT_EQ(distribute(9, {0, 0, 0}, 0, {1.0}), (std::vector<std::int64_t>{9, 0, 0}));
}

TEST(ReconciliationTest, EmptyListsAndNonPositiveTotals) {
    EXPECT_TRUE(normalize({}, 100, 100).empty());
    // A positive receive total with no send traffic gives everyone 0 sent.
    EXPECT_EQ(bytes(normalize({app("A", 5, 9), app("B", 5, 1)}, 100, 0)), (Pairs{{50, 0}, {50, 0}}));
    EXPECT_EQ(bytes(normalize({app("A", 5, 9)}, -3, -4)), (Pairs{{0, 0}}));
    // Negative reports count as nothing.
    EXPECT_EQ(bytes(normalize({app("A", -50, 0), app("B", 50, 0)}, 100, 0)), (Pairs{{0, 0}, {100, 0}}));
}

TEST(ReconciliationTest, PartsAlwaysAddUpToTheTotalsInEachDirection) {
    std::mt19937_64 random(20261206);
    std::uniform_int_distribution<int> count(1, 12);
    std::uniform_int_distribution<std::int64_t> reported(-1000, 5'000'000'000);
    std::uniform_int_distribution<std::int64_t> total(1, 50'000'000'000);
    for (int round = 0; round < 2000; ++round) {
        std::vector<AppUsageAttribution> list;
        const int n = count(random);
        for (int i = 0; i < n; ++i) {
            list.push_back(app(std::to_string(i), round % 5 == 0 ? 0 : reported(random), reported(random)));
        }
        const std::int64_t rx = total(random);
        const std::int64_t tx = round % 7 == 0 ? 0 : total(random);
        const auto result = normalize(list, rx, tx);
        ASSERT_EQ(result.size(), list.size());
        std::int64_t rxSum = 0, txSum = 0;
        for (const auto& a : result) {
            ASSERT_GE(a.rxBytes, 0);
            ASSERT_GE(a.txBytes, 0);
            rxSum += a.rxBytes;
            txSum += a.txBytes;
        }
        ASSERT_EQ(rxSum, rx) << "round " << round;
        ASSERT_EQ(txSum, tx) << "round " << round;
    }
}

TEST(ReconciliationTest, ReportsNearTheIntegerLimitDoNotOverflow) {
    const auto big = std::numeric_limits<std::int64_t>::max();
    const auto result = normalize({app("A", big, big), app("B", big, 1)}, 1000, 1000);
    std::int64_t rxSum = 0, txSum = 0;
    for (const auto& a : result) {
        rxSum += a.rxBytes;
        txSum += a.txBytes;
    }
    EXPECT_EQ(rxSum, 1000);
    EXPECT_EQ(txSum, 1000);
}
