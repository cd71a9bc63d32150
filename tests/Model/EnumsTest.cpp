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

TEST(EnumsTest, EveryCaseRoundTripsThroughItsRawString) {
    for (auto value : allNetworkTypes) {
        EXPECT_EQ(networkTypeFromRaw(rawValue(value)), value);
    }
    for (auto value : allResolutionStates) {
        EXPECT_EQ(resolutionStateFromRaw(rawValue(value)), value);
    }
    for (auto value : {AlertLevel::normal, AlertLevel::warning, AlertLevel::danger}) {
        EXPECT_EQ(alertLevelFromRaw(rawValue(value)), value);
    }
    for (auto value : allTimeframePresets) {
        EXPECT_EQ(timeframePresetFromRaw(rawValue(value)), value);
        EXPECT_FALSE(timeframePresetFromRaw(title(value)));
    }
    for (auto value : allMenuBarDisplayModes) {
        EXPECT_EQ(menuBarDisplayModeFromRaw(rawValue(value)), value);
    }
    EXPECT_EQ(title(MenuBarDisplayMode::uploadDownload), "Down / Up");
}

}  // namespace
}  // namespace ostrel
