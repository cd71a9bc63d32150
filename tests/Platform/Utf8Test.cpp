#include "Platform/Utf8.hpp"

#include <gtest/gtest.h>

using ostrel::isValidUtf8;

TEST(Utf8Test, AcceptsWellFormedTextAndRejectsOverlongSurrogateOutOfRangeAndCutSequences) {
    for (std::string_view good : {"", "Caf\xC3\xA9", "\xE0\xA0\x80", "\xED\x9F\xBF", "\xF0\x90\x80\x80",
                                  "\xF4\x8F\xBF\xBF"}) {
        EXPECT_TRUE(isValidUtf8(good)) << good;
    }
    EXPECT_TRUE(isValidUtf8(std::string_view("a\0b", 3)));
    for (std::string_view bad : {"\xFF", "\x80", "\xC0\xAF", "\xE0\x9F\xBF", "\xED\xA0\x80", "\xF0\x8F\xBF\xBF",
                                 "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "abc\xE2\x82", "\xE2\x28\xA1"}) {
        EXPECT_FALSE(isValidUtf8(bad)) << bad;
    }
}

TEST(Utf8Test, DecodesEachSequenceAndRepairsEachByteThatStartsNone) {
    std::size_t length = 99;
    EXPECT_EQ(ostrel::decodeUtf8At("a\xC3\xA9", 1, length), U'\u00E9');
    EXPECT_EQ(length, 2u);
    EXPECT_EQ(ostrel::decodeUtf8At("\xF0\x9F\x98\x80", 0, length), U'\U0001F600');
    EXPECT_EQ(length, 4u);
    // Cut short at the end of the text, overlong, a surrogate: nothing, and the length untouched.
    for (std::string_view bad : {"\xF0\x9F\x98", "\xC1\x81", "\xED\xB0\x80"}) {
        EXPECT_EQ(ostrel::decodeUtf8At(bad, 0, length), std::nullopt) << bad;
        EXPECT_EQ(length, 4u);
    }
    // A lead byte whose sequence breaks off counts alone; the byte that broke it starts anew.
    EXPECT_EQ(ostrel::utf8Repaired("a\xE2\x82" "b\xC3\xA9\x80\xFF", "?"), "a??b\xC3\xA9??");
    EXPECT_EQ(ostrel::utf8Repaired("\xE2\x82\xAC", "?"), "\xE2\x82\xAC");
}
