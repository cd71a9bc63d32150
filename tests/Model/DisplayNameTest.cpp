#include <gtest/gtest.h>

#include <string>

#include "Model/DisplayName.hpp"

namespace ostrel {
namespace {

// One line whatever the name holds: breaks and controls as spaces, stray bytes as U+FFFD, the
// characters that set a direction left out; letters of any script, marks and joiners kept.
TEST(DisplayNameTest, NamesBecomeOneLineOfPlainCharacters) {
    const std::pair<std::string, std::string> cases[] = {
        {"Firefox", "Firefox"},
        {"", ""},
        {"two\nlines\r\nthree", "two lines  three"},
        {"tab\there\x7f\x01", "tab here  "},
        {"para\u2029line\u2028end\u0085", "para line end "},
        {"\u202Eexe.eviltxt", "exe.eviltxt"},
        {"a\u202Ab\u202Bc\u202Cd\u202De\u2066f\u2067g\u2068h\u2069", "abcdefgh"},
        {"\u05e9\u05dc\u05d5\u05dd \u200fמ\u200e", "\u05e9\u05dc\u05d5\u05dd \u200fמ\u200e"},
        {"wl\xff\xfe" "0", "wl\uFFFD\uFFFD" "0"},
        {"caf\xc3", "caf\uFFFD"},
        {"\xed\xa0\x80", "\uFFFD\uFFFD\uFFFD"},  // an encoded surrogate
        {"\xc0\xaf", "\uFFFD\uFFFD"},            // an overlong '/'
        {"emoji \U0001F600 ok", "emoji \U0001F600 ok"}};
    for (const auto& [name, shown] : cases) EXPECT_EQ(singleLineName(name), shown) << name;
}

TEST(DisplayNameTest, IsolatedNamesAreWrappedInFirstStrongIsolates) {
    EXPECT_EQ(isolatedName("\u202Eexe.eviltxt\n"), "\u2068exe.eviltxt \u2069");
    EXPECT_EQ(isolatedName(""), "\u2068\u2069");
    // An isolate the name closes early cannot end the one around it.
    EXPECT_EQ(isolatedName("a\u2069b"), "\u2068ab\u2069");
}

}  // namespace
}  // namespace ostrel
