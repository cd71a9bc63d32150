#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Platform/FakeLoginItem.hpp"
#include "Platform/FakeNotificationCenter.hpp"
#include "Platform/InterfaceCounterSource.hpp"
#include "Platform/support/TempTree.hpp"
#include "Services/OstrelDataService.hpp"

namespace ostrel::testing {

// A data service on a temporary XDG data folder, started and restarted by the test: fake
// notification centre and login item, a captured log, a pumped main queue, the built core
// library (or a candidate list that finds nothing), a clock the test moves, and a sampler over
// interface counters the test sets (eth0, the default route) that splits each tick between two
// applications, 3 to 1. A second repository on the same file lets the test write and look.
class DataServiceRig {
public:
    DataServiceRig();
    ~DataServiceRig();

    // Releases the running service, if any, and starts a new one with the fields below.
    OstrelDataService& start();
    OstrelDataService::Dependencies dependencies();
    void stop() { service.reset(); }

    Date now() const { return Date{std::chrono::nanoseconds(clockNs.load())}; }
    void setNow(Date date) { clockNs = date.time_since_epoch().count(); }
    void advance(std::chrono::milliseconds by) { clockNs += std::chrono::nanoseconds(by).count(); }
    // eth0 moves on by this much.
    void traffic(std::uint32_t rx, std::uint32_t tx);
    // One sampler tick now, waited for.
    void tick();
    // Written through a second connection: one sample at `at` of `appID` on "net-home".
    void store(Date at, const std::string& appID, std::int64_t rx, std::int64_t tx = 0);
    std::shared_ptr<OstrelRepository> repository();
    // The first value of a query on the database file, as text.
    std::string text(const std::string& sql);
    std::int64_t scalar(const std::string& sql) { return std::stoll(text(sql)); }

    TempTree folder;
    std::string dataHome = folder.root + "/data home/nested";
    std::string databasePath() const { return dataHome + "/Ostrel/ostrel.sqlite"; }
    bool mockData = false;
    bool coreLibrary = true;
    std::optional<std::string> bundleIdentifier = "com.ostrel.Ostrel";
    bool realSampler = false;  // the sampler over this machine, with the real clock

    std::shared_ptr<PumpableMainQueue> mainQueue = std::make_shared<PumpableMainQueue>();
    std::shared_ptr<CapturingLogSink> log = std::make_shared<CapturingLogSink>();
    std::shared_ptr<FakeNotificationCenter> notifications = std::make_shared<FakeNotificationCenter>();
    std::shared_ptr<FakeLoginItem> loginItem = std::make_shared<FakeLoginItem>();
    std::atomic<std::int64_t> clockNs{0};
    std::shared_ptr<SamplingCoordinator> sampler;
    std::shared_ptr<OstrelDataService> service;

private:
    std::mutex countersMutex_;
    FakeInterfaceCounterSource* counters_ = nullptr;
    std::uint32_t rx_ = 0, tx_ = 0;
    std::shared_ptr<OstrelRepository> repository_;
};

}  // namespace ostrel::testing
