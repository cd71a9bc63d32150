#include <gtest/gtest.h>

#include "PlatformAdapters/WifiToolOutput.hpp"

namespace ostrel {
namespace {

using Answers = std::vector<std::pair<std::string, std::optional<std::string>>>;

TEST(WifiToolOutputTest, HardwarePortsGiveTheDeviceOfTheWifiPort) {
    for (const auto& [output, device] : Answers{
             {"\nHardware Port: Ethernet\nDevice: en0\nEthernet Address: 3c:07\n\nHardware Port: Wi-Fi\nDevice: en1\n"
              "Ethernet Address: a4:83\n\nHardware Port: Thunderbolt Bridge\nDevice: bridge0\n\nVLAN Configurations\n",
              "en1"},
             // The port line is matched untrimmed, the device line trimmed; blank lines do not count.
             {"Hardware Port: WI-FI 2\n\n \t Device:  en7 \n", "en7"},
             {"Hardware Port: Wi-Fi\nDevice:\n", ""},
             // A later Wi-Fi port is still found after one without a device line.
             {"Hardware Port: Wi-Fi\nMTU: 1500\nHardware Port: Wi-Fi 2\nDevice: en3\n", "en3"},
             {"", std::nullopt},
             {" Hardware Port: Wi-Fi\nDevice: en1\n", std::nullopt},
             {"Hardware Port: Ethernet\nDevice: en0\n", std::nullopt},
             {"Hardware Port: Wi-Fi\n", std::nullopt},
             {"Hardware Port: Wi-Fi\nEthernet Address: a4\nDevice: en1\n", std::nullopt}}) {
        EXPECT_EQ(wifiDeviceFromHardwarePorts(output), device) << output;
    }
}

TEST(WifiToolOutputTest, AirportNetworkAndIPConfigSummaryGiveTheSSID) {
    for (const auto& [output, ssid] :
         Answers{{"Current Wi-Fi Network: HomeNet\n", "HomeNet"},
                 {"Current Wi-Fi Network: Current Wi-Fi Network: Odd\n", "Odd"},  // after the last marker
                 {"Current Wi-Fi Network:\n", ""},
                 {"You are not associated with an AirPort network.\n", std::nullopt},
                 // The marker in another letter case is found, but the split keeps the whole text.
                 {" current wi-fi network: lab \n", "current wi-fi network: lab"}}) {
        EXPECT_EQ(ssidFromAirportNetwork(output), ssid) << output;
    }
    for (const auto& [output, ssid] :
         Answers{{"<dictionary> {\n  BSSID : <redacted>\n  IPv4 : <array> {\n    0 : <dictionary> {\n  }\n"
                  "  InterfaceType : WiFi\n  SSID : Cafe Guest \n  Security : WPA2_PSK\n}\n",
                  "Cafe Guest"},
                 {"\tSSID : <redacted>\n  SSID : second\n", "<redacted>"},
                 {"SSID :\n", ""},
                 {"SSID: NoSpaceBeforeColon\n", std::nullopt}}) {
        EXPECT_EQ(ssidFromIPConfigSummary(output), ssid) << output;
    }
}

}  // namespace
}  // namespace ostrel
