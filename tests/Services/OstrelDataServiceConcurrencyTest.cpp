#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "Services/support/DataServiceRig.hpp"

namespace ostrel {
namespace {

using namespace std::chrono_literals;

// Screens load on their own threads while the main thread changes settings and pumps the
// batches the sampler delivers: each reader sees whole settings values and whole answers.
TEST(OstrelDataServiceConcurrencyTest, LoadsSettingsAndBatchesRunTogether) {
    ::setenv("TZ", "UTC", 1), ::tzset();
    testing::DataServiceRig rig;
    auto& service = rig.start();
    std::atomic<int> told{0};
    service.addObserver([&] { ++told; });
    std::atomic<bool> done{false};
    std::vector<std::thread> screens;
    for (int screen = 0; screen < 3; ++screen) {
        screens.emplace_back([&, screen] {
            while (!done) {
                const auto settings = service.settings();
                EXPECT_EQ(settings.dangerThresholdBytes, 2 * settings.warningThresholdBytes);
                const auto overview = service.loadOverview(TimeframePreset::daily, std::nullopt, screen == 0);
                std::int64_t ranked = 0;
                for (const auto& app : overview.topApplications) ranked += app.rxBytes;
                EXPECT_EQ(overview.summary.rxBytes, ranked);
                service.loadApplications(TimeframePreset::weekly, std::nullopt, screen == 1);
                service.loadNetworkDetail("iface-eth0", TimeframePreset::daily, std::nullopt);
                service.loadMenuBarSnapshot();
            }
        });
    }
    std::thread sampling([&] {
        for (int tick = 0; tick < 20; ++tick) {
            rig.setNow(rig.now() + 3s);
            rig.traffic(1000, 100);
            rig.sampler->collectSampleNow();
        }
    });
    for (std::int64_t warning = 1; warning <= 50; ++warning) {
        service.updateSettings([warning](OstrelSettings& s) {
            s.warningThresholdBytes = warning;
            s.dangerThresholdBytes = 2 * warning;
        });
        rig.mainQueue->pump();
    }
    sampling.join();
    EXPECT_TRUE(rig.mainQueue->pumpUntil([&] { return told >= 51; }, 60s));
    done = true;
    for (auto& screen : screens) screen.join();
    EXPECT_EQ(service.loadOverview(TimeframePreset::daily, std::nullopt, true).summary.rxBytes, 20000);
}

// A start in another zone rebuilds the roll-ups off the start-up path while the sampler writes
// and the screens read at once: every answer and the roll-ups at the end are those of a rebuild
// followed by the batches.
TEST(OstrelDataServiceConcurrencyTest, TheRebuildAfterAStartRunsBeforeTheWritesAndReadsThatCome) {
    testing::DataServiceRig rig;
    rig.setNow(rig.now() + 10h);  // 22:00 UTC, 03:30 the next day in Kolkata
    ::setenv("TZ", "Asia/Kolkata", 1), ::tzset();
    rig.start();
    for (int hour = 0; hour < 48; ++hour) rig.store(rig.now() - std::chrono::hours{hour}, "app-old", 10);
    rig.service.reset();
    ::setenv("TZ", "UTC", 1), ::tzset();
    auto& service = rig.start();  // the zone changed: its purge rebuilds
    std::atomic<bool> done{false};
    std::vector<std::thread> screens;
    for (int screen = 0; screen < 2; ++screen) {
        screens.emplace_back([&] {
            while (!done) {
                const auto weekly = service.loadOverview(TimeframePreset::weekly, std::nullopt, true);
                EXPECT_GE(weekly.summary.rxBytes, 480);
                service.loadMenuBarSnapshot();
            }
        });
    }
    for (int tick = 0; tick < 10; ++tick) {
        rig.setNow(rig.now() + 3s);
        rig.traffic(1000, 100);
        rig.sampler->collectSampleNow();
    }
    done = true;
    for (auto& screen : screens) screen.join();
    EXPECT_EQ(rig.text("SELECT group_concat(date || '=' || total) FROM (SELECT date, SUM(rx_bytes) AS total "
                       "FROM daily_usage GROUP BY date ORDER BY date)"),
              rig.text("SELECT group_concat(day || '=' || total) FROM (SELECT substr(timestamp, 1, 10) AS day, "
                       "SUM(rx_bytes) AS total FROM usage_samples GROUP BY day ORDER BY day)"));
    EXPECT_TRUE(rig.log->lines().empty());
}

// The view models change settings from their own worker queues. A change under way holds off
// another thread's change until it is saved: without that, the other one would run to its end
// in between and then be overwritten, in memory and in the store.
TEST(OstrelDataServiceConcurrencyTest, AChangeUnderWayHoldsOffAnother) {
    ::setenv("TZ", "UTC", 1), ::tzset();
    testing::DataServiceRig rig;
    auto& service = rig.start();
    std::atomic<int> told{0};
    service.addObserver([&] { ++told; });
    std::promise<void> otherEntered;
    auto entered = otherEntered.get_future();
    std::future<void> other;
    service.updateSettings([&](OstrelSettings& settings) {
        settings.warningThresholdBytes = 1;
        other = std::async(std::launch::async, [&] {
            service.updateSettings([&](OstrelSettings& changed) {
                changed.dangerThresholdBytes = 2;
                otherEntered.set_value();
            });
        });
        // Held off, the other change cannot begin within this wait.
        if (entered.wait_for(200ms) == std::future_status::ready) other.wait();
    });
    other.wait();
    const OstrelSettings held = service.settings();
    EXPECT_EQ(held.warningThresholdBytes, 1);
    EXPECT_EQ(held.dangerThresholdBytes, 2);
    EXPECT_EQ(rig.repository()->loadSettings(), held);
    EXPECT_EQ(told, 2);
}

}  // namespace
}  // namespace ostrel
