#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <utility>

#include "models/JsonWriter.hpp"

namespace ostrel::vell {
namespace {

std::string number(double value) {
    std::string out;
    appendNumber(out, value);
    return out;
}

TEST(JsonWriterTest, FloatsArePlainBetweenExponentsMinusFiveAndFifteenElseCarryASignedExponent) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    // clang-format off
    const std::pair<double, const char*> cases[] = {
        {0.0, "0.0"}, {1.0, "1.0"}, {2.0, "2.0"}, {0.5, "0.5"}, {0.25, "0.25"}, {0.00001, "0.00001"},
        {0.000012, "0.000012"}, {123.456, "123.456"}, {1e15, "1000000000000000.0"}, {25.0 / 30.0, "0.8333333333333334"},
        {1e-6, "1e-6"}, {1.5e-7, "1.5e-7"}, {2.5e16, "2.5e+16"}, {1e16, "1e+16"},
        {18446744073709551615.0, "1.8446744073709552e+19"}, {5e-324, "5e-324"}, {nan, "null"}, {inf, "null"}};
    // clang-format on
    for (const auto& [value, text] : cases) EXPECT_EQ(number(value), text);
}

TEST(JsonWriterTest, FloatsReadBackToTheSameValue) {
    std::mt19937_64 random(42);
    for (int i = 0; i < 20000; ++i) {
        const double value = std::ldexp(static_cast<double>(random() >> 11), static_cast<int>(random() % 120) - 100);
        const std::string text = number(value);
        double back = -1;
        std::from_chars(text.data(), text.data() + text.size(), back);
        ASSERT_EQ(back, value) << text;
    }
}

TEST(JsonWriterTest, StringsEscapeQuotesBackslashesAndControlCharactersOnly) {
    JsonWriter out;
    out.string(std::string("a\"b\\c/\xC3\xA9\b\t\n\f\r\x01\x1F", 15) + std::string(1, '\0'));
    EXPECT_EQ(out.text(), "\"a\\\"b\\\\c/\xC3\xA9\\b\\t\\n\\f\\r\\u0001\\u001f\\u0000\"");
}

}  // namespace
}  // namespace ostrel::vell
