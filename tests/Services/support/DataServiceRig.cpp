#include "Services/support/DataServiceRig.hpp"

#include <thread>

#include "Platform/FakeDefaultRouteLookup.hpp"
#include "Platform/FakeWifiClient.hpp"
#include "Platform/ScriptedToolRunner.hpp"
#include "Services/SamplingPipeline.hpp"

namespace ostrel::testing {
namespace {

struct ThreeToOne final : TrafficAttributionProviding {
    std::vector<AppUsageAttribution> attributedUsage(std::int64_t rx, std::int64_t tx) override {
        return {{"app-browser", "app-browser", "Browser", std::nullopt, rx * 3, tx * 3, 0.8, "nettop"},
                {"app-mail", "app-mail", "Mail", std::nullopt, rx, tx, 0.8, "nettop"}};
    }
};

}  // namespace

DataServiceRig::DataServiceRig() {
    setNow(Date{std::chrono::sys_days{std::chrono::year{2026} / 3 / 10}} + std::chrono::hours{12});
}

DataServiceRig::~DataServiceRig() {
    releaseService();
    sampler.reset();
}

// Work that released view models left on their worker queues still holds the service, and the
// service reads this rig's clock: the rig lets go last, so the service ends here, not after it.
void DataServiceRig::releaseService() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (service && service.use_count() > 1 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    service.reset();
}

OstrelDataService& DataServiceRig::start() {
    releaseService();
    // Set before any thread of the service reads the environment.
    if (realSampler && !toolState_) toolState_.emplace();
    OstrelDataService::Dependencies d;
    d.dataHome = dataHome, d.mockDataEnabled = mockData, d.mainQueue = programQueue ? programQueue : mainQueue,
    d.log = log;
    d.notificationCenter = notifications, d.bundleIdentifier = bundleIdentifier, d.loginItem = loginItem;
    d.vellCore = [this, nowhere = folder.root + "/nowhere.so"] {
        return coreLibrary ? VellCoreBridge::shared()
                           : std::make_shared<const VellCoreBridge>(std::vector<std::string>{nowhere}, log);
    };
    d.makeSampler = [this](auto repository, auto queue, auto samplerLog) {
        if (realSampler) return sampler = makeSamplingPipeline(repository, queue, samplerLog, OSTREL_BUILD_LIBEXEC_DIR);
        const auto tools = ToolPaths::inLibexec("/test/libexec");
        auto runner = std::make_shared<ScriptedToolRunner>();
        auto source = std::make_unique<FakeInterfaceCounterSource>();
        {
            std::lock_guard lock(mutex_);
            (counters_ = source.get())->set({{"eth0", rx_, tx_}});
        }
        auto route = std::make_unique<FakeDefaultRouteLookup>();
        route->set("eth0");
        const auto clock = [this] { return now(); };
        // The tests set one clock; the sampler's intervals follow it too.
        const auto elapsed = [this] {
            return SamplingCoordinator::ElapsedClock::time_point(
                std::chrono::duration_cast<SamplingCoordinator::ElapsedClock::duration>(now().time_since_epoch()));
        };
        return sampler = SamplingCoordinator::create(
                   std::make_unique<TrafficMonitorAdapter>(std::move(source), std::move(route), clock),
                   std::make_unique<NetworkIdentityResolver>(std::make_shared<FakeWifiClient>(), runner, tools),
                   std::make_unique<TrafficAttributionLayer>(
                       std::vector<std::shared_ptr<TrafficAttributionProviding>>{std::make_shared<ThreeToOne>()}),
                   repository, queue, samplerLog, clock, elapsed);
    };
    if (!realSampler) d.clock = [this] { return now(); };
    service = OstrelDataService::create(std::move(d));
    return *service;
}

void DataServiceRig::traffic(std::uint32_t rx, std::uint32_t tx) {
    std::lock_guard lock(mutex_);
    rx_ += rx, tx_ += tx;
    if (counters_ != nullptr) counters_->set({{"eth0", rx_, tx_}});
}

std::shared_ptr<OstrelRepository> DataServiceRig::repository() {
    if (!repository_) repository_ = std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(databasePath));
    return repository_;
}

void DataServiceRig::store(Date at, const std::string& appID, std::int64_t rx) {
    static std::atomic<int> serial{0};
    // Appended rather than prefixed: GCC 12 warns falsely (-Wrestrict) on a literal + string at -O3.
    std::string id = "S", name = "Name of ";
    id += std::to_string(++serial), name += appID;
    repository()->insertSamples({{id, at, "net-home", "Home", NetworkType::wifi, appID, name, rx, 0, "nettop", 0.8}});
}

std::string DataServiceRig::text(const std::string& sql) {
    std::string value;
    SQLiteDatabase(databasePath).query(sql, {}, [&](const SQLiteRow& row) { value = row.text(0); });
    return value;
}

}  // namespace ostrel::testing
