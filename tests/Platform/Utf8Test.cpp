#include "Platform/Utf8.hpp"

#include <gtest/gtest.h>

using ostrel::isValidUtf8;

TEST(Utf8Test, AcceptsEveryWellFormedLengthAndTheEmptyText) {
    EXPECT_TRUE(isValidUtf8(""));
    EXPECT_TRUE(isValidUtf8("interface: en0\n"));
    EXPECT_TRUE(isValidUtf8("Caf\xC3\xA9"));              // U+00E9
    EXPECT_TRUE(isValidUtf8("\xE0\xA0\x80"));             // U+0800, smallest three-byte
    EXPECT_TRUE(isValidUtf8("\xED\x9F\xBF"));             // U+D7FF, just below the surrogates
    EXPECT_TRUE(isValidUtf8("\xF0\x90\x80\x80"));         // U+10000
    EXPECT_TRUE(isValidUtf8("\xF4\x8F\xBF\xBF"));         // U+10FFFF
    EXPECT_TRUE(isValidUtf8(std::string_view("a\0b", 3)));  // NUL is a character
}

TEST(Utf8Test, RejectsOverlongSurrogateOutOfRangeAndTruncatedSequences) {
    EXPECT_FALSE(isValidUtf8("\xFF"));
    EXPECT_FALSE(isValidUtf8("\x80"));                  // lone continuation byte
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));              // overlong '/'
    EXPECT_FALSE(isValidUtf8("\xC1\xBF"));
    EXPECT_FALSE(isValidUtf8("\xE0\x9F\xBF"));          // overlong three-byte
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));          // U+D800
    EXPECT_FALSE(isValidUtf8("\xF0\x8F\xBF\xBF"));      // overlong four-byte
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));      // above U+10FFFF
    EXPECT_FALSE(isValidUtf8("\xF5\x80\x80\x80"));
    EXPECT_FALSE(isValidUtf8("abc\xE2\x82"));           // cut at the end
    EXPECT_FALSE(isValidUtf8("\xE2\x28\xA1"));          // bad second byte
    EXPECT_FALSE(isValidUtf8("\xF0\x9F\x98"));
}
