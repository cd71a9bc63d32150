#include <gtest/gtest.h>

#include "Platform/FakeRunningApplications.hpp"
#include "PlatformAdapters/NettopTrafficAttributionProvider.hpp"
#include "PlatformAdapters/TrafficAttributionLayer.hpp"
#include "PlatformAdapters/support/RecordedToolRunner.hpp"

namespace ostrel {
namespace {

using List = std::vector<AppUsageAttribution>;

struct Provider final : TrafficAttributionProviding {
    explicit Provider(List answerIn) : answer(std::move(answerIn)) {}
    List attributedUsage(std::int64_t rx, std::int64_t tx) override { return asked.emplace_back(rx, tx), answer; }
    List answer;
    std::vector<std::pair<std::int64_t, std::int64_t>> asked;
};

TEST(TrafficAttributionLayerTest, TheFirstProviderWithAnAnswerWinsElseTheWholeTickIsUnattributed) {
    const AppUsageAttribution one{"a", "a", "A", std::nullopt, 1, 2, 0.55, "nettop"};
    auto silent = std::make_shared<Provider>(List{});
    auto second = std::make_shared<Provider>(List{{"b", "b", "B", std::nullopt, 3, 4, 0.55, "nettop"}});
    EXPECT_EQ(TrafficAttributionLayer({silent, std::make_shared<Provider>(List{one}), second}).attributedUsage(10, 20),
              List{one});
    EXPECT_EQ(silent->asked, (std::vector<std::pair<std::int64_t, std::int64_t>>{{10, 20}}));
    EXPECT_TRUE(second->asked.empty());

    const List unattributed{{"com.ostrel.unattributed", "com.ostrel.unattributed", "Unattributed", std::nullopt, 1234,
                             56, 0.2, "fallback"}};
    EXPECT_EQ(TrafficAttributionLayer({}).attributedUsage(1234, 56), unattributed);
    // A missing or useless tool ends in the same entry.
    auto tools = std::make_shared<testing::RecordedToolRunner>();
    TrafficAttributionLayer layer({std::make_shared<NettopTrafficAttributionProvider>(
        tools, ToolPaths::inLibexec("/nowhere"), std::make_shared<FakeRunningApplications>())});
    EXPECT_EQ(layer.attributedUsage(1234, 56), unattributed);
    tools->record("/nowhere/ostrel-nettop", {"-P", "-L", "1", "-s", "1", "-x"}, "time,,bytes_out\n");
    EXPECT_EQ(layer.attributedUsage(1234, 56), unattributed);
}

}  // namespace
}  // namespace ostrel
