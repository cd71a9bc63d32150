// Today's figures of the menu bar and the overviews' leaders of today are those of today's raw
// samples, also where the roll-ups' day rows hold other samples: one stamped after now (the clock
// was set back), or one written under another zone earlier in the day.
#include <gtest/gtest.h>

#include "Model/support/ScopedTimeZone.hpp"
#include "Services/support/DataServiceRig.hpp"

namespace ostrel {
namespace {

using namespace std::chrono_literals;

Date utc(int day, int hour, int minute = 0) {
    return Date{std::chrono::sys_days{std::chrono::year{2026} / 3 / day}} + std::chrono::hours{hour} +
           std::chrono::minutes{minute};
}

std::string today(OstrelDataService& service) {
    const auto menuBar = service.loadMenuBarSnapshot();
    const auto weekly = service.loadOverview(TimeframePreset::weekly, std::nullopt, true);
    return std::to_string(menuBar.summary.rxBytes) + " " + menuBar.topAppToday.value_or("-") + " " +
           weekly.topAppToday.value_or("-") + " " + weekly.topNetworkToday.value_or("-");
}

TEST(OstrelDataServiceTodayTest, TodayIsTodaysSamplesAfterTheClockWasSetBack) {
    testing::ScopedTimeZone zone("UTC");
    testing::DataServiceRig rig;
    rig.setNow(utc(10, 12, 20));
    auto& service = rig.start();
    rig.store(utc(10, 12, 10), "app-a", 100);
    rig.store(utc(10, 9, 30), "app-c", 10);
    rig.store(utc(10, 12, 40), "app-b", 1000);  // written before the clock went back
    rig.store(utc(9, 23, 59), "app-b", 1000);
    EXPECT_EQ(today(service), "110 Name of app-a Name of app-a Home");
    // The clock passes the late sample: it counts from then on.
    rig.setNow(utc(10, 13, 30));
    EXPECT_EQ(today(service), "1110 Name of app-b Name of app-b Home");
}

TEST(OstrelDataServiceTodayTest, TodayIsTodaysSamplesAfterTheZoneChangedDuringTheDay) {
    testing::ScopedTimeZone zone("Asia/Kolkata");
    testing::DataServiceRig rig;
    rig.setNow(utc(10, 3));
    auto& service = rig.start();
    // 01:30 on the 10th in Kolkata, the evening of the 9th in UTC.
    rig.store(utc(9, 20), "app-night", 5000);
    EXPECT_EQ(today(service), "5000 Name of app-night Name of app-night Home");
    {
        testing::ScopedTimeZone travelled("UTC");
        rig.store(utc(10, 9), "app-day", 100);
        rig.setNow(utc(10, 12));
        EXPECT_EQ(today(service), "100 Name of app-day Name of app-day Home");
        // The next day holds no sample keyed in Kolkata: its whole hours come from the roll-ups.
        rig.store(utc(11, 1), "app-day", 7);
        rig.setNow(utc(11, 10, 30));
        EXPECT_EQ(today(service), "7 Name of app-day Name of app-day Home");
        const auto yesterday = service.loadNetworks(TimeframePreset::custom, DateRange{utc(9, 0), utc(10, 12)}, true);
        ASSERT_EQ(yesterday.size(), 1u);
        EXPECT_EQ(yesterday.front().totalBytes, 5100);
    }
}

// A network row deleted by another program with foreign keys off leaves its samples behind: the
// Daily overview names the same leaders of today as the menu bar, also after a restart.
TEST(OstrelDataServiceTodayTest, TodaysLeadersAreTheMenuBarsWhenANetworkRowIsGone) {
    testing::ScopedTimeZone zone("UTC");
    testing::DataServiceRig rig;
    rig.setNow(utc(10, 12));
    rig.start();
    rig.store(utc(10, 9), "app-home", 100);
    rig.repository()->insertSamples(
        {{"gone-1", utc(10, 10), "net-gone", "Gone", NetworkType::wifi, "app-away", "Away", 500, 0, "nettop", 0.8}});
    SQLiteDatabase other(rig.databasePath);
    other.execute("PRAGMA foreign_keys=OFF;");
    other.execute("DELETE FROM networks WHERE id = 'net-gone';");
    for (int start = 0; start < 2; ++start) {
        auto& service = rig.start();
        const auto menuBar = service.loadMenuBarSnapshot();
        const auto daily = service.loadOverview(TimeframePreset::daily, std::nullopt, true);
        EXPECT_EQ(menuBar.topAppToday, "Away") << start;
        EXPECT_EQ(daily.topAppToday, menuBar.topAppToday) << start;
        EXPECT_EQ(daily.topNetworkToday, menuBar.topNetworkToday) << start;
        EXPECT_EQ(daily.topNetworkToday, "Home") << start;
    }
}

// The start leaves the rebuild of roll-ups keyed under another zone to the database queue: the
// first answers come after it, keyed in the zone of now.
TEST(OstrelDataServiceTodayTest, AnswersAfterAStartInAnotherZoneComeFromTheRebuiltRollups) {
    testing::DataServiceRig rig;
    rig.setNow(utc(10, 12));
    {
        testing::ScopedTimeZone zone("Asia/Kolkata");
        rig.start();
        rig.store(utc(9, 20), "app-night", 5000);  // the 10th in Kolkata
        rig.service.reset();
    }
    testing::ScopedTimeZone zone("UTC");
    auto& service = rig.start();
    const auto weekly = service.loadOverview(TimeframePreset::weekly, std::nullopt, true);
    ASSERT_EQ(weekly.trend.size(), 1u);
    EXPECT_EQ(weekly.trend.front().timestamp, utc(9, 0));
    EXPECT_TRUE(rig.log->lines().empty());
}

}  // namespace
}  // namespace ostrel
