#include <gtest/gtest.h>

#include <cstring>
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

namespace ostrel {
namespace {

struct ZoneType {
    std::int32_t offset;
    const char* name;
};

void bigEndian(std::string& out, std::int64_t value, int size) {
    for (int shift = (size - 1) * 8; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xff);
}

// A version 2 zone file: a minimal 32-bit block, then the transitions (time, type), the types,
// leap seconds (time, correction) and the rule for later times.
std::string zoneFile(const std::vector<std::pair<std::int64_t, std::uint8_t>>& transitions,
                     const std::vector<ZoneType>& types, const std::string& footer,
                     const std::vector<std::pair<std::int64_t, std::int32_t>>& leaps = {}) {
    std::string names;
    for (const auto& type : types) names.append(type.name).append(1, '\0');
    const auto header = [&](std::string& out, std::int64_t leapCount, std::int64_t timeCount, std::int64_t typeCount,
                            std::int64_t charCount) {
        out += "TZif2";
        out.append(15, '\0');
        for (const std::int64_t count :
             {std::int64_t{0}, std::int64_t{0}, leapCount, timeCount, typeCount, charCount}) {
            bigEndian(out, count, 4);
        }
    };
    std::string out;
    header(out, 0, 0, 1, 1);
    out.append(6, '\0').append(1, '\0');
    header(out, static_cast<std::int64_t>(leaps.size()), static_cast<std::int64_t>(transitions.size()),
           static_cast<std::int64_t>(types.size()), static_cast<std::int64_t>(names.size()));
    for (const auto& [time, type] : transitions) bigEndian(out, time, 8);
    for (const auto& [time, type] : transitions) out += static_cast<char>(type);
    std::size_t at = 0;
    for (const auto& type : types) {
        bigEndian(out, type.offset, 4);
        out += '\0';
        out += static_cast<char>(at);
        at += std::strlen(type.name) + 1;
    }
    out += names;
    for (const auto& [time, correction] : leaps) bigEndian(out, time, 8), bigEndian(out, correction, 4);
    return out + "\n" + footer + "\n";
}

TEST(TimeZoneIdentityTest, ZonesWithTheSameOffsetsHaveTheSameRulesWhateverTheirNames) {
    using Z = std::vector<ZoneType>;
    const std::string base = zoneFile({{100, 1}, {200, 0}}, Z{{0, "STD"}, {3600, "DST"}}, "STD0DST,M3.5.0,M10.5.0/3");
    const std::pair<const char*, std::string> same[] = {
        {"other names", zoneFile({{100, 1}, {200, 0}}, Z{{0, "GMT"}, {3600, "BST"}}, "<+00>0<+01>,M3.5.0,M10.5.0/3")},
        {"a change of name alone",
         zoneFile({{50, 2}, {100, 1}, {200, 0}}, Z{{0, "STD"}, {3600, "DST"}, {0, "OLD"}}, "STD0DST,M3.5.0,M10.5.0/3")},
    };
    const std::pair<const char*, std::string> other[] = {
        {"another offset", zoneFile({{100, 1}, {200, 0}}, Z{{0, "STD"}, {1800, "DST"}}, "STD0DST,M3.5.0,M10.5.0/3")},
        {"another time", zoneFile({{101, 1}, {200, 0}}, Z{{0, "STD"}, {3600, "DST"}}, "STD0DST,M3.5.0,M10.5.0/3")},
        {"another later rule", zoneFile({{100, 1}, {200, 0}}, Z{{0, "STD"}, {3600, "DST"}}, "STD0DST,M3.2.0,M11.1.0")},
        {"no daylight saving later", zoneFile({{100, 1}, {200, 0}}, Z{{0, "STD"}, {3600, "DST"}}, "STD0")},
        {"a leap second",
         zoneFile({{100, 1}, {200, 0}}, Z{{0, "STD"}, {3600, "DST"}}, "STD0DST,M3.5.0,M10.5.0/3", {{150, 1}})},
    };
    const std::string digest = TimeZoneIdentity::rulesDigestOf(base);
    ASSERT_FALSE(digest.empty());
    for (const auto& [what, file] : same) EXPECT_EQ(TimeZoneIdentity::rulesDigestOf(file), digest) << what;
    for (const auto& [what, file] : other) EXPECT_NE(TimeZoneIdentity::rulesDigestOf(file), digest) << what;
    for (const std::string& broken :
         {std::string("not a zone file"), base.substr(0, 70), base.substr(0, base.size() - 1)}) {
        EXPECT_EQ(TimeZoneIdentity::rulesDigestOf(broken), "") << broken.size();
    }

    // The installed zones: links and zones that differ in names alone are one zone.
    const auto zone = [](const char* tz) { return TimeZoneIdentity::of(std::string(tz), std::nullopt, {}); };
    EXPECT_TRUE(zone("UTC").sameRules(zone("Etc/UTC")));
    EXPECT_TRUE(zone("UTC").sameRules(zone("GMT")));
    EXPECT_TRUE(zone("Asia/Kolkata").sameRules(zone("Asia/Calcutta")));
    EXPECT_FALSE(zone("America/New_York").sameRules(zone("America/Chicago")));
    EXPECT_FALSE(zone("UTC").sameRules(zone("right/UTC")));
    // TZ=UTC and /etc/localtime leading to Etc/UTC, unset TZ.
    testing::TempTree tree;
    std::filesystem::create_symlink("/usr/share/zoneinfo/Etc/UTC", tree.root + "/localtime");
    const auto unset =
        TimeZoneIdentity::of(std::nullopt, std::nullopt, {tree.root + "/localtime", "/usr/share/zoneinfo"});
    EXPECT_TRUE(unset.sameRules(zone("UTC")));
    EXPECT_EQ(unset.rulesKey(), zone("UTC").rulesKey());
    EXPECT_NE(unset, zone("UTC"));
    // Settings that read no file are the same only as the same setting.
    EXPECT_TRUE(zone("JST-9").sameRules(zone("JST-9")));
    EXPECT_FALSE(zone("JST-9").sameRules(zone("XYZ-9")));
}

}  // namespace
}  // namespace ostrel
