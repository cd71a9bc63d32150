#include <gtest/gtest.h>
#include <sys/stat.h>

#include "Platform/BundleInfo.hpp"
#include "Platform/support/TempTree.hpp"

namespace ostrel {
namespace {

// The bundle identifier and "Key" (present, its text) as a reader sees them, or the error.
std::string readingOf(const std::string& path) {
    try {
        const auto info = BundleInfo::read(path);
        return info.bundleIdentifier().value_or("-") + " " +
               (info.contains("Key") ? info.string("Key").value_or("?") : "-");
    } catch (const BundleInfoError& error) {
        const std::string message = error.what();
        return message.starts_with(path + ": ") ? message.substr(path.size() + 2) : "without the path: " + message;
    }
}

TEST(BundleInfoTest, EveryFileGivesItsKeysOrAClearErrorAndNoFileGivesNoIdentifier) {
    const std::pair<std::string, std::string> files[] = {
        {R"({"BundleIdentifier": "com.ostrel.Ostrel", "Key": "text", "Other": {"a": [1]}})", "com.ostrel.Ostrel text"},
        // Values that are not strings are there, without text.
        {R"({"BundleIdentifier": 7, "Key": null})", "- ?"},
        {R"({"BundleIdentifier": ["com.ostrel.Ostrel"], "Key": false})", "- ?"},
        {R"({"BundleIdentifier": "", "Key": "a\u0000b"})", std::string("- a\0b", 5)},
        {R"({"Key": "first", "Key": "second"})", "- first"},
        {"{\"Key\": " + std::string(30000, '[') + std::string(30000, ']') + "}", "- ?"},
        {"", "not valid JSON at offset 0: The document is empty."},
        {"BundleIdentifier=com.ostrel.Ostrel", "not valid JSON at offset 0: Invalid value."},
        {R"({"Key": "a"} {})", "not valid JSON at offset 13: The document root must not be followed by other values."},
        {"{\"Key\": \"\xff\"}", "not valid JSON at offset 9: Invalid encoding in string."},
        {R"(["BundleIdentifier", "com.ostrel.Ostrel"])", "not a JSON object"},
        {"{}" + std::string(BundleInfo::sizeLimit - 1, ' '), "larger than 65536 bytes"},
    };
    testing::TempTree tree;
    for (const auto& [content, reading] : files) {
        EXPECT_EQ(readingOf(tree.write("Info.json", content)), reading) << content.substr(0, 80);
    }
    EXPECT_EQ(readingOf(tree.root + "/missing/Info.json"), "- -");
    const auto fifo = tree.root + "/fifo", folder = tree.root + "/folder";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    for (const auto& path : {fifo, folder}) EXPECT_EQ(readingOf(path), "not a regular file");
}

// The test programs sit in the build tree's bin folder, as the program does.
TEST(BundleInfoTest, TheBuildTreeHoldsTheProgramsInfoBesideItsBinFolder) {
    EXPECT_EQ(BundleInfo::pathForExecutable("/usr/bin/ostrel"), "/usr/bin/../share/ostrel/Info.json");
    CapturingLogSink log;
    const auto info = BundleInfo::forRunningProgram(log);
    EXPECT_TRUE(log.lines().empty());
    EXPECT_EQ(info.bundleIdentifier(), "com.ostrel.Ostrel");
    for (const char* key :
         {"OstrelSupportURL", "OstrelUpdatesURL", "OstrelDeveloperURL", "NSLocationWhenInUseUsageDescription"}) {
        EXPECT_TRUE(info.string(key)) << key;
    }
}

}  // namespace
}  // namespace ostrel
