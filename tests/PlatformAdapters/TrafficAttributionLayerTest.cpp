#include <gtest/gtest.h>

#include <memory>

#include "Platform/FakeRunningApplications.hpp"
#include "PlatformAdapters/NettopTrafficAttributionProvider.hpp"
#include "PlatformAdapters/TrafficAttributionLayer.hpp"
#include "PlatformAdapters/support/RecordedToolRunner.hpp"

namespace ostrel {
namespace {

const std::vector<std::string> nettopArguments{"-P", "-L", "1", "-s", "1", "-x"};

TEST(TrafficAttributionLayerTest, TheFirstProviderWithAnAnswerWins) {
    struct Provider final : TrafficAttributionProviding {
        explicit Provider(std::vector<AppUsageAttribution> answer) : answer(std::move(answer)) {}
        std::vector<AppUsageAttribution> attributedUsage(std::int64_t rx, std::int64_t tx) override {
            asked.emplace_back(rx, tx);
            return answer;
        }
        std::vector<AppUsageAttribution> answer;
        std::vector<std::pair<std::int64_t, std::int64_t>> asked;
    };
    AppUsageAttribution one{"a", "a", "A", std::nullopt, 1, 2, 0.55, "nettop"};
    AppUsageAttribution two{"b", "b", "B", std::nullopt, 3, 4, 0.55, "nettop"};
    auto silent = std::make_shared<Provider>(std::vector<AppUsageAttribution>{});
    auto first = std::make_shared<Provider>(std::vector{one});
    auto second = std::make_shared<Provider>(std::vector{two});
    TrafficAttributionLayer layer({silent, first, second});
    EXPECT_EQ(layer.attributedUsage(10, 20), std::vector{one});
    EXPECT_EQ(silent->asked, (std::vector<std::pair<std::int64_t, std::int64_t>>{{10, 20}}));
    EXPECT_TRUE(second->asked.empty());
}

TEST(TrafficAttributionLayerTest, WithoutAnAnswerTheWholeTickIsUnattributed) {
    const AppUsageAttribution expected{
        "com.ostrel.unattributed", "com.ostrel.unattributed", "Unattributed", std::nullopt, 1234, 56, 0.2, "fallback"};
    TrafficAttributionLayer none({});
    EXPECT_EQ(none.attributedUsage(1234, 56), std::vector{expected});

    // A failing tool ends in the same entry.
    auto tools = std::make_shared<testing::RecordedToolRunner>();
    TrafficAttributionLayer layer({std::make_shared<NettopTrafficAttributionProvider>(
        tools, ToolPaths::inLibexec("/nowhere"), std::make_shared<FakeRunningApplications>())});
    EXPECT_EQ(layer.attributedUsage(1234, 56), std::vector{expected});
    tools->record("/nowhere/ostrel-nettop", nettopArguments, "time,,bytes_out\n");
    EXPECT_EQ(layer.attributedUsage(1234, 56), std::vector{expected});
}

}  // namespace
}  // namespace ostrel
