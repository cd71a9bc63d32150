#include <gtest/gtest.h>

#include <memory>

#include "Platform/FakeRunningApplications.hpp"
#include "PlatformAdapters/NettopTrafficAttributionProvider.hpp"
#include "PlatformAdapters/support/RecordedToolRunner.hpp"

namespace ostrel {
namespace {

const std::vector<std::string> nettopArguments{"-P", "-L", "1", "-s", "1", "-x"};
constexpr const char* header = "time,,interface,state,bytes_in,bytes_out,rx_dupe\n";

class NettopTrafficAttributionProviderTest : public ::testing::Test {
protected:
    void toolPrints(std::optional<std::string> output) { tools->record(paths.nettop, nettopArguments, output); }
    void rows(const std::string& lines) { toolPrints(std::string(header) + lines); }
    std::vector<AppUsageAttribution> attributed(std::int64_t rx, std::int64_t tx) {
        NettopTrafficAttributionProvider provider(tools, paths, apps);
        return provider.attributedUsage(rx, tx);
    }
    // "name rx/tx; " per attribution.
    std::string split(std::int64_t rx, std::int64_t tx) {
        std::string out;
        for (const auto& a : attributed(rx, tx))
            out += a.name + " " + std::to_string(a.rxBytes) + "/" + std::to_string(a.txBytes) + "; ";
        return out;
    }

