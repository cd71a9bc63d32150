#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "Platform/TimeZoneIdentity.hpp"
#include "Platform/support/TempTree.hpp"

namespace ostrel {
namespace {

// Each case names the zone file content it reads ('-': none); equal contents must give equal
// digests and different contents different ones.
TEST(TimeZoneIdentityTest, NamesTheSettingAndTellsZoneFilesApartByTheirContent) {
    testing::TempTree tree;
    const auto zoneinfo = tree.root + "/zoneinfo", other = tree.root + "/other";
    tree.write("zoneinfo/tzdata.zi", "# version 2099z\n# more\n");
    tree.write("zoneinfo/Europe/Berlin", "A");
    tree.write("other/+VERSION", "2001a\n");
    tree.write("other/Europe/Berlin", "B");
    tree.write("copied", "B");
    std::filesystem::create_symlink(zoneinfo + "/Europe/Berlin", tree.root + "/linked");
    const std::tuple<std::optional<std::string>, std::optional<std::string>, std::string, std::string, std::string,
                     char>
        cases[] = {{std::nullopt, std::nullopt, "linked", zoneinfo + "/Europe/Berlin", "2099z", 'A'},
                   {std::nullopt, std::nullopt, "copied", tree.root + "/copied", "2099z", 'B'},
                   {"Europe/Berlin", "", "linked", "Europe/Berlin", "2099z", 'A'},
                   {":Europe/Berlin", other, "linked", ":Europe/Berlin", "2001a", 'B'},
                   {"XYZ-3", std::nullopt, "linked", "XYZ-3", "2099z", '-'}};
    std::map<char, std::string> digests{{'-', ""}};
    for (const auto& [tz, tzdir, localtime, name, version, content] : cases) {
        const auto identity = TimeZoneIdentity::of(tz, tzdir, {tree.root + "/" + localtime, zoneinfo});
        EXPECT_EQ(identity.name + " " + identity.databaseVersion, name + " " + version);
        EXPECT_EQ(digests.try_emplace(content, identity.fileDigest).first->second, identity.fileDigest) << name;
    }
    EXPECT_TRUE(digests['A'] != digests['B'] && !digests['A'].empty());
    // Changed in place: the same name, another identity.
    tree.write("zoneinfo/Europe/Berlin", "A2");
    EXPECT_NE(TimeZoneIdentity::of("Europe/Berlin", std::nullopt, {"", zoneinfo}).fileDigest, digests['A']);
}

}  // namespace
}  // namespace ostrel
