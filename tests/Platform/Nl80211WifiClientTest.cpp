#include <gtest/gtest.h>

#include <filesystem>

#include "Platform/Nl80211WifiClient.hpp"

namespace ostrel {
namespace {

namespace fs = std::filesystem;

// Whatever the machine has, the answers agree with the kernel's list of wireless interfaces,
// and a machine without Wi-Fi gets empty answers rather than an error.
TEST(Nl80211WifiClientTest, ReportsOnlyWirelessStationsAndNothingForOtherInterfaces) {
    Nl80211WifiClient client;
    const auto interfaces = client.interfaces();
    bool anyWireless = false;
    for (const auto& item : fs::directory_iterator("/sys/class/net"))
        anyWireless |= fs::exists(item.path() / "phy80211");
    EXPECT_TRUE(anyWireless || interfaces.empty());
    for (const auto& wifi : interfaces) {
        EXPECT_TRUE(fs::exists("/sys/class/net/" + wifi.interfaceName + "/phy80211")) << wifi.interfaceName;
        EXPECT_EQ(client.interfaceWithName(wifi.interfaceName), wifi);
    }
    EXPECT_EQ(client.interfaceWithName("lo"), std::nullopt);
    EXPECT_EQ(client.interfaceWithName(""), std::nullopt);
}

}  // namespace
}  // namespace ostrel
