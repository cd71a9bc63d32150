#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "Persistence/support/PersistenceTestSupport.hpp"

using namespace ostrel;
using namespace ostrel::testing;

namespace {

// Batches that fail and roll back race single statements and good batches from other threads.
// A statement that slipped between a batch's BEGIN and ROLLBACK would vanish with it, and a BEGIN
// inside another transaction would fail.
TEST(OstrelRepositoryConcurrencyTest, TransactionsAreNeverInterleavedWithOtherCallers) {
    TempTree folder;
    const std::string path = folder.file("ostrel.sqlite");
    ScopedTimeZone zone("UTC");
    auto repository = openRepository(path);
    const Date t = localTime("UTC", 2026, 7, 1, 12);
    repository->insertSamples({makeSample("DUP", t, "net", "app", 1, 1)});

    std::atomic<int> unexpected{0};
    const std::vector<std::function<void(int)>> work{
        [&](int i) {
            EXPECT_THROW(repository->insertSamples({makeSample("BAD" + std::to_string(i), t, "bad-net", "app", 5, 5),
                                                    makeSample("DUP", t, "net", "app", 5, 5)}),
                         SQLiteError);
        },
        [&](int i) { repository->insertSamples({makeSample("GOOD" + std::to_string(i), t, "net", "app", 2, 3)}); },
        [&](int i) {
            repository->upsertApplication({"solo" + std::to_string(i), "solo", "Solo", std::nullopt, 0, 0, 0, ""}, t);
            repository->recordThresholdEvent(AlertLevel::warning, i, TimeframePreset::daily, false);
            repository->setActiveNetwork({"wifi" + std::to_string(i % 3), "Wi-Fi", NetworkType::wifi, true, "wlan0",
                                          NetworkResolutionState::resolved, "nl80211", 1},
                                         t);
        }};
    std::vector<std::thread> threads;
    for (const auto& unit : work) {
        threads.emplace_back([&, unit] {
            for (int i = 0; i < 60; ++i) {
                try {
                    unit(i);
                } catch (const std::exception&) {
                    ++unexpected;
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();

    EXPECT_EQ(unexpected.load(), 0);
    DatabaseInspector inspector(path);
    EXPECT_EQ(inspector.count("applications WHERE id LIKE 'solo%'"), 60);
    EXPECT_EQ(inspector.count("threshold_events"), 60);
    EXPECT_EQ(inspector.count("networks WHERE id LIKE 'wifi%' OR id = 'bad-net'"), 3);
    EXPECT_EQ(inspector.scalar("SELECT SUM(rx_bytes + tx_bytes) FROM usage_samples;"), 2 + 60 * 5);
    EXPECT_EQ(inspector.scalar("SELECT SUM(rx_bytes + tx_bytes) FROM daily_usage;"), 2 + 60 * 5);
    EXPECT_EQ(inspector.scalar("SELECT SUM(rx_bytes + tx_bytes) FROM hourly_usage;"), 2 + 60 * 5);
}

}  // namespace
