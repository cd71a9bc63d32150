#include "Services/support/DataServiceRig.hpp"

#include "Platform/FakeWifiClient.hpp"
#include "Platform/ScriptedToolRunner.hpp"
#include "PlatformAdapters/TrafficAttributionProviding.hpp"
#include "Services/SamplingPipeline.hpp"

namespace ostrel::testing {
namespace {

constexpr const char* kTools = "/test/libexec";

// Three quarters of each tick to "app-browser", the rest to "app-mail".
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
    service.reset();
    sampler.reset();
    repository_.reset();
}

OstrelDataService::Dependencies DataServiceRig::dependencies() {
    OstrelDataService::Dependencies dependencies;
    dependencies.dataHome = dataHome;
    dependencies.mockDataEnabled = mockData;
    dependencies.mainQueue = mainQueue;
    dependencies.log = log;
    dependencies.notificationCenter = notifications;
    dependencies.bundleIdentifier = bundleIdentifier;
    dependencies.loginItem = loginItem;
    const auto nowhere = folder.root + "/nowhere/libostrel_core.so";
    dependencies.vellCore = [this, nowhere] {
        return coreLibrary ? VellCoreBridge::shared()
                           : std::make_shared<const VellCoreBridge>(std::vector<std::string>{nowhere}, log);
    };
    if (realSampler) {
        dependencies.makeSampler = [this](auto repository, auto queue, auto samplerLog) {
            return sampler = makeSamplingPipeline(repository, queue, samplerLog, OSTREL_BUILD_LIBEXEC_DIR);
        };
        return dependencies;
    }
    dependencies.clock = [this] { return now(); };
    dependencies.makeSampler = [this](auto repository, auto queue, auto samplerLog) {
        auto runner = std::make_shared<ScriptedToolRunner>();
        runner->answer(ToolPaths::inLibexec(kTools).route, "interface: eth0\n");
        auto source = std::make_unique<FakeInterfaceCounterSource>();
        {
            std::lock_guard lock(countersMutex_);
            counters_ = source.get();
            counters_->set({{"eth0", rx_, tx_}});
        }
        return sampler = SamplingCoordinator::create(
                   std::make_unique<TrafficMonitorAdapter>(
                       std::move(source), runner, ToolPaths::inLibexec(kTools).route, [this] { return now(); }),
                   std::make_unique<NetworkIdentityResolver>(std::make_shared<FakeWifiClient>(), runner,
                                                             ToolPaths::inLibexec(kTools)),
                   std::make_unique<TrafficAttributionLayer>(
                       std::vector<std::shared_ptr<TrafficAttributionProviding>>{std::make_shared<ThreeToOne>()}),
                   repository, queue, samplerLog, [this] { return now(); });
    };
    return dependencies;
}

OstrelDataService& DataServiceRig::start() {
    service.reset();
    service = OstrelDataService::create(dependencies());
    return *service;
}

void DataServiceRig::traffic(std::uint32_t rx, std::uint32_t tx) {
    std::lock_guard lock(countersMutex_);
    rx_ += rx;
    tx_ += tx;
    if (counters_ != nullptr) counters_->set({{"eth0", rx_, tx_}});
}

void DataServiceRig::tick() {
    sampler->collectSampleNow();
}

std::shared_ptr<OstrelRepository> DataServiceRig::repository() {
    if (!repository_) {
        repository_ = std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(databasePath()));
    }
    return repository_;
}

void DataServiceRig::store(Date at, const std::string& appID, std::int64_t rx, std::int64_t tx) {
    static std::atomic<int> serial{0};
    repository()->insertSamples({{"S" + std::to_string(++serial), at, "net-home", "Home", NetworkType::wifi, appID,
                                  "Name of " + appID, rx, tx, "nettop", 0.8}});
}

std::string DataServiceRig::text(const std::string& sql) {
    std::string value;
    SQLiteDatabase(databasePath()).query(sql, {}, [&](const SQLiteRow& row) { value = row.text(0); });
    return value;
}

}  // namespace ostrel::testing
