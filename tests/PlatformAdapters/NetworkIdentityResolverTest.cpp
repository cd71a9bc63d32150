#include <gtest/gtest.h>

#include <memory>

#include "Platform/FakeWifiClient.hpp"
#include "PlatformAdapters/NetworkIdentityResolver.hpp"
#include "PlatformAdapters/support/RecordedToolRunner.hpp"

namespace ostrel {
namespace {

class NetworkIdentityResolverTest : public ::testing::Test {
protected:
    NetworkIdentity resolve(const std::optional<std::string>& primary) {
        NetworkIdentityResolver resolver(wifi, tools, paths);
        return resolver.resolveActiveNetwork(primary);
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

TEST_F(NetworkIdentityResolverTest, AFoundNameGivesAWifiOrHotspotIdentityWithASlugId) {
    wifi->setInterfaces({{"wlan0", "Bob's iPhone"}});
    EXPECT_EQ(resolve("wlan0"), (NetworkIdentity{"wifi-bobs-iphone", "Bob's iPhone", NetworkType::hotspot, true, "wlan0",
                                                 NetworkResolutionState::resolved, "corewlan_primary", 1.0}));
    wifi->setInterfaces({{"wlan0", "  Cafe/Guest 5.0\n"}});
    auto identity = resolve("wlan0");
    EXPECT_EQ(identity.id, "wifi-cafe-guest-5-0");
    EXPECT_EQ(identity.name, "Cafe/Guest 5.0");
    EXPECT_EQ(identity.type, NetworkType::wifi);
    wifi->setInterfaces({{"wlan0", "Office Personal HOTSPOT"}});
    EXPECT_EQ(resolve("wlan0").type, NetworkType::hotspot);

    // Case and " " against "-" give one id; other punctuation and non-ASCII letters stay.
    for (const auto& [name, id] : std::vector<std::pair<std::string, std::string>>{
             {"Home Net", "wifi-home-net"}, {"home-NET", "wifi-home-net"}, {"CAFÉ Ärger", "wifi-café-ärger"},
             {"A&B (5G)", "wifi-a&b-(5g)"}}) {
        wifi->setInterfaces({{"wlan0", name}});
        EXPECT_EQ(resolve("wlan0").id, id) << name;
    }
}

TEST_F(NetworkIdentityResolverTest, PlaceholdersAreRedactionsExceptUpperCaseAngleBrackets) {
    for (const auto* placeholder : {"<redacted>", "REDACTED", "Redacted", " redacted ", "<private>", "0x00"}) {
        wifi->setInterfaces({{"en0", placeholder}});
        EXPECT_EQ(resolve("en0"), (NetworkIdentity{"wifi-iface-en0", "Wi-Fi (SSID unavailable)", NetworkType::wifi, true,
                                                   "en0", NetworkResolutionState::redacted, "redacted", 0.2}))
            << placeholder;
    }
    wifi->setInterfaces({{"en0", "<REDACTED>"}});
    EXPECT_EQ(resolve("en0").name, "<REDACTED>");

    wifi->setInterfaces({{"en0", std::nullopt}, {"en1", "   "}});
    auto identity = resolve("en0");
    EXPECT_EQ(identity.id, "wifi-iface-en0");
    EXPECT_EQ(identity.resolutionState, NetworkResolutionState::unavailable);
    EXPECT_EQ(identity.resolutionSource, "unavailable");
    EXPECT_DOUBLE_EQ(identity.resolutionConfidence, 0.2);

    // A placeholder of another interface, or only from the tools, is remembered too.
    wifi->setInterfaces({{"en0", "<private>"}, {"en1", std::nullopt}});
    EXPECT_EQ(resolve("en1").resolutionState, NetworkResolutionState::redacted);
    wifi->setInterfaces({{"en0", std::nullopt}});
    summary("en0", "  SSID : <redacted>\n");
    EXPECT_EQ(resolve("en0").resolutionSource, "redacted");
}

TEST_F(NetworkIdentityResolverTest, WithoutANameThePrimaryInterfaceIsClassified) {
    struct Case {
        const char* primary;
        const char* name;
        NetworkType type;
        double confidence;
    };
    const Case cases[] = {
        {"utun3", "VPN", NetworkType::vpn, 0.8},           {"bridge100", "bridge100", NetworkType::other, 0.5},
        {"lo0", "lo0", NetworkType::loopback, 0.5},        {"en4", "Ethernet", NetworkType::ethernet, 0.8},
        {"ppp-vpn0", "VPN", NetworkType::vpn, 0.8},        {"pdp_ip0", "Cellular", NetworkType::cellular, 0.8},
        {"eth0", "Ethernet", NetworkType::ethernet, 0.8},  {"wg0", "VPN", NetworkType::vpn, 0.8},
        {"tap1", "VPN", NetworkType::vpn, 0.8},            {"rmnet_data0", "Cellular", NetworkType::cellular, 0.8},
        {"lo", "lo", NetworkType::loopback, 0.5},          {"lo1", "lo1", NetworkType::other, 0.5},
        {"wlp2s0", "wlp2s0", NetworkType::wifi, 0.5},  // not known to the Wi-Fi client: not the Wi-Fi row
    };
    for (const auto& c : cases) {
        EXPECT_EQ(resolve(c.primary),
                  (NetworkIdentity{std::string("iface-") + c.primary, c.name, c.type, true, c.primary,
                                   NetworkResolutionState::unavailable, "interface", c.confidence}))
            << c.primary;
    }
    EXPECT_EQ(resolve("br.lan 2").id, "iface-br-lan-2");
    EXPECT_EQ(resolve("MyVPN").type, NetworkType::vpn);
    // An empty primary is still a name.
    EXPECT_EQ(resolve(" \n"), (NetworkIdentity{"iface-", "", NetworkType::other, true, "",
                                               NetworkResolutionState::unavailable, "interface", 0.5}));
    EXPECT_EQ(resolve(std::nullopt), (NetworkIdentity{"unknown-network", "Unknown Network", NetworkType::other, true,
                                                      std::nullopt, NetworkResolutionState::unavailable, "none", 0.0}));
    NetworkIdentityResolver bare(nullptr, nullptr, paths);
    EXPECT_EQ(bare.resolveActiveNetwork("eth0").name, "Ethernet");
}

TEST_F(NetworkIdentityResolverTest, AnyWifiNameWinsOverTheRouteAndNeedsNoPrimary) {
    wifi->setInterfaces({{"wlan0", std::nullopt}, {"wlan1", "Upstairs"}});
    auto identity = resolve("wg0");
    EXPECT_EQ(identity.id, "wifi-upstairs");
    EXPECT_EQ(identity.resolutionSource, "corewlan_any");
    EXPECT_DOUBLE_EQ(identity.resolutionConfidence, 0.95);
    EXPECT_EQ(identity.interfaceName, "wg0");
    EXPECT_EQ(resolve(std::nullopt).interfaceName, std::nullopt);
}

TEST_F(NetworkIdentityResolverTest, ToolsAreAskedForThePrimaryThenForEveryWifiInterface) {
    wifi->setInterfaces({{"en0", "<redacted>"}});
    airport("en0", "Current Wi-Fi Network: Lab\n");
    auto identity = resolve(" en0\n");
    EXPECT_EQ(identity.name, "Lab");
    EXPECT_EQ(identity.interfaceName, "en0");
    EXPECT_EQ(identity.resolutionSource, "networksetup_or_ipconfig_primary");
    EXPECT_DOUBLE_EQ(identity.resolutionConfidence, 0.85);
    EXPECT_EQ(identity.resolutionState, NetworkResolutionState::resolved);

    // Primary is wired: the Wi-Fi set is searched, ipconfig after networksetup gave nothing.
    tools = std::make_shared<testing::RecordedToolRunner>();
    summary("en0", "  SSID : Attic\n");
    identity = resolve("en5");
    EXPECT_EQ(identity.name, "Attic");
    EXPECT_EQ(identity.resolutionSource, "networksetup_or_ipconfig_any");
    EXPECT_DOUBLE_EQ(identity.resolutionConfidence, 0.8);
    using Command = testing::RecordedToolRunner::Command;
    const std::vector<Command> expected{
        {paths.networksetup, {"-listallhardwareports"}}, {paths.networksetup, {"-getairportnetwork", "en5"}},
        {paths.ipconfig, {"getsummary", "en5"}},         {paths.networksetup, {"-getairportnetwork", "en0"}},
        {paths.ipconfig, {"getsummary", "en0"}},
    };
    EXPECT_EQ(tools->calls(), expected);
}

TEST_F(NetworkIdentityResolverTest, AnEmptyNetworkSetupAnswerStopsBeforeIPConfig) {
    airport("en0", "Current Wi-Fi Network:\n");
    summary("en0", "SSID : Hidden\n");
    tools->record(paths.networksetup, {"-listallhardwareports"}, "Hardware Port: Wi-Fi\nDevice: en0\n");
    const auto identity = resolve("en0");
    // en0 joined the Wi-Fi set through networksetup, so it is the unnamed Wi-Fi row.
    EXPECT_EQ(identity.id, "wifi-iface-en0");
    EXPECT_EQ(identity.resolutionSource, "unavailable");
}

}  // namespace
}  // namespace ostrel
