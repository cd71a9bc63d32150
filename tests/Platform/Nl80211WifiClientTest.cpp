#include <gtest/gtest.h>

#include <filesystem>

#include "Platform/Nl80211WifiClient.hpp"

namespace ostrel {
namespace {

// Whatever the machine has, the answers agree with the kernel's list of wireless interfaces,
// and a machine without Wi-Fi gets empty answers rather than an error.
TEST(Nl80211WifiClientTest, ReportsOnlyWirelessStationsAndNothingForOtherInterfaces) {
    Nl80211WifiClient client;
    const auto interfaces = client.interfaces();
    for (const auto& wifi : interfaces) {
        EXPECT_FALSE(wifi.interfaceName.empty());
        EXPECT_TRUE(std::filesystem::exists("/sys/class/net/" + wifi.interfaceName + "/wireless") ||
                    std::filesystem::exists("/sys/class/net/" + wifi.interfaceName + "/phy80211"))
            << wifi.interfaceName;
        EXPECT_EQ(client.interfaceWithName(wifi.interfaceName), wifi);
    }
    EXPECT_EQ(client.interfaceWithName("lo"), std::nullopt);
    EXPECT_EQ(client.interfaceWithName(""), std::nullopt);

    bool anyWireless = false;
    std::error_code error;
    for (const auto& item : std::filesystem::directory_iterator("/sys/class/net", error)) {
        anyWireless = anyWireless || std::filesystem::exists(item.path() / "phy80211");
    }
    if (!anyWireless) {
        EXPECT_TRUE(interfaces.empty());
    }
}

}  // namespace
}  // namespace ostrel
