#include "PlatformAdapters/support/SamplingRig.hpp"

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>

#include "Platform/ToolPaths.hpp"

namespace ostrel::testing {

void ScriptedAttribution::set(std::vector<AppUsageAttribution> attributions) {
    std::lock_guard lock(mutex_);
    attributions_ = std::move(attributions);
}

std::vector<AppUsageAttribution> ScriptedAttribution::attributedUsage(std::int64_t, std::int64_t) {
    ++calls_;
    std::lock_guard lock(mutex_);
    return attributions_;
}

AppUsageAttribution attribution(const std::string& appID, std::int64_t rx, std::int64_t tx) {
    AppUsageAttribution a;
    a.appID = appID;
    a.bundleID = appID;
    a.name = "Name of " + appID;
    a.rxBytes = rx;
    a.txBytes = tx;
    a.confidence = 0.55;
    a.source = "nettop";
    return a;
}

SamplingRig::SamplingRig() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ostrel-sampling-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    folder = pattern;
    databasePath = folder + "/ostrel.sqlite";
    clockNs = std::chrono::nanoseconds(std::chrono::hours(24 * 365 * 56)).count();

    auto source = std::make_unique<FakeInterfaceCounterSource>();
    counters = source.get();
    counters->set({{"eth0", 0, 0}, {"lo", 0, 0}});
    routeThrough("eth0");

    ToolPaths paths = ToolPaths::inLibexec("/test/libexec");
    paths.route = routeTool;
    auto clock = [this] { return now(); };
    repository = std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(databasePath));
    probe = std::make_unique<SQLiteDatabase>(databasePath);
    coordinator = SamplingCoordinator::create(
        std::make_unique<TrafficMonitorAdapter>(std::move(source), tools, routeTool, clock),
        std::make_unique<NetworkIdentityResolver>(wifi, tools, paths),
        std::make_unique<TrafficAttributionLayer>(std::vector<std::shared_ptr<TrafficAttributionProviding>>{provider}),
        repository, mainQueue, log, clock);
    coordinator->setOnNewSampleBatch([this] { ++batches; });
}

SamplingRig::~SamplingRig() {
    coordinator.reset();
    repository.reset();
    probe.reset();
    std::filesystem::remove_all(folder);
}

void SamplingRig::traffic(std::uint32_t rx, std::uint32_t tx) {
    eth0Rx += rx;
    eth0Tx += tx;
    counters->set({{"eth0", eth0Rx, eth0Tx}, {"lo", eth0Rx * 3, eth0Tx * 3}});
}

void SamplingRig::routeThrough(const std::string& interface) {
    tools->answer(routeTool, "route to: default\ninterface: " + interface + "\n");
}

std::int64_t SamplingRig::scalar(const std::string& sql) const {
    std::int64_t value = 0;
    probe->query(sql, {}, [&](const SQLiteRow& row) { value = row.int64(0); });
    return value;
}

std::string SamplingRig::text(const std::string& sql) const {
    std::string value;
    probe->query(sql, {}, [&](const SQLiteRow& row) { value = row.text(0); });
    return value;
}

void SamplingRig::execute(const std::string& sql) const {
    probe->execute(sql);
}

}  // namespace ostrel::testing
