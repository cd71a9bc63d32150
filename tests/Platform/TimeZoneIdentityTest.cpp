#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "Platform/TimeZoneIdentity.hpp"
#include "Platform/support/TempTree.hpp"

namespace ostrel {
namespace {

// Each case names the zone file content it should read ('A', 'B', 'U'), or '-' for none; equal
// contents must give equal digests and different ones different digests.
TEST(TimeZoneIdentityTest, NamesTheSettingAndTellsZoneFilesApartByTheirContent) {
    testing::TempTree tree;
    const auto zoneinfo = tree.root + "/zoneinfo", other = tree.root + "/other";
    tree.write("zoneinfo/tzdata.zi", "# version 2099z\n# more\n");
    tree.write("zoneinfo/Europe/Berlin", "A");
    tree.write("zoneinfo/Universal", "U");
    tree.write("other/+VERSION", "2001a\n");
    tree.write("other/Europe/Berlin", "B");
    tree.write("copied-localtime", "B");
    std::filesystem::create_symlink(zoneinfo + "/Europe/Berlin", tree.root + "/localtime");
    const TimeZoneIdentity::Paths linked{tree.root + "/localtime", zoneinfo};
    const TimeZoneIdentity::Paths copied{tree.root + "/copied-localtime", zoneinfo};

    struct Case {
        std::optional<std::string> tz, tzdir;
        TimeZoneIdentity::Paths paths;
        std::string name, version;
        char content;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt, linked, zoneinfo + "/Europe/Berlin", "2099z", 'A'},
        {std::nullopt, std::nullopt, copied, tree.root + "/copied-localtime", "2099z", 'B'},
        {"Europe/Berlin", std::nullopt, linked, "Europe/Berlin", "2099z", 'A'},
        {":Europe/Berlin", "", linked, ":Europe/Berlin", "2099z", 'A'},
        {"Europe/Berlin", other, linked, "Europe/Berlin", "2001a", 'B'},
        {zoneinfo + "/Europe/Berlin", other, linked, zoneinfo + "/Europe/Berlin", "2001a", 'A'},
        {"", std::nullopt, linked, "", "2099z", 'U'},
        {"XYZ-3", std::nullopt, linked, "XYZ-3", "2099z", '-'},
        {"Europe/Nowhere", std::nullopt, linked, "Europe/Nowhere", "2099z", '-'},
    };
    std::map<char, std::string> digests{{'-', ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tz.value_or("unset"));
        const auto identity = TimeZoneIdentity::of(c.tz, c.tzdir, c.paths);
        EXPECT_EQ(identity.name, c.name);
        EXPECT_EQ(identity.databaseVersion, c.version);
        EXPECT_EQ(digests.try_emplace(c.content, identity.fileDigest).first->second, identity.fileDigest);
    }
    EXPECT_EQ(digests.size(), 4u);
    EXPECT_NE(digests['A'], digests['B']);
    EXPECT_NE(digests['A'], "");

    // The file changed in place: same name, another identity.
    tree.write("zoneinfo/Europe/Berlin", "A2");
    EXPECT_NE(TimeZoneIdentity::of("Europe/Berlin", std::nullopt, linked).fileDigest, digests['A']);
}

}  // namespace
}  // namespace ostrel
