#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Persistence/SQLiteDatabase.hpp"
#include "Platform/FakeDefaultRouteLookup.hpp"
#include "Platform/FakeWifiClient.hpp"
#include "Platform/ScriptedToolRunner.hpp"
#include "PlatformAdapters/SamplingCoordinator.hpp"

namespace ostrel::testing {

struct ScriptedAttribution final : TrafficAttributionProviding {
    std::vector<AppUsageAttribution> attributedUsage(std::int64_t, std::int64_t) override;
    std::mutex mutex;
    std::vector<AppUsageAttribution> answer;
};

// A coordinator storing into a real SQLite file in a temporary folder. By default over fake
// counters (eth0 and lo), a fake route lookup, scripted attribution and clocks the test moves by
// hand (the wall clock, and a monotonic one that only time passing moves); `realMachine` takes
// the kernel's counters and routes, the built tools and the real clocks.
struct SamplingRig {
    struct Share {
        std::string appID;
        std::int64_t rx = 0, tx = 0;
    };

    explicit SamplingRig(bool realMachine = false);
    ~SamplingRig();

    Date now() const { return Date{std::chrono::nanoseconds(clockNs.load())}; }
    // Time passes: both clocks move on.
    void advance(std::chrono::milliseconds by) {
        clockNs += std::chrono::nanoseconds(by).count();
        elapsedNs += std::chrono::nanoseconds(by).count();
    }
    // The wall clock is set, back or forward; no time passes.
    void setWallClock(std::chrono::milliseconds by) { clockNs += std::chrono::nanoseconds(by).count(); }
    void traffic(std::uint32_t rx, std::uint32_t tx);  // moves eth0 on; lo moves three times as much
    void routeThrough(const std::string& interface);
    void attribute(const std::vector<Share>& shares);
    // The first value of a query through the test's own connection.
    std::string text(const std::string& sql) const;
    std::int64_t scalar(const std::string& sql) const { return std::atoll(text(sql).c_str()); }

    std::string folder;
    std::atomic<std::int64_t> clockNs{std::chrono::nanoseconds(std::chrono::hours(24 * 365 * 56)).count()};
    std::atomic<std::int64_t> elapsedNs{std::chrono::nanoseconds(std::chrono::hours(100)).count()};
    FakeInterfaceCounterSource* counters = nullptr;
    FakeDefaultRouteLookup* route = nullptr;
    std::uint32_t eth0Rx = 0, eth0Tx = 0;
    std::shared_ptr<ScriptedToolRunner> tools = std::make_shared<ScriptedToolRunner>();
    std::shared_ptr<FakeWifiClient> wifi = std::make_shared<FakeWifiClient>();
    std::shared_ptr<ScriptedAttribution> provider = std::make_shared<ScriptedAttribution>();
    std::unique_ptr<SQLiteDatabase> probe;
    std::shared_ptr<PumpableMainQueue> mainQueue = std::make_shared<PumpableMainQueue>();
    std::shared_ptr<CapturingLogSink> log = std::make_shared<CapturingLogSink>();
    std::atomic<int> batches{0};
    std::atomic<int> networkChanges{0};
    std::shared_ptr<SamplingCoordinator> coordinator;
};

// Polls `done` until it holds or a minute has passed; whether it held.
inline bool waitUntil(const std::function<bool()>& done) {
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1); !done();) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace ostrel::testing
