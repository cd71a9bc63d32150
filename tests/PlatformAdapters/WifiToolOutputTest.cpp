#include <gtest/gtest.h>

#include "PlatformAdapters/WifiToolOutput.hpp"

namespace ostrel {
namespace {

constexpr const char* hardwarePorts =
    "\n"
    "Hardware Port: Ethernet\n"
    "Device: en0\n"
    "Ethernet Address: 3c:07:54:12:34:56\n"
    "\n"
    "Hardware Port: Wi-Fi\n"
    "Device: en1\n"
    "Ethernet Address: a4:83:e7:12:34:56\n"
    "\n"
    "Hardware Port: Thunderbolt Bridge\n"
    "Device: bridge0\n"
    "Ethernet Address: 82:15:0a:12:34:56\n"
    "\n"
    "VLAN Configurations\n"
    "===================\n";

constexpr const char* ipconfigSummary =
    "<dictionary> {\n"
    "  BSSID : <redacted>\n"
    "  IPv4 : <array> {\n"
    "    0 : <dictionary> {\n"
    "      ConfigMethod : DHCP\n"
    "    }\n"
    "  }\n"
    "  InterfaceType : WiFi\n"
    "  LinkStatusActive : TRUE\n"
    "  SSID : Cafe Guest \n"
    "  Security : WPA2_PSK\n"
    "}\n";

TEST(WifiToolOutputTest, HardwarePortsGiveTheDeviceOfTheWifiPort) {
    EXPECT_EQ(wifiDeviceFromHardwarePorts(hardwarePorts), "en1");
    // The port line is matched untrimmed, the device line trimmed; blank lines do not count.
    EXPECT_EQ(wifiDeviceFromHardwarePorts("Hardware Port: WI-FI 2\n\n \t Device:  en7 \n"), "en7");
    EXPECT_EQ(wifiDeviceFromHardwarePorts("Hardware Port: Wi-Fi\nDevice:\n"), "");
    // A later Wi-Fi port is still found after one without a device line.
    EXPECT_EQ(wifiDeviceFromHardwarePorts("Hardware Port: Wi-Fi\nMTU: 1500\nHardware Port: Wi-Fi 2\nDevice: en3\n"),
              "en3");
    for (const char* none : {"", " Hardware Port: Wi-Fi\nDevice: en1\n", "Hardware Port: Ethernet\nDevice: en0\n",
                             "Hardware Port: Wi-Fi\n", "Hardware Port: Wi-Fi\nEthernet Address: a4\nDevice: en1\n"}) {
        EXPECT_EQ(wifiDeviceFromHardwarePorts(none), std::nullopt) << none;
    }
}

TEST(WifiToolOutputTest, AirportNetworkGivesTheTextAfterTheLastMarker) {
    EXPECT_EQ(ssidFromAirportNetwork("Current Wi-Fi Network: HomeNet\n"), "HomeNet");
    EXPECT_EQ(ssidFromAirportNetwork("Current Wi-Fi Network: Current Wi-Fi Network: Odd\n"), "Odd");
    EXPECT_EQ(ssidFromAirportNetwork("Current Wi-Fi Network:\n"), "");
    EXPECT_EQ(ssidFromAirportNetwork("You are not associated with an AirPort network.\n"), std::nullopt);
    // The marker in another letter case is found, but the split keeps the whole text.
    EXPECT_EQ(ssidFromAirportNetwork(" current wi-fi network: lab \n"), "current wi-fi network: lab");
}

TEST(WifiToolOutputTest, IPConfigSummaryGivesTheSSIDLineNotTheBSSIDLine) {
    EXPECT_EQ(ssidFromIPConfigSummary(ipconfigSummary), "Cafe Guest");
    EXPECT_EQ(ssidFromIPConfigSummary("\tSSID : <redacted>\n  SSID : second\n"), "<redacted>");
    EXPECT_EQ(ssidFromIPConfigSummary("SSID :\n"), "");
    EXPECT_EQ(ssidFromIPConfigSummary("SSID: NoSpaceBeforeColon\n"), std::nullopt);
}

}  // namespace
}  // namespace ostrel
