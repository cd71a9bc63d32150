#include <gtest/gtest.h>

#include "Model/Enums.hpp"

namespace ostrel {
namespace {

// Raw texts that read back as another value would go unseen where only one direction is used.
// What is refused (other letter cases, titles) is checked where stored texts are read.
TEST(EnumsTest, RawStringsRoundTrip) {
    for (const auto value : allNetworkTypes) EXPECT_EQ(networkTypeFromRaw(rawValue(value)), value);
    for (const auto value : allResolutionStates) EXPECT_EQ(resolutionStateFromRaw(rawValue(value)), value);
    for (const auto value : allTimeframePresets) EXPECT_EQ(timeframePresetFromRaw(rawValue(value)), value);
    for (const auto value : allMenuBarDisplayModes) EXPECT_EQ(menuBarDisplayModeFromRaw(rawValue(value)), value);
    for (const auto value : allLocationPermissionStatuses) {
        EXPECT_EQ(locationPermissionStatusFromRaw(rawValue(value)), value);
    }
    for (const auto value : {AlertLevel::normal, AlertLevel::warning, AlertLevel::danger}) {
        EXPECT_EQ(alertLevelFromRaw(rawValue(value)), value);
    }
}

}  // namespace
}  // namespace ostrel
