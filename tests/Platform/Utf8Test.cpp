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
