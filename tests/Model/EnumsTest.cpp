#include "Model/Enums.hpp"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(EnumsTest, OnlyExactRawStringsBuildValues) {
    EXPECT_EQ(timeframePresetFromRaw("weekly"), TimeframePreset::weekly);
    for (const char* text : {"Weekly", "WEEKLY", "weekly ", " weekly", "", "week"}) {
        EXPECT_FALSE(timeframePresetFromRaw(text)) << text;
    }
    EXPECT_FALSE(networkTypeFromRaw("WiFi"));
    EXPECT_FALSE(resolutionStateFromRaw("Resolved"));
    EXPECT_FALSE(alertLevelFromRaw("critical"));
    EXPECT_FALSE(menuBarDisplayModeFromRaw("Total Today"));
}

}  // namespace
}  // namespace ostrel
