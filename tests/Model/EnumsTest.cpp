#include "Model/Enums.hpp"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(EnumsTest, RawStringsRoundTripAndOnlyExactMatchesBuildValues) {
    for (const auto value : allNetworkTypes) EXPECT_EQ(networkTypeFromRaw(rawValue(value)), value);
    for (const auto value : allResolutionStates) EXPECT_EQ(resolutionStateFromRaw(rawValue(value)), value);
    for (const auto value : allTimeframePresets) EXPECT_EQ(timeframePresetFromRaw(rawValue(value)), value);
    for (const auto value : allMenuBarDisplayModes) EXPECT_EQ(menuBarDisplayModeFromRaw(rawValue(value)), value);
    for (const auto value : allLocationPermissionStatuses) {
        EXPECT_EQ(locationPermissionStatusFromRaw(rawValue(value)), value);
    }
    EXPECT_EQ(alertLevelFromRaw("danger"), AlertLevel::danger);
    EXPECT_EQ(locationPermissionStatusFromRaw("missingUsageDescription"),
              LocationPermissionStatus::missingUsageDescription);

    for (const char* text : {"Weekly", "WEEKLY", "weekly ", " weekly", "", "week"}) {
        EXPECT_FALSE(timeframePresetFromRaw(text)) << text;
    }
    EXPECT_FALSE(networkTypeFromRaw("WiFi"));
    EXPECT_FALSE(resolutionStateFromRaw("Resolved"));
    EXPECT_FALSE(alertLevelFromRaw("critical"));
    EXPECT_FALSE(locationPermissionStatusFromRaw("authorizedAlways"));
    EXPECT_FALSE(menuBarDisplayModeFromRaw(title(MenuBarDisplayMode::totalToday)));
}

}  // namespace
}  // namespace ostrel
