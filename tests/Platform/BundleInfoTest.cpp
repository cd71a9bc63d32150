#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>
#include <string>

#include "Platform/BundleInfo.hpp"
#include "Platform/support/TempTree.hpp"

namespace ostrel {
namespace {

using testing::TempTree;

// What a reader makes of a file: its bundle identifier and whether "Key" is there and as text,
// or the end of the error.
struct Reading {
    std::optional<std::string> identifier;
    bool hasKey = false;
    std::optional<std::string> keyText;
    std::string error;
    bool operator==(const Reading&) const = default;
};

void PrintTo(const Reading& r, std::ostream* out) {
    *out << "{" << r.identifier.value_or("-") << ", " << r.hasKey << ", " << r.keyText.value_or("-") << ", " << r.error
         << "}";
}

Reading readingOf(const std::string& path) {
    try {
        const auto info = BundleInfo::read(path);
        return {info.bundleIdentifier(), info.contains("Key"), info.string("Key"), ""};
    } catch (const BundleInfoError& error) {
        const std::string message = error.what();
        EXPECT_TRUE(message.starts_with(path + ": ")) << message;
        return {std::nullopt, false, std::nullopt, message.substr(path.size() + 2)};
    }
}

TEST(BundleInfoTest, EveryFileGivesKeysOrAClearErrorAndNoFileGivesNoIdentifier) {
    const std::string deep = "{\"Key\": " + std::string(30000, '[') + std::string(30000, ']') + "}";
    const std::pair<std::string, Reading> files[] = {
        {R"({"BundleIdentifier": "com.ostrel.Ostrel", "Key": "text", "Other": {"a": [1]}})",
         {"com.ostrel.Ostrel", true, "text", ""}},
        // Values that are not strings are there, but have no text.
        {R"({"BundleIdentifier": 7, "Key": null})", {std::nullopt, true, std::nullopt, ""}},
        {R"({"BundleIdentifier": ["com.ostrel.Ostrel"], "Key": false})", {std::nullopt, true, std::nullopt, ""}},
        {R"({"BundleIdentifier": "", "Key": "a\u0000b"})", {std::nullopt, true, std::string("a\0b", 3), ""}},
        {R"({"Key": "first", "Key": "second"})", {std::nullopt, true, "first", ""}},
        {deep, {std::nullopt, true, std::nullopt, ""}},
        {"", {std::nullopt, false, std::nullopt, "not valid JSON at offset 0: The document is empty."}},
        {"BundleIdentifier=com.ostrel.Ostrel",
         {std::nullopt, false, std::nullopt, "not valid JSON at offset 0: Invalid value."}},
        {R"({"Key": "a"} {})",
         {std::nullopt, false, std::nullopt,
          "not valid JSON at offset 13: The document root must not be followed by other values."}},
        {"{\"Key\": \"\xff\"}",
         {std::nullopt, false, std::nullopt, "not valid JSON at offset 9: Invalid encoding in string."}},
        {R"(["BundleIdentifier", "com.ostrel.Ostrel"])", {std::nullopt, false, std::nullopt, "not a JSON object"}},
        {"{}" + std::string(BundleInfo::sizeLimit - 1, ' '),
         {std::nullopt, false, std::nullopt, "larger than 65536 bytes"}},
    };
    TempTree tree;
    for (const auto& [content, reading] : files) {
        EXPECT_EQ(readingOf(tree.write("Info.json", content)), reading) << content.substr(0, 80);
    }
    EXPECT_EQ(readingOf(tree.root + "/missing/Info.json"), Reading{});
    const auto fifo = tree.root + "/fifo", folder = tree.root + "/folder";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    for (const auto& path : {fifo, folder}) EXPECT_EQ(readingOf(path).error, "not a regular file") << path;
}

// The test programs sit in the build tree's bin folder, beside the program.
TEST(BundleInfoTest, TheBuildTreeHoldsTheProgramsInfoBesideItsBinFolder) {
    EXPECT_EQ(BundleInfo::pathForExecutable("/usr/bin/ostrel"), "/usr/bin/../share/ostrel/Info.json");
    CapturingLogSink log;
    const auto info = BundleInfo::forRunningProgram(log);
    EXPECT_TRUE(log.lines().empty());
    EXPECT_EQ(info.bundleIdentifier(), "com.ostrel.Ostrel");
    for (const char* key :
         {"OstrelSupportURL", "OstrelUpdatesURL", "OstrelDeveloperURL", "NSLocationWhenInUseUsageDescription"}) {
        EXPECT_TRUE(info.string(key).has_value()) << key;
    }
}

}  // namespace
}  // namespace ostrel
