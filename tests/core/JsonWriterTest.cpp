#include "models/JsonWriter.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "models/ResponseJson.hpp"

namespace ostrel::vell {
namespace {

std::string number(double value) {
    std::string out;
    appendNumber(out, value);
    return out;
}

TEST(JsonWriterTest, FloatsPlainBetweenExponentsMinusFiveAndFifteen) {
    EXPECT_EQ(number(0.0), "0.0");
    EXPECT_EQ(number(1.0), "1.0");
    EXPECT_EQ(number(2.0), "2.0");
    EXPECT_EQ(number(0.5), "0.5");
    EXPECT_EQ(number(0.25), "0.25");
    EXPECT_EQ(number(0.00001), "0.00001");
    EXPECT_EQ(number(0.000012), "0.000012");
    EXPECT_EQ(number(123.456), "123.456");
    EXPECT_EQ(number(1e15), "1000000000000000.0");
    EXPECT_EQ(number(1.0 / 3.0), "0.3333333333333333");
    EXPECT_EQ(number(25.0 / 30.0), "0.8333333333333334");
}

TEST(JsonWriterTest, FloatsOutsideThatRangeUseAnExponentWithSign) {
    EXPECT_EQ(number(1e-6), "1e-6");
    EXPECT_EQ(number(1.5e-7), "1.5e-7");
    EXPECT_EQ(number(2.5e16), "2.5e+16");
    EXPECT_EQ(number(1e16), "1e+16");
    EXPECT_EQ(number(18446744073709551615.0), "1.8446744073709552e+19");
    EXPECT_EQ(number(5e-324), "5e-324");
    EXPECT_EQ(number(std::numeric_limits<double>::quiet_NaN()), "null");
    EXPECT_EQ(number(std::numeric_limits<double>::infinity()), "null");
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

TEST(JsonWriterTest, ResponsesAreCompactInRecordOrder) {
    ThresholdResponse threshold{AlertLevel::warning, true, false, 2.0};
    EXPECT_EQ(toJson(threshold), R"({"level":"warning","exceeds_warning":true,"exceeds_danger":false,"usage_ratio":2.0})");
    AggregateResponse aggregate{1, 2, {BucketPoint{{0, 0}, 1, 2}, BucketPoint{{300, 0}, 0, 0}}};
    EXPECT_EQ(toJson(aggregate),
              R"({"total_rx_bytes":1,"total_tx_bytes":2,"points":[{"bucket_start":"1970-01-01T00:00:00Z","rx_bytes":1,)"
              R"("tx_bytes":2},{"bucket_start":"1970-01-01T00:05:00Z","rx_bytes":0,"tx_bytes":0}]})");
    EXPECT_EQ(toJson(RankingResponse{}), R"({"items":[]})");
    EXPECT_EQ(toJson(ErrorResponse{"x\ny"}), R"({"error":"x\ny"})");
}

}  // namespace
}  // namespace ostrel::vell
