#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "Persistence/OstrelRepository.hpp"
#include "Persistence/support/PersistenceTestSupport.hpp"

using namespace ostrel::testing;

namespace {

// Batches that fail and roll back race single statements and good batches from other threads.
// A statement that slipped between a batch's BEGIN and ROLLBACK would vanish with it, and a BEGIN
// inside another transaction would fail.
TEST(OstrelRepositoryConcurrencyTest, TransactionsAreNeverInterleavedWithOtherCallers) {
    TemporaryFolder folder;
    const std::string path = folder.file("ostrel.sqlite");
    auto repository = openRepository(path, [] { return ostrel::Calendar::named("UTC"); });
    const auto t = localTime("UTC", 2026, 7, 1, 12, 0, 0);
    repository->insertSamples({makeSample("DUP", t, "net", "app", 1, 1)});

    std::atomic<int> unexpected{0};
    auto run = [&](int rounds, const std::function<void(int)>& work) {
        return std::thread([&, rounds, work] {
            for (int i = 0; i < rounds; ++i) {
                try {
                    work(i);
                } catch (const std::exception&) {
                    ++unexpected;
                }
            }
        });
    };
    std::vector<std::thread> threads;
    threads.push_back(run(60, [&](int i) {
        try {
            repository->insertSamples({makeSample("BAD" + std::to_string(i), t, "bad-net", "bad-app", 5, 5),
                                       makeSample("DUP", t, "net", "app", 5, 5)});
            ++unexpected;
        } catch (const ostrel::SQLiteError&) {
        }
    }));
    threads.push_back(run(60, [&](int i) {
        repository->insertSamples({makeSample("GOOD" + std::to_string(i), t + std::chrono::minutes(i), "net", "app", 2, 3)});
    }));
    threads.push_back(run(120, [&](int i) {
        repository->upsertApplication({"solo" + std::to_string(i), "solo", "Solo", std::nullopt, 0, 0, 0, "nettop"}, t);
        repository->recordThresholdEvent(ostrel::AlertLevel::warning, i, ostrel::TimeframePreset::daily, false);
    }));
    threads.push_back(run(60, [&](int i) {
        repository->setActiveNetwork({"wifi" + std::to_string(i % 3), "Wi-Fi", ostrel::NetworkType::wifi, true, "wlan0",
                                      ostrel::NetworkResolutionState::resolved, "nl80211", 1},
                                     t);
        (void)repository->loadSettings();
    }));
    for (auto& thread : threads) thread.join();

    EXPECT_EQ(unexpected.load(), 0);
    DatabaseInspector inspector(path);
    EXPECT_EQ(inspector.count("applications WHERE id LIKE 'solo%'"), 120);
    EXPECT_EQ(inspector.count("threshold_events"), 120);
    EXPECT_EQ(inspector.count("networks WHERE id LIKE 'wifi%'"), 3);
    EXPECT_EQ(inspector.count("networks WHERE id = 'bad-net'"), 0);
    const std::int64_t raw = inspector.scalar("SELECT SUM(rx_bytes + tx_bytes) FROM usage_samples;");
    EXPECT_EQ(raw, 2 + 60 * 5);
    EXPECT_EQ(inspector.scalar("SELECT SUM(rx_bytes + tx_bytes) FROM daily_usage;"), raw);
    EXPECT_EQ(inspector.scalar("SELECT SUM(rx_bytes + tx_bytes) FROM hourly_usage;"), raw);
}

}  // namespace
