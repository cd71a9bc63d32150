#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "Platform/FakeWifiClient.hpp"
#include "PlatformAdapters/NetworkIdentityResolver.hpp"
#include "PlatformAdapters/support/RecordedToolRunner.hpp"

namespace ostrel {
namespace {

class NetworkIdentityResolverTest : public ::testing::Test {
protected:
    // id|name|type|interface|state|source|confidence, marked when not active.
    std::string resolve(const std::optional<std::string>& primary) {
        const auto n = NetworkIdentityResolver(wifi, tools, paths).resolveActiveNetwork(primary);
        std::ostringstream out;
        out << n.id << '|' << n.name << '|' << rawValue(n.type) << '|' << n.interfaceName.value_or("-") << '|'
            << rawValue(n.resolutionState) << '|' << n.resolutionSource << '|' << n.resolutionConfidence
            << (n.isActive ? "" : "|inactive");
        return out.str();
    }
    void airport(const std::string& iface, const std::string& output) {
        tools->record(paths.networksetup, {"-getairportnetwork", iface}, output);
    }
    void summary(const std::string& iface, const std::string& output) {
        tools->record(paths.ipconfig, {"getsummary", iface}, output);
    }

    std::shared_ptr<FakeWifiClient> wifi = std::make_shared<FakeWifiClient>();
    std::shared_ptr<testing::RecordedToolRunner> tools = std::make_shared<testing::RecordedToolRunner>();
    ToolPaths paths = ToolPaths::inLibexec("/opt/ostrel/libexec");
};

TEST_F(NetworkIdentityResolverTest, AFoundNameGivesAWifiOrHotspotIdentityWithASlugIdAndPlaceholdersAreRedactions) {
    // Case and " " against "-" give one id; other punctuation and non-ASCII letters stay.
    for (const auto& [ssid, expected] : std::vector<std::pair<std::string, std::string>>{
             {"Bob's iPhone", "wifi-bobs-iphone|Bob's iPhone|hotspot"},
             {"  Cafe/Guest 5.0\n", "wifi-cafe-guest-5-0|Cafe/Guest 5.0|wifi"},
             {"Office Personal HOTSPOT", "wifi-office-personal-hotspot|Office Personal HOTSPOT|hotspot"},
             {"home-NET", "wifi-home-net|home-NET|wifi"},
             {"CAFÉ Ärger", "wifi-café-ärger|CAFÉ Ärger|wifi"},
             {"A&B (5G)", "wifi-a&b-(5g)|A&B (5G)|wifi"},
             {"<REDACTED>", "wifi-<redacted>|<REDACTED>|wifi"}}) {
        wifi->setInterfaces({{"wlan0", ssid}});
        EXPECT_EQ(resolve("wlan0"), expected + "|wlan0|resolved|corewlan_primary|1") << ssid;
    }
    const auto unnamed = [](const std::string& iface, const std::string& state) {
        return "wifi-iface-" + iface + "|Wi-Fi (SSID unavailable)|wifi|" + iface + "|" + state + "|" + state + "|0.2";
    };
    for (const auto* placeholder : {"<redacted>", "REDACTED", "Redacted", " redacted ", "<private>", "0x00"}) {
        wifi->setInterfaces({{"en0", placeholder}});
        EXPECT_EQ(resolve("en0"), unnamed("en0", "redacted")) << placeholder;
    }
    wifi->setInterfaces({{"en0", std::nullopt}, {"en1", "   "}});
    EXPECT_EQ(resolve("en0"), unnamed("en0", "unavailable"));
    // A placeholder of another interface, or only from the tools, is remembered too.
    wifi->setInterfaces({{"en0", "<private>"}, {"en1", std::nullopt}});
    EXPECT_EQ(resolve("en1"), unnamed("en1", "redacted"));
    wifi->setInterfaces({{"en0", std::nullopt}});
    summary("en0", "  SSID : <redacted>\n");
    EXPECT_EQ(resolve("en0"), unnamed("en0", "redacted"));
}

TEST_F(NetworkIdentityResolverTest, WithoutANameThePrimaryInterfaceIsClassified) {
    // Name, type and confidence by interface; " \n" is an empty primary, still a name. wlp2s0 is
    // not known to the Wi-Fi client: not the Wi-Fi row.
    // clang-format off
    for (const auto& [primary, expected] : std::vector<std::pair<std::string, std::string>>{
             {"utun3", "iface-utun3|VPN|vpn|utun3|0.8"}, {"bridge100", "iface-bridge100|bridge100|other|bridge100|0.5"},
             {"lo0", "iface-lo0|lo0|loopback|lo0|0.5"}, {"lo", "iface-lo|lo|loopback|lo|0.5"},
             {"lo1", "iface-lo1|lo1|other|lo1|0.5"}, {"en4", "iface-en4|Ethernet|ethernet|en4|0.8"},
             {"eth0", "iface-eth0|Ethernet|ethernet|eth0|0.8"}, {"ppp-vpn0", "iface-ppp-vpn0|VPN|vpn|ppp-vpn0|0.8"},
             {"wg0", "iface-wg0|VPN|vpn|wg0|0.8"}, {"tap1", "iface-tap1|VPN|vpn|tap1|0.8"},
             {"MyVPN", "iface-myvpn|VPN|vpn|MyVPN|0.8"}, {"pdp_ip0", "iface-pdp_ip0|Cellular|cellular|pdp_ip0|0.8"},
             {"rmnet_data0", "iface-rmnet_data0|Cellular|cellular|rmnet_data0|0.8"},
             {"wlp2s0", "iface-wlp2s0|wlp2s0|wifi|wlp2s0|0.5"}, {"br.lan 2", "iface-br-lan-2|br.lan 2|other|br.lan 2|0.5"},
             {" \n", "iface-||other||0.5"}}) {
        // clang-format on
        const auto confidence = expected.substr(expected.rfind('|'));
        EXPECT_EQ(resolve(primary), expected.substr(0, expected.rfind('|')) + "|unavailable|interface" + confidence)
            << primary;
    }
    EXPECT_EQ(resolve(std::nullopt), "unknown-network|Unknown Network|other|-|unavailable|none|0");
    EXPECT_EQ(NetworkIdentityResolver(nullptr, nullptr, paths).resolveActiveNetwork("eth0").name, "Ethernet");
}

TEST_F(NetworkIdentityResolverTest, AnyWifiNameWinsOverTheRouteThenTheToolsAreAskedForThePrimaryThenEveryWifi) {
    wifi->setInterfaces({{"wlan0", std::nullopt}, {"wlan1", "Upstairs"}});
    EXPECT_EQ(resolve("wg0"), "wifi-upstairs|Upstairs|wifi|wg0|resolved|corewlan_any|0.95");
    EXPECT_EQ(resolve(std::nullopt), "wifi-upstairs|Upstairs|wifi|-|resolved|corewlan_any|0.95");

    wifi->setInterfaces({{"en0", "<redacted>"}});
    airport("en0", "Current Wi-Fi Network: Lab\n");
    EXPECT_EQ(resolve(" en0\n"), "wifi-lab|Lab|wifi|en0|resolved|networksetup_or_ipconfig_primary|0.85");

    // Primary is wired: the Wi-Fi set is searched, ipconfig after networksetup gave nothing.
    tools = std::make_shared<testing::RecordedToolRunner>();
    summary("en0", "  SSID : Attic\n");
    EXPECT_EQ(resolve("en5"), "wifi-attic|Attic|wifi|en5|resolved|networksetup_or_ipconfig_any|0.8");
    EXPECT_EQ(tools->calls(),
              (std::vector<testing::RecordedToolRunner::Command>{{paths.networksetup, {"-listallhardwareports"}},
                                                                 {paths.networksetup, {"-getairportnetwork", "en5"}},
                                                                 {paths.ipconfig, {"getsummary", "en5"}},
                                                                 {paths.networksetup, {"-getairportnetwork", "en0"}},
                                                                 {paths.ipconfig, {"getsummary", "en0"}}}));

    // An empty networksetup answer stops before ipconfig; en0 joined the Wi-Fi set through
    // networksetup, so it is the unnamed Wi-Fi row.
    wifi->setInterfaces({});
    tools = std::make_shared<testing::RecordedToolRunner>();
    airport("en0", "Current Wi-Fi Network:\n");
    summary("en0", "SSID : Hidden\n");
    tools->record(paths.networksetup, {"-listallhardwareports"}, "Hardware Port: Wi-Fi\nDevice: en0\n");
    EXPECT_EQ(resolve("en0"), "wifi-iface-en0|Wi-Fi (SSID unavailable)|wifi|en0|unavailable|unavailable|0.2");
}

// Interface names and network names reach the store as process names do: valid UTF-8 without
// control characters, each offending byte a '_'. Other characters, such as a direction override,
// are the screens' to show safely.
TEST_F(NetworkIdentityResolverTest, NamesAreStoredAsTextWithoutControlCharactersOrStrayBytes) {
    EXPECT_EQ(resolve("wl\xff\xfe" "0"), "iface-wl__0|wl__0|wifi|wl__0|unavailable|interface|0.5");
    EXPECT_EQ(resolve("br\xc3"), "iface-br_|br_|other|br_|unavailable|interface|0.5");
    const std::string overridden = "\xe2\x80\xae" "exe";
    std::string kept = "iface-";  // appended: GCC 12 warns falsely (-Wrestrict) on a literal + string at -O3
    kept += overridden, kept += '|', kept += overridden, kept += "|other|", kept += overridden;
    kept += "|unavailable|interface|0.5";
    EXPECT_EQ(resolve(overridden), kept);

    wifi->setInterfaces({{"wlan\x80", "Cafe\nGuest\x01"}});
    EXPECT_EQ(resolve("wlan\x80"), "wifi-cafe_guest_|Cafe_Guest_|wifi|wlan_|resolved|corewlan_primary|1");
    wifi->setInterfaces({{"wlan0", std::nullopt}});
    summary("wlan0", "  SSID : Caf\xe9 Noir\n");
    EXPECT_EQ(resolve("wlan0"), "wifi-caf_-noir|Caf_ Noir|wifi|wlan0|resolved|networksetup_or_ipconfig_primary|0.85");
}

}  // namespace
}  // namespace ostrel
