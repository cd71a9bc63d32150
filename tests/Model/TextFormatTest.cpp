#include "Model/TextFormat.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace ostrel {
namespace {

constexpr std::int64_t KiB = 1024;
constexpr std::int64_t MiB = KiB * 1024;
constexpr std::int64_t GiB = MiB * 1024;
constexpr std::int64_t TiB = GiB * 1024;

std::string english(std::int64_t count) {
    return byteString(count, "en_US");
}

TEST(TextFormatTest, PercentageInTheLocaleWithAtMostOneFractionDigit) {
    EXPECT_EQ(percentageString(0, "en_US"), "0%");
    EXPECT_EQ(percentageString(1, "en_US"), "100%");
    EXPECT_EQ(percentageString(0.1234, "en_US"), "12.3%");
    EXPECT_EQ(percentageString(0.9999, "en_US"), "100%");
    EXPECT_EQ(percentageString(-0.05, "en_US"), "-5%");
    EXPECT_EQ(percentageString(0.1234, "de_DE"), "12,3\u00A0%");
    EXPECT_EQ(percentageString(std::numeric_limits<double>::quiet_NaN(), "en_US"), "0%");
    EXPECT_EQ(percentageString(-std::numeric_limits<double>::infinity()), "0%");
}

TEST(TextFormatTest, BytesBelowOneKilobyteAreStillKilobytes) {
    EXPECT_EQ(english(0), "Zero KB");
    EXPECT_EQ(english(1), "1 KB");
    EXPECT_EQ(english(512), "1 KB");
    EXPECT_EQ(english(-512), "-1 KB");
    EXPECT_EQ(english(KiB), "1 KB");
}

TEST(TextFormatTest, BytesRoundHalfToEvenAtTheirUnitsPrecision) {
    EXPECT_EQ(english(1536), "2 KB");
    EXPECT_EQ(english(2560), "2 KB");
    EXPECT_EQ(english(1023 * KiB), "1,023 KB");
    EXPECT_EQ(english(MiB + MiB / 2), "1.5 MB");
    EXPECT_EQ(english(10 * MiB + MiB / 4), "10.2 MB");
    EXPECT_EQ(english(5 * GiB), "5 GB");
    EXPECT_EQ(english(GiB + GiB / 4), "1.25 GB");
    EXPECT_EQ(english(3 * TiB + TiB / 2), "3.5 TB");
    EXPECT_EQ(byteString(MiB + MiB / 2, "de_DE"), "1,5 MB");
}

TEST(TextFormatTest, BytesMoveUpAUnitWhenRoundingReaches1024AndStopAtTerabytes) {
    EXPECT_EQ(english(1023 * KiB + KiB / 2 - 1), "1,023 KB");
    EXPECT_EQ(english(1048166), "1 MB");  // 1023.6 KB
    EXPECT_EQ(english(1024 * MiB - MiB / 10), "1,023.9 MB");
    EXPECT_EQ(english(1024 * MiB - MiB / 20), "1 GB");  // 1023.95 MB
    EXPECT_EQ(english(1024 * GiB - GiB / 1000), "1 TB");
    EXPECT_EQ(english(1024 * TiB), "1,024 TB");
    EXPECT_EQ(english(std::numeric_limits<std::int64_t>::max()), "8,388,608 TB");
    EXPECT_EQ(english(std::numeric_limits<std::int64_t>::min()), "-8,388,608 TB");
    for (std::int64_t count = 1; count < std::numeric_limits<std::int64_t>::max() / 3; count = count * 3 + 1) {
        const auto text = english(count);
        EXPECT_NE(text.substr(0, 2), "0 ") << count;
        EXPECT_TRUE(text.find("1,024 ") == std::string::npos || text.ends_with(" TB")) << text;
    }
}

}  // namespace
}  // namespace ostrel
