#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Model/Date.hpp"
#include "Persistence/SQLiteDatabase.hpp"
#include "Platform/FakeWifiClient.hpp"
#include "Platform/InterfaceCounterSource.hpp"
#include "Platform/LogSink.hpp"
#include "Platform/MainQueue.hpp"
#include "Platform/ScriptedToolRunner.hpp"
#include "PlatformAdapters/SamplingCoordinator.hpp"
#include "PlatformAdapters/TrafficAttributionProviding.hpp"

namespace ostrel::testing {

// Reports the attributions a test sets, and counts how often it was asked.
class ScriptedAttribution final : public TrafficAttributionProviding {
public:
    void set(std::vector<AppUsageAttribution> attributions);
    std::vector<AppUsageAttribution> attributedUsage(std::int64_t totalRxBytes, std::int64_t totalTxBytes) override;
    int calls() const { return calls_.load(); }

private:
    std::mutex mutex_;
    std::vector<AppUsageAttribution> attributions_;
    std::atomic<int> calls_{0};
};

AppUsageAttribution attribution(const std::string& appID, std::int64_t rx, std::int64_t tx);

// A coordinator over fake counters, a scripted route tool, no Wi-Fi, scripted attribution and a
// real repository in a temporary SQLite file, with a clock the test moves by hand.
class SamplingRig {
public:
    static constexpr const char* routeTool = "/test/libexec/ostrel-route";

    SamplingRig();
    ~SamplingRig();

    Date now() const { return Date{std::chrono::nanoseconds(clockNs.load())}; }
    void advance(std::chrono::milliseconds by) { clockNs += std::chrono::nanoseconds(by).count(); }
    void setNow(Date at) { clockNs = at.time_since_epoch().count(); }

    // Moves eth0's counters on by the given bytes.
    void traffic(std::uint32_t rx, std::uint32_t tx);
    void routeThrough(const std::string& interface);

    // One value from the database file, read through a connection of the test's own.
    std::int64_t scalar(const std::string& sql) const;
    std::string text(const std::string& sql) const;
    void execute(const std::string& sql) const;

    std::string folder;
    std::string databasePath;
    std::atomic<std::int64_t> clockNs{0};
    FakeInterfaceCounterSource* counters = nullptr;
    std::uint32_t eth0Rx = 0;
    std::uint32_t eth0Tx = 0;
    std::shared_ptr<ScriptedToolRunner> tools = std::make_shared<ScriptedToolRunner>();
    std::shared_ptr<FakeWifiClient> wifi = std::make_shared<FakeWifiClient>();
    std::shared_ptr<ScriptedAttribution> provider = std::make_shared<ScriptedAttribution>();
    std::shared_ptr<OstrelRepository> repository;
    std::unique_ptr<SQLiteDatabase> probe;
    std::shared_ptr<PumpableMainQueue> mainQueue = std::make_shared<PumpableMainQueue>();
    std::shared_ptr<CapturingLogSink> log = std::make_shared<CapturingLogSink>();
    std::atomic<int> batches{0};
    std::shared_ptr<SamplingCoordinator> coordinator;
};

}  // namespace ostrel::testing
