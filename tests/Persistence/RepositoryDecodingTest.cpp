#include "Persistence/RepositoryDecoding.hpp"

#include <gtest/gtest.h>

#include <chrono>

using namespace ostrel;
using namespace std::chrono;

namespace {

const Date kNow = Date{sys_days{year{2030} / 1 / 1}};

TEST(RepositoryDecodingTest, StoredTimesFallBackToNow) {
    EXPECT_EQ(parseDate(std::nullopt, kNow), kNow);
    EXPECT_EQ(parseDate("2026-03-01T14:05:09.123Z", kNow), Date{sys_days{year{2026} / 3 / 1}} + 14h + 5min + 9s + 123ms);
    EXPECT_EQ(parseDate("2026-03-01T14:05:09Z", kNow), Date{sys_days{year{2026} / 3 / 1}} + 14h + 5min + 9s);
    for (const char* text : {"", "yesterday", "2026-03-01", "2026-03-01T14:05:09.123+01:00", "1600-01-01T00:00:00Z"}) {
        EXPECT_EQ(parseDate(std::string(text), kNow), kNow) << text;
    }
    EXPECT_EQ(parseDayKey("2026-03-01", Calendar::named("UTC"), kNow), Date{sys_days{year{2026} / 3 / 1}});
    EXPECT_EQ(parseDayKey("2026-02-30", Calendar::named("UTC"), kNow), kNow);
}

TEST(RepositoryDecodingTest, UnknownStoredTextsFallBack) {
    EXPECT_EQ(storedNetworkType("vpn"), NetworkType::vpn);
    EXPECT_EQ(storedNetworkType("VPN"), NetworkType::other);
    EXPECT_EQ(storedNetworkType(""), NetworkType::other);
    EXPECT_EQ(storedResolutionState(std::string("redacted")), NetworkResolutionState::redacted);
    EXPECT_EQ(storedResolutionState(std::string("resolved ")), NetworkResolutionState::unavailable);
    EXPECT_EQ(storedResolutionState(std::nullopt), NetworkResolutionState::unavailable);
}

TEST(RepositoryDecodingTest, SharesStayZeroUnlessTheSumIsPositive) {
    EXPECT_TRUE(withShare({}).empty());
    const auto negative = withShare({{"a", "A", -10, 0, 0}, {"b", "B", 5, 0, 0}});
    EXPECT_EQ(negative[0].share, 0.0);
    EXPECT_EQ(negative[1].share, 0.0);
    const auto apps = withAppShare({{"a", "a", "A", std::nullopt, 0, 0, {}}, {"b", "b", "B", std::nullopt, 0, 0, {}}});
    EXPECT_EQ(apps[0].share, 0.0);
    const auto mixed = withAppShare({{"a", "a", "A", std::nullopt, 3, 0, {}}, {"b", "b", "B", std::nullopt, 1, 0, {}}});
    EXPECT_DOUBLE_EQ(mixed[0].share, 0.75);
    EXPECT_DOUBLE_EQ(mixed[1].share, 0.25);
}

}  // namespace
