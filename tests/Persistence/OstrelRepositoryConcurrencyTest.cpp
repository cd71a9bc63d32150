#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Persistence/OstrelRepository.hpp"
#include "Persistence/support/PersistenceTestSupport.hpp"

using ostrel::SQLiteConnection;
using ostrel::SQLiteDatabase;
using ostrel::SQLiteError;
using ostrel::SQLiteRow;
using namespace ostrel::testing;
using namespace std::chrono_literals;

namespace {

TEST(SQLiteDatabaseConcurrencyTest, ExclusiveUnitIsNeverInterleavedWithOtherCallers) {
    TemporaryFolder folder;
    SQLiteDatabase database(folder.file("units.sqlite"));
    database.execute("CREATE TABLE log (writer TEXT NOT NULL);");

    std::atomic<int> interleaved{0};
    std::atomic<int> failures{0};
    std::mutex firstErrorMutex;
    std::string firstError;
    auto fail = [&](const SQLiteError& error) {
        std::lock_guard lock(firstErrorMutex);
        if (failures++ == 0) firstError = error.what();
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            const std::string me = "unit" + std::to_string(t);
            for (int round = 0; round < 25; ++round) {
                try {
                    database.runExclusive([&](SQLiteConnection& connection) {
                        auto rows = [&] {
                            std::int64_t count = 0;
                            connection.query("SELECT COUNT(*) FROM log;", {},
                                             [&](const SQLiteRow& row) { count = row.int64(0); });
                            return count;
                        };
                        connection.execute("BEGIN IMMEDIATE TRANSACTION;");
                        const std::int64_t start = rows();
                        for (int i = 0; i < 3; ++i) {
                            connection.execute("INSERT INTO log (writer) VALUES (?);", {me});
                            std::this_thread::sleep_for(100us);  // room for others to cut in
                        }
                        if (rows() != start + 3) ++interleaved;
                        // Every other unit rolls back; a stray statement inside would vanish with it.
                        connection.execute(round % 2 == 0 ? "COMMIT;" : "ROLLBACK;");
                    });
                } catch (const SQLiteError& error) {
                    fail(error);
                }
            }
        });
    }
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 100; ++i) {
                try {
                    database.execute("INSERT INTO log (writer) VALUES ('single');");
                } catch (const SQLiteError& error) {
                    fail(error);
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();

    EXPECT_EQ(interleaved.load(), 0);
    EXPECT_EQ(failures.load(), 0) << firstError;
    std::int64_t singles = 0;
    std::int64_t fromUnits = 0;
    database.query("SELECT COUNT(*) FROM log WHERE writer = 'single';", {},
                   [&](const SQLiteRow& row) { singles = row.int64(0); });
    database.query("SELECT COUNT(*) FROM log WHERE writer != 'single';", {},
                   [&](const SQLiteRow& row) { fromUnits = row.int64(0); });
    EXPECT_EQ(singles, 400);
    EXPECT_EQ(fromUnits, 4 * 13 * 3);  // rounds 0, 2, ..., 24 commit
}

// A failing batch rolls back; if another caller's write slipped into it, that write would be lost.
TEST(OstrelRepositoryConcurrencyTest, RolledBackBatchesNeverTakeOtherCallersWritesWithThem) {
    TemporaryFolder folder;
    const std::string path = folder.file("ostrel.sqlite");
    auto repository = openRepository(path, [] { return ostrel::Calendar::named("UTC"); });
    const auto t = localTime("UTC", 2026, 7, 1, 12, 0, 0);
    repository->insertSamples({makeSample("DUP", t, "net", "app", 1, 1)});

    std::atomic<int> unexpected{0};
    auto guarded = [&](const std::function<void()>& work) {
        try {
            work();
        } catch (const std::exception&) {
            ++unexpected;
        }
    };
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        for (int i = 0; i < 60; ++i) {
            try {
                repository->insertSamples({makeSample("BAD" + std::to_string(i), t, "bad-net", "bad-app", 5, 5),
                                           makeSample("DUP", t, "net", "app", 5, 5)});
                ++unexpected;
            } catch (const SQLiteError&) {
            }
        }
    });
    threads.emplace_back([&] {
        guarded([&] {
            for (int i = 0; i < 60; ++i) {
                repository->insertSamples(
                    {makeSample("GOOD" + std::to_string(i), t + std::chrono::minutes(i), "net", "app", 2, 3)});
            }
        });
    });
    threads.emplace_back([&] {
        guarded([&] {
            for (int i = 0; i < 120; ++i) {
                repository->upsertApplication(
                    {"solo" + std::to_string(i), "solo", "Solo", std::nullopt, 0, 0, 0, "nettop"}, t);
                repository->recordThresholdEvent(ostrel::AlertLevel::warning, i, ostrel::TimeframePreset::daily, false);
            }
        });
    });
    threads.emplace_back([&] {
        guarded([&] {
            for (int i = 0; i < 60; ++i) {
                repository->setActiveNetwork({"wifi" + std::to_string(i % 3), "Wi-Fi", ostrel::NetworkType::wifi, true,
                                              "wlan0", ostrel::NetworkResolutionState::resolved, "nl80211", 1},
                                             t);
                (void)repository->loadSettings();
            }
        });
    });
    for (auto& thread : threads) thread.join();

    EXPECT_EQ(unexpected.load(), 0);
    DatabaseInspector inspector(path);
    EXPECT_EQ(inspector.scalar("SELECT COUNT(*) FROM usage_samples;"), 61);
    EXPECT_EQ(inspector.scalar("SELECT COUNT(*) FROM applications WHERE id LIKE 'solo%';"), 120);
    EXPECT_EQ(inspector.scalar("SELECT COUNT(*) FROM threshold_events;"), 120);
    EXPECT_EQ(inspector.scalar("SELECT COUNT(*) FROM networks WHERE id LIKE 'wifi%';"), 3);
    EXPECT_EQ(inspector.scalar("SELECT COUNT(*) FROM networks WHERE id = 'bad-net';"), 0);
    const std::int64_t raw = inspector.scalar("SELECT SUM(rx_bytes + tx_bytes) FROM usage_samples;");
    EXPECT_EQ(raw, 2 + 60 * 5);
    EXPECT_EQ(inspector.scalar("SELECT SUM(rx_bytes + tx_bytes) FROM daily_usage;"), raw);
    EXPECT_EQ(inspector.scalar("SELECT SUM(rx_bytes + tx_bytes) FROM hourly_usage;"), raw);
}

}  // namespace
