#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "Platform/FakeLoginItem.hpp"
#include "Platform/FakeNotificationCenter.hpp"
#include "Platform/InterfaceCounterSource.hpp"
#include "Platform/support/TempTree.hpp"
#include "Platform/support/ToolStateFolders.hpp"
#include "Services/OstrelDataService.hpp"

namespace ostrel::testing {

// A data service on a temporary XDG data folder, (re)started by the test: fake notification
// centre and login item, a captured log, a pumped main queue, the built core library or none, a
// clock the test sets, and a sampler over eth0 counters the test moves that gives each tick's
// bytes 3 to 1 to "Browser" and "Mail". With `realSampler`: the sampler over this machine and
// the real clock.
struct DataServiceRig {
    DataServiceRig();
    ~DataServiceRig();

    OstrelDataService& start();  // releases the running service first
    // Waits until nothing else holds the service, then drops it.
    void releaseService();
    Date now() const { return Date{std::chrono::nanoseconds(clockNs.load())}; }
    void setNow(Date date) { clockNs = date.time_since_epoch().count(); }
    void traffic(std::uint32_t rx, std::uint32_t tx);  // eth0 moves on
    // A sample of `appID` on "net-home", written through a second connection.
    void store(Date at, const std::string& appID, std::int64_t rx);
    std::shared_ptr<OstrelRepository> repository();
    std::string text(const std::string& sql);  // the first value, on the database file

    TempTree folder;
    std::string dataHome = folder.root + "/data home/nested";
    std::string databasePath = dataHome + "/Ostrel/ostrel.sqlite";
    bool mockData = false, coreLibrary = true, realSampler = false;
    std::optional<std::string> bundleIdentifier = "com.ostrel.Ostrel";
    std::shared_ptr<PumpableMainQueue> mainQueue = std::make_shared<PumpableMainQueue>();
    std::shared_ptr<MainQueue> programQueue;  // when set, the service's main queue instead
    std::shared_ptr<CapturingLogSink> log = std::make_shared<CapturingLogSink>();
    std::shared_ptr<FakeNotificationCenter> notifications = std::make_shared<FakeNotificationCenter>();
    std::shared_ptr<FakeLoginItem> loginItem = std::make_shared<FakeLoginItem>();
    std::atomic<std::int64_t> clockNs{0};
    std::shared_ptr<SamplingCoordinator> sampler;
    std::shared_ptr<OstrelDataService> service;

private:
    std::mutex mutex_;
    FakeInterfaceCounterSource* counters_ = nullptr;
    std::uint32_t rx_ = 0, tx_ = 0;
    std::shared_ptr<OstrelRepository> repository_;
    std::optional<ToolStateFolders> toolState_;  // the real sampler's per-process tool keeps its state here
};

}  // namespace ostrel::testing
