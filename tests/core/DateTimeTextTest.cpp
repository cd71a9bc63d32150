#include "models/DateTimeText.hpp"

#include <gtest/gtest.h>

#include <string>

namespace ostrel::vell {
namespace {

Timestamp read(const std::string& text) {
    const auto result = readDateTime(text);
    EXPECT_TRUE(std::holds_alternative<Timestamp>(result)) << text;
    return std::holds_alternative<Timestamp>(result) ? std::get<Timestamp>(result) : Timestamp{};
}

std::string faultOf(const std::string& text) {
    const auto result = readDateTime(text);
    return std::holds_alternative<DateTimeFault>(result) ? std::string(describe(std::get<DateTimeFault>(result)))
                                                         : "read";
}

std::string written(Timestamp instant) {
    std::string out;
    appendDateTime(out, instant);
    return out;
}

constexpr std::int64_t k20240301T101530 = 1709288130;

TEST(DateTimeTextTest, RelaxedFormsReadAsTheSameInstant) {
    const Timestamp expected{k20240301T101530, 0};
    for (const char* text : {"2024-03-01T10:15:30Z", "2024-03-01t10:15:30z", "2024-03-01 10:15:30Z",
                             "2024-03-01T12:15:30+02:00", "2024-03-01T12:15:30+0200", "2024-03-01T04:45:30-05:30",
                             "2024-03-01T10:15:30UTC", "2024-03-01T10:15:30 utc", "2024-03-01T10:15:30 \t+00:00"}) {
        EXPECT_EQ(read(text), expected) << text;
    }
}

TEST(DateTimeTextTest, FractionsOfAnyLengthKeepNanoseconds) {
    EXPECT_EQ(read("2024-03-01T10:15:30.5Z"), (Timestamp{k20240301T101530, 500'000'000}));
    EXPECT_EQ(read("2024-03-01T10:15:30.000000001Z"), (Timestamp{k20240301T101530, 1}));
    EXPECT_EQ(read("2024-03-01T10:15:30.1234567899999Z"), (Timestamp{k20240301T101530, 123'456'789}));
}

TEST(DateTimeTextTest, OffsetsCrossDaysAndYears) {
    EXPECT_EQ(read("2024-03-02T01:30:00+02:00"), read("2024-03-01T23:30:00Z"));
    EXPECT_EQ(read("2024-12-31T23:30:00-01:00"), read("2025-01-01T00:30:00Z"));
    EXPECT_EQ(read("0000-01-01T00:00:00+01:00").seconds, read("0000-01-01T00:00:00Z").seconds - 3600);
    EXPECT_EQ(read("2024-02-29T00:00:00Z").seconds, read("2024-03-01T00:00:00Z").seconds - 86400);
}

TEST(DateTimeTextTest, FaultsNameTheirKind) {
    EXPECT_EQ(faultOf("2024-03-01T10:15:30"), "premature end of input");
    EXPECT_EQ(faultOf("2024-03-01"), "premature end of input");
    EXPECT_EQ(faultOf(""), "premature end of input");
    EXPECT_EQ(faultOf("2024-03-01T10:15:30."), "premature end of input");
    EXPECT_EQ(faultOf("2024-03-01T10:15:30+02"), "premature end of input");
    EXPECT_EQ(faultOf("2024-03-01X10:15:30Z"), "input contains invalid characters");
    EXPECT_EQ(faultOf("2024-3-01T10:15:30Z"), "input contains invalid characters");
    EXPECT_EQ(faultOf("2024-03-01T10:15:30.Z"), "input contains invalid characters");
    EXPECT_EQ(faultOf("2024-03-01T10:15:30UTX"), "input contains invalid characters");
    EXPECT_EQ(faultOf("2024-03-01T10:15:30Zx"), "trailing input");
    EXPECT_EQ(faultOf("2024-03-01T10:15:30Z "), "trailing input");
    EXPECT_EQ(faultOf("2024-13-01T10:15:30Z"), "input is out of range");
    EXPECT_EQ(faultOf("2024-03-01T24:00:00Z"), "input is out of range");
    EXPECT_EQ(faultOf("2024-03-01T10:15:30+24:00"), "input is out of range");
    EXPECT_EQ(faultOf("2023-02-29T10:15:30Z"), "no possible date and time matching input");
    EXPECT_EQ(faultOf("2024-04-31T10:15:30Z"), "no possible date and time matching input");
}

TEST(DateTimeTextTest, LeapSecondReadsAsTheNextMinute) {
    EXPECT_EQ(read("2016-12-31T23:59:60Z"), read("2017-01-01T00:00:00Z"));
}

TEST(DateTimeTextTest, WritesUtcWithOptionalFractionAndSignedFarYears) {
    EXPECT_EQ(written({k20240301T101530, 0}), "2024-03-01T10:15:30Z");
    EXPECT_EQ(written({k20240301T101530, 500'000'000}), "2024-03-01T10:15:30.500Z");
    EXPECT_EQ(written({k20240301T101530, 1'000}), "2024-03-01T10:15:30.000001Z");
    EXPECT_EQ(written({k20240301T101530, 7}), "2024-03-01T10:15:30.000000007Z");
    EXPECT_EQ(written({0, 0}), "1970-01-01T00:00:00Z");
    EXPECT_EQ(written({-1, 0}), "1969-12-31T23:59:59Z");
    EXPECT_EQ(written(read("0000-01-01T00:00:00+01:00")), "-0001-12-31T23:00:00Z");
    EXPECT_EQ(written(read("9999-12-31T23:59:59-23:59")), "+10000-01-01T23:58:59Z");
}

TEST(DateTimeTextTest, EveryDayOfFourCenturiesRoundTrips) {
    const std::int64_t first = read("1900-01-01T00:00:00Z").seconds;
    for (std::int64_t day = 0; day < 146097; ++day) {
        const Timestamp instant{first + day * 86400 + 3661, 0};
        ASSERT_EQ(read(written(instant)), instant) << written(instant);
    }
}

}  // namespace
}  // namespace ostrel::vell
