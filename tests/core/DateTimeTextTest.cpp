#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "models/DateTimeText.hpp"

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
    EXPECT_EQ(read("2024-03-01T10:15:30.5Z"), (Timestamp{k20240301T101530, 500'000'000}));
    EXPECT_EQ(read("2024-03-01T10:15:30.000000001Z"), (Timestamp{k20240301T101530, 1}));
    EXPECT_EQ(read("2024-03-01T10:15:30.1234567899999Z"), (Timestamp{k20240301T101530, 123'456'789}));
    // Offsets cross days and years; a leap second is the first second of the next minute.
    EXPECT_EQ(read("2024-12-31T23:30:00-01:00"), read("2025-01-01T00:30:00Z"));
    EXPECT_EQ(read("2024-02-29T00:00:00Z").seconds, read("2024-03-01T00:00:00Z").seconds - 86400);
    EXPECT_EQ(read("2016-12-31T23:59:60Z"), read("2017-01-01T00:00:00Z"));
}

TEST(DateTimeTextTest, FaultsNameTheirKind) {
    const std::pair<const char*, std::vector<const char*>> cases[] = {
        {"premature end of input",
         {"2024-03-01T10:15:30", "2024-03-01", "2024-03-01T10:15:30.", "2024-03-01T10:15:30+02"}},
        {"input contains invalid characters",
         {"2024-03-01X10:15:30Z", "2024-3-01T10:15:30Z", "2024-03-01T10:15:30.Z", "2024-03-01T10:15:30UTX"}},
        {"trailing input", {"2024-03-01T10:15:30Zx", "2024-03-01T10:15:30Z "}},
        {"input is out of range", {"2024-13-01T10:15:30Z", "2024-03-01T24:00:00Z", "2024-03-01T10:15:30+24:00"}},
        {"no possible date and time matching input", {"2023-02-29T10:15:30Z", "2024-04-31T10:15:30Z"}},
    };
    for (const auto& [fault, texts] : cases) {
        for (const char* text : texts) EXPECT_EQ(faultOf(text), fault) << text;
    }
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
