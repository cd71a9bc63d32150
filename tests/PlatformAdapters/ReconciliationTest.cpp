#include <gtest/gtest.h>

#include <limits>
#include <random>

#include "PlatformAdapters/Reconciliation.hpp"

using namespace ostrel;
using namespace ostrel::reconciliation;

namespace {

using Pairs = std::vector<std::pair<std::int64_t, std::int64_t>>;

Pairs normalized(const Pairs& reported, std::int64_t rx, std::int64_t tx) {
    std::vector<AppUsageAttribution> list;
    for (const auto& [r, t] : reported) list.push_back({"A", "a.bundle", "A", "/a.png", r, t, 0.55, "nettop"});
    Pairs out;
    for (const auto& a : normalize(list, rx, tx)) out.emplace_back(a.rxBytes, a.txBytes);
    return out;
}

}  // namespace

TEST(ReconciliationTest, WorkedExamplesAndEdgeCases) {
    EXPECT_EQ(normalized({{300, 0}, {100, 0}, {0, 0}}, 1000, 50), (Pairs{{750, 38}, {250, 12}, {0, 0}}));
    EXPECT_EQ(normalized({{0, 0}, {0, 0}, {0, 0}}, 100, 0), (Pairs{{34, 0}, {33, 0}, {33, 0}}));
    EXPECT_EQ(distribute(10, {1, 1, 1}, 3, {}), (std::vector<std::int64_t>{4, 3, 3}));
    EXPECT_EQ(distribute(11, {1, 3, 3}, 7, {}),
              (std::vector<std::int64_t>{1, 6, 4}));  // the first largest takes it all
    EXPECT_EQ(distribute(9, {0, 0}, 0, {0.25, 0.75}), (std::vector<std::int64_t>{2, 7}));
    EXPECT_EQ(distribute(-7, {5, 5}, 10, {0.5, 0.5}), (std::vector<std::int64_t>{0, 0}));
    EXPECT_TRUE(normalize({}, 100, 100).empty());
    EXPECT_EQ(normalized({{5, 9}, {5, 1}}, 100, 0), (Pairs{{50, 0}, {50, 0}}));
    EXPECT_EQ(normalized({{5, 9}}, -3, -4), (Pairs{{0, 0}}));
    EXPECT_EQ(normalized({{-50, 0}, {50, 0}}, 100, 0), (Pairs{{0, 0}, {100, 0}}));
    const auto big = std::numeric_limits<std::int64_t>::max();  // sums saturate instead of overflowing
    const auto huge = normalized({{big, big}, {big, 1}}, 1000, 1000);
    EXPECT_EQ(huge[0].first + huge[1].first, 1000);
    EXPECT_EQ(huge[0].second + huge[1].second, 1000);
    // Every other field is kept.
    const AppUsageAttribution a{"A", "a.bundle", "A", "/a.png", 1, 1, 0.55, "nettop"};
    EXPECT_EQ(normalize({a}, 7, 0),
              (std::vector<AppUsageAttribution>{{"A", "a.bundle", "A", "/a.png", 7, 0, 0.55, "nettop"}}));
}

TEST(ReconciliationTest, WeightsPreferTheDirectionThenBothThenEqualShares) {
    const std::vector<AppUsageAttribution> list = {
        {"A", "", "", {}, 30, 0, 0, ""}, {"B", "", "", {}, 10, 40, 0, ""}, {"C", "", "", {}, -5, 60, 0, ""}};
    EXPECT_EQ(attributionWeights(list, Direction::receive), (std::vector<double>{0.75, 0.25, 0.0}));
    EXPECT_EQ(attributionWeights(list, Direction::send), (std::vector<double>{0.0, 0.4, 0.6}));
    EXPECT_EQ(attributionWeights({list[0], {"B", "", "", {}, 10, 0, 0, ""}}, Direction::send),
              (std::vector<double>{0.75, 0.25}));
    EXPECT_EQ(
        attributionWeights({{"A", "", "", {}, 0, -3, 0, ""}, {"B", "", "", {}, -10, 0, 0, ""}, {}}, Direction::send),
        (std::vector<double>{1.0 / 3, 1.0 / 3, 1.0 / 3}));
}

TEST(ReconciliationTest, PartsAlwaysAddUpToTheTotalsInEachDirection) {
    std::mt19937_64 random(20261206);
    std::uniform_int_distribution<std::int64_t> reported(-1000, 5'000'000'000), total(1, 50'000'000'000);
    for (int round = 0; round < 2000; ++round) {
        Pairs list(1 + random() % 12);
        for (auto& [rx, tx] : list) rx = round % 5 == 0 ? 0 : reported(random), tx = reported(random);
        const std::int64_t rx = total(random), tx = round % 7 == 0 ? 0 : total(random);
        std::int64_t rxSum = 0, txSum = 0;
        for (const auto& [r, t] : normalized(list, rx, tx)) {
            ASSERT_TRUE(r >= 0 && t >= 0) << "round " << round;
            rxSum += r;
            txSum += t;
        }
        ASSERT_EQ(rxSum, rx) << "round " << round;
        ASSERT_EQ(txSum, tx) << "round " << round;
    }
}