    std::shared_ptr<testing::RecordedToolRunner> tools = std::make_shared<testing::RecordedToolRunner>();
    std::shared_ptr<FakeRunningApplications> apps = std::make_shared<FakeRunningApplications>();
    ToolPaths paths = ToolPaths::inLibexec("/opt/ostrel/libexec");
};

TEST_F(NettopTrafficAttributionProviderTest, NoTrafficRunsNoToolAndUselessOutputGivesNothing) {
    rows("1,a.1,,,5,5\n");
    EXPECT_TRUE(attributed(0, 0).empty());
    EXPECT_TRUE(attributed(-4, 0).empty());
    EXPECT_TRUE(tools->calls().empty());
    EXPECT_EQ(attributed(0, 1).size(), 1u);
    EXPECT_EQ(tools->calls(), (std::vector<testing::RecordedToolRunner::Command>{{paths.nettop, nettopArguments}}));

    using Output = std::optional<std::string>;
    for (const Output& output : {Output(), Output(""), Output("time,,bytes_in\n1,a.1,5\n"),
                                 Output(std::string(header) + "1,a.1,,,-5,0\n1,b.2,,,0,-1\n")}) {
        toolPrints(output);
        EXPECT_TRUE(attributed(10, 10).empty()) << output.value_or("(no output)");
    }
}

TEST_F(NettopTrafficAttributionProviderTest, CountsAreWeightsOfTheTotalsTruncatedTowardZero) {
    rows("12:00:00.000001,curl.300,,,300,1,\n12:00:00.000002,wget.301,,,100,2,\n");
    // 300 / 400 * 1001 = 750.75 and 1 / 3 * 10 = 3.33.
    EXPECT_EQ(attributed(1001, 10),
              (std::vector<AppUsageAttribution>{
                  {"process.curl", "process.curl", "curl", std::nullopt, 750, 3, 0.55, "nettop"},
                  {"process.wget", "process.wget", "wget", std::nullopt, 250, 6, 0.55, "nettop"}}));
}

TEST_F(NettopTrafficAttributionProviderTest, ThePidZeroRowIsTheToolsUnseenTrafficAndNoApplicationOfItsOwn) {
    apps->setApplications({{0, "org.example.Kernel", "Kernel", std::nullopt},
                           {9, "org.example.Unattributed", "unattributed", std::nullopt}});
    rows("1,unattributed.0,,,700,10\n1,curl.300,,,300,30\n");
    EXPECT_EQ(attributed(2000, 40),
              (std::vector<AppUsageAttribution>{
                  {"com.ostrel.unattributed", "com.ostrel.unattributed", "Unattributed", std::nullopt, 1400, 10, 0.2,
                   "fallback"},
                  {"process.curl", "process.curl", "curl", std::nullopt, 600, 30, 0.55, "nettop"}}));
}

TEST_F(NettopTrafficAttributionProviderTest, OnlyTheTwelveLargestAreKeptWhileTheSumsCoverAll) {
    std::string lines;
    for (int i = 0; i < 20; ++i) {
        lines += "1,proc" + std::to_string(i) + "." + std::to_string(1000 + i) + ",,," + std::to_string((i + 1) * 100) +
                 "," + std::to_string((i + 1) * 10) + "\n";
    }
    rows(lines);
    const auto result = attributed(10000, 1000);
    ASSERT_EQ(result.size(), 12u);
    EXPECT_EQ(result.front().name, "proc19");
    EXPECT_EQ(result.back().name, "proc8");
    EXPECT_EQ(result.front().rxBytes, 952);  // 2000 / 21000 * 10000, not 2000 / 17400 of the kept twelve
}

TEST_F(NettopTrafficAttributionProviderTest, EmptyDirectionsNegativeCountsAndOversizedSharesScaleSafely) {
    // No receive counts at all: nothing of the receive total is handed out here.
    rows("1,a.1,,,0,40\n1,b.2,,,0,60\n");
    EXPECT_EQ(split(5000, 100), "b 0/60; a 0/40; ");
    rows("1,up.1,,,150,1\n1,down.2,,,-50,1\n");
    EXPECT_EQ(split(1000, 2), "up 1500/1; down 0/1; ");
    rows("1,up.1,,,9000000000000000000,0\n1,down.2,,,-8999999999999999999,0\n");
    EXPECT_EQ(split(9000000000000000000, 0), "up 9223372036854775807/0; down 0/0; ");
}

TEST_F(NettopTrafficAttributionProviderTest, AProcessIsNamedByItsApplicationThroughItsPidThenByName) {
    apps->setApplications({
        {77, "org.example.Browser", "Browser", "/usr/share/applications/org.example.Browser.desktop"},
        {78, "org.example.Nameless", std::nullopt, std::nullopt},
        {79, std::nullopt, std::nullopt, std::nullopt},
        {80, "org.example.Worker", "Worker Suite", "/w.desktop"},
        {2, "org.example.PhotoEditor", "Photo Editor", "/p.desktop"},
        {3, "org.example.PhotoEditorPro", "Photo Editor Pro", "/pp.desktop"},
        {4, std::nullopt, "Mail", std::nullopt},
        {5, "org.example.Mailer", "Mailer", "/m.desktop"},
    });
    rows(
        "1,browser-bin.77,,,90,0\n1,helper.78,,,80,0\n1,worker.79,,,70,0\n1,browser-bin.77,,,60,0\n"
        "1,Photo Editor H,,,6,0\n1,photo_editor,,,5,0\n1,PHOTO-EDIT.,,,4,0\n1,Render Worker (GPU),,,3,0\n"
        "1,mail,,,2,0\n1,-_,,,1,0\n");
    const auto result = attributed(1000, 0);
    ASSERT_EQ(result.size(), 10u);
    EXPECT_EQ(result[0].name, "Browser");
    EXPECT_EQ(result[0].iconPath, "/usr/share/applications/org.example.Browser.desktop");
    EXPECT_EQ(result[1].name, "helper");  // no localized name: the command
    EXPECT_EQ(result[4].name, "Photo Editor");
    EXPECT_EQ(result[7].name, "Render Worker (GPU)");
    std::vector<std::string> bundles;
    for (const auto& attribution : result) bundles.push_back(attribution.bundleID);
    const std::vector<std::string> expected{
        "org.example.Browser",
        "org.example.Nameless",
        "org.example.Worker",   // no bundle identifier for the pid: "worker" begins "workersuite"
        "org.example.Browser",  // two processes of one application stay two entries
        "org.example.PhotoEditor",
        "org.example.PhotoEditor",
        "org.example.PhotoEditor",
        "process.render-worker-(gpu)",
        "process.mail",  // the first match has no bundle identifier: no later application is tried
        "process.-_",    // a command that normalises to nothing matches no application
    };
    EXPECT_EQ(bundles, expected);
}

}  // namespace
}  // namespace ostrel
