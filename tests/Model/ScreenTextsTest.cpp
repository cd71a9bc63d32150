#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>

#include "Model/Calendar.hpp"
#include "Model/PeriodTextFormat.hpp"
#include "Model/ScreenTexts.hpp"
#include "Model/support/ScopedTimeZone.hpp"

namespace ostrel {
namespace {

using namespace std::chrono;
constexpr std::int64_t MiB = 1024 * 1024;
constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
constexpr auto kMin = std::numeric_limits<std::int64_t>::min();

// Received + sent past the 64-bit range shows the largest count of its sign, never a wrapped one.
TEST(ScreenTextsTest, TotalsSaturateAtTheLimits) {
    EXPECT_EQ(totalBytesText(3 * MiB, MiB, "en_US"), "4 MB");
    EXPECT_EQ(totalBytesText(kMax, 1, "en_US"), "8,388,608 TB");
    EXPECT_EQ(totalBytesText(kMin, -1, "en_US"), "-8,388,608 TB");
    EXPECT_EQ(totalLineText({kMax, kMax}, "en_US"), "Total: 8,388,608 TB");
    const RankedUsage huge{"a", "App", kMax, kMax, 1};
    EXPECT_EQ(rankedRowText(&huge, "en_US"), (RankedRowText{"App", "100%", "8,388,608 TB", false}));
}

TEST(ScreenTextsTest, SummaryLinesInTheLocale) {
    const UsageSummary summary{4 * MiB, MiB / 2};
    EXPECT_EQ(totalLineText({}, "en_US"), "Total: Zero KB");
    EXPECT_EQ(downloadUploadText(summary, "en_US"), "Download 4 MB \u2022 Upload 512 KB");
    EXPECT_EQ(directionsText(summary, "en_US"), "\u2193 4 MB  \u2191 512 KB");
    EXPECT_EQ(downloadUploadText({MiB + MiB / 2, 0}, "de_DE"), "Download 1,5 MB \u2022 Upload Zero KB");
}

// A missing item is the dimmed placeholder; an item's share has at most one fraction digit.
TEST(ScreenTextsTest, RankedRowsAndTheirPlaceholder) {
    EXPECT_EQ(rankedRowText(nullptr, "en_US"), (RankedRowText{"\u2014", "0%", "0 B", true}));
    const RankedUsage item{"net-home", "Home", 2 * MiB, MiB, 0.625};
    EXPECT_EQ(rankedRowText(&item, "en_US"), (RankedRowText{"Home", "62.5%", "3 MB", false}));
    const RankedUsage idle{"x", "", 0, 0, std::nan("")};
    EXPECT_EQ(rankedRowText(&idle, "en_US"), (RankedRowText{"", "0%", "Zero KB", false}));
}

TEST(ScreenTextsTest, LabelsOfTypesLevelsAndTimeframes) {
    std::string labels;
    for (const NetworkType type : allNetworkTypes) labels += networkTypeLabel(type) + ' ';
    EXPECT_EQ(labels, "Wifi Ethernet Hotspot Vpn Cellular Loopback Other ");
    EXPECT_EQ(alertLevelName(AlertLevel::normal) + alertLevelName(AlertLevel::warning) +
                  alertLevelName(AlertLevel::danger),
              "NormalWarningDanger");
    EXPECT_EQ(trendTitle(TimeframePreset::weekly), "Usage Trend (Weekly)");
    EXPECT_EQ(trendTitle(TimeframePreset::custom), "Usage Trend (Custom)");
}

// The ratio to the warning threshold, whole, in the locale; also past 100 %.
TEST(ScreenTextsTest, WarningTextFollowsTheLocale) {
    const std::tuple<double, const char*, const char*> rows[] = {{0.734, "en_US", "Warning at 73%"},
                                                                 {0.735, "en_US", "Warning at 74%"},
                                                                 {4.0, "de_DE", "Warning at 400\u00a0%"},
                                                                 {0, "en_US", "Warning at 0%"},
                                                                 {NAN, "en_US", "Warning at 0%"},
                                                                 {INFINITY, "en_US", "Warning at 0%"}};
    for (const auto& [ratio, locale, text] : rows) EXPECT_EQ(warningAtText(ratio, locale), text) << ratio;
}

// The identity changes with the timeframe, the range and the number of points, and writes each
// end as the shortest text of its seconds with a fraction digit.
TEST(ScreenTextsTest, TrendChartIdentity) {
    OverviewSnapshot snapshot;
    snapshot.timeframe = TimeframePreset::weekly;
    const Date start{sys_days{year{2026} / 3 / 3}};
    snapshot.range = {start, start + 168h};
    snapshot.trend.resize(7);
    EXPECT_EQ(trendChartIdentity(snapshot), "trend-weekly-1772496000.0-1773100800.0-7");
    snapshot.trend.resize(8);
    EXPECT_NE(trendChartIdentity(snapshot), "trend-weekly-1772496000.0-1773100800.0-7");
}

// A period starts in the user's zone (New York is on summer time), arranged as the locale does.
TEST(ScreenTextsTest, PeriodTextsFollowZoneAndLocale) {
    const testing::ScopedTimeZone zone("America/New_York");
    const Date start = Date{sys_days{year{2026} / 3 / 10}} + 18h;
    const std::pair<const char*, const char*> rows[] = {
        {"en_US", "Mar 10, 2\u202FPM"}, {"de_DE", "10. März, 14 Uhr"}, {"en_GB", "10 Mar, 14"}};
    for (const auto& [locale, expected] : rows) {
        EXPECT_EQ(PeriodTextFormat(locale)(start, Calendar::current()), expected) << locale;
    }
}

}  // namespace
}  // namespace ostrel
