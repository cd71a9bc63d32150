#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "Model/TextFormat.hpp"

namespace ostrel {
namespace {

constexpr std::int64_t KiB = 1024;
constexpr std::int64_t MiB = KiB * 1024;
constexpr std::int64_t GiB = MiB * 1024;
constexpr std::int64_t TiB = GiB * 1024;

TEST(TextFormatTest, PercentageInTheLocaleWithAtMostOneFractionDigit) {
    // clang-format off
    const std::pair<double, const char*> cases[] = {
        {0, "0%"}, {1, "100%"}, {0.1234, "12.3%"}, {0.9999, "100%"}, {-0.05, "-5%"},
        {std::numeric_limits<double>::quiet_NaN(), "0%"}, {-std::numeric_limits<double>::infinity(), "0%"}};
    // clang-format on
    for (const auto& [fraction, text] : cases) EXPECT_EQ(percentageString(fraction, "en_US"), text) << fraction;
    EXPECT_EQ(percentageString(0.1234, "de_DE"), "12,3\u00A0%");
}

// Below a kilobyte still counts in kilobytes; half rounds to even at each unit's precision, and a
// value that rounds to 1024 moves up a unit, up to terabytes.
TEST(TextFormatTest, BytesRoundWithinTheirUnitAndMoveUpAt1024) {
    // clang-format off
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "Zero KB"}, {1, "1 KB"}, {512, "1 KB"}, {-512, "-1 KB"}, {KiB, "1 KB"}, {1536, "2 KB"}, {2560, "2 KB"},
        {1023 * KiB, "1,023 KB"}, {MiB + MiB / 2, "1.5 MB"}, {10 * MiB + MiB / 4, "10.2 MB"}, {5 * GiB, "5 GB"},
        {GiB + GiB / 4, "1.25 GB"}, {3 * TiB + TiB / 2, "3.5 TB"}, {1023 * KiB + KiB / 2 - 1, "1,023 KB"},
        {1048166, "1 MB"}, {1024 * MiB - MiB / 10, "1,023.9 MB"}, {1024 * MiB - MiB / 20, "1 GB"},
        {1024 * GiB - GiB / 1000, "1 TB"}, {1024 * TiB, "1,024 TB"},
        {std::numeric_limits<std::int64_t>::max(), "8,388,608 TB"},
        {std::numeric_limits<std::int64_t>::min(), "-8,388,608 TB"}};
    // clang-format on
    for (const auto& [count, text] : cases) EXPECT_EQ(byteString(count, "en_US"), text) << count;
    EXPECT_EQ(byteString(MiB + MiB / 2, "de_DE"), "1,5 MB");
    for (std::int64_t count = 1; count < std::numeric_limits<std::int64_t>::max() / 3; count = count * 3 + 1) {
        const auto text = byteString(count, "en_US");
        EXPECT_NE(text.substr(0, 2), "0 ") << count;
        EXPECT_TRUE(text.find("1,024 ") == std::string::npos || text.ends_with(" TB")) << text;
    }
}

}  // namespace
}  // namespace ostrel
