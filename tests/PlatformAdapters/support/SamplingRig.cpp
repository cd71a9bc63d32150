#include "PlatformAdapters/support/SamplingRig.hpp"

#include <stdlib.h>

#include <filesystem>

#include "Platform/FakeRunningApplications.hpp"
#include "Platform/NetlinkDefaultRouteLookup.hpp"
#include "Platform/ProcessToolRunner.hpp"
#include "PlatformAdapters/NettopTrafficAttributionProvider.hpp"

namespace ostrel::testing {

std::vector<AppUsageAttribution> ScriptedAttribution::attributedUsage(std::int64_t, std::int64_t) {
    std::lock_guard lock(mutex);
    return answer;
}

SamplingRig::SamplingRig(bool realMachine) {
    folder = (std::filesystem::temp_directory_path() / "ostrel-sampling-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) throw std::runtime_error("cannot make a temporary folder");
    const ToolPaths paths = ToolPaths::inLibexec(realMachine ? OSTREL_BUILD_LIBEXEC_DIR : "/test/libexec");
    std::shared_ptr<ToolRunner> runner = tools;
    std::shared_ptr<TrafficAttributionProviding> attribution = provider;
    std::unique_ptr<InterfaceCounterSource> source = std::make_unique<GetifaddrsCounterSource>();
    std::unique_ptr<DefaultRouteLookup> routeLookup = std::make_unique<NetlinkDefaultRouteLookup>();
    std::function<Date()> clock = currentDate;
    std::function<SamplingCoordinator::ElapsedClock::time_point()> elapsedClock =
        SamplingCoordinator::ElapsedClock::now;
    if (realMachine) {
        runner = std::make_shared<ProcessToolRunner>(std::chrono::seconds(30));  // a loaded machine
        attribution = std::make_shared<NettopTrafficAttributionProvider>(runner, paths,
                                                                         std::make_shared<FakeRunningApplications>());
    } else {
        auto fake = std::make_unique<FakeInterfaceCounterSource>();
        counters = fake.get();
        source = std::move(fake);
        auto fakeRoute = std::make_unique<FakeDefaultRouteLookup>();
        route = fakeRoute.get();
        routeLookup = std::move(fakeRoute);
        traffic(0, 0);
        routeThrough("eth0");
        clock = [this] { return now(); };
        elapsedClock = [this] {
            return SamplingCoordinator::ElapsedClock::time_point(std::chrono::nanoseconds(elapsedNs.load()));
        };
    }
    auto repository = std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(folder + "/ostrel.sqlite"));
    probe = std::make_unique<SQLiteDatabase>(folder + "/ostrel.sqlite");
    coordinator = SamplingCoordinator::create(
        std::make_unique<TrafficMonitorAdapter>(std::move(source), std::move(routeLookup), clock),
        std::make_unique<NetworkIdentityResolver>(wifi, runner, paths),
        std::make_unique<TrafficAttributionLayer>(std::vector{attribution}), repository, mainQueue, log, clock,
        elapsedClock);
    coordinator->setOnNewSampleBatch([this] { ++batches; });
    coordinator->setOnActiveNetworkChange([this] { ++networkChanges; });
}

SamplingRig::~SamplingRig() {
    coordinator.reset();
    probe.reset();
    std::filesystem::remove_all(folder);
}

void SamplingRig::traffic(std::uint32_t rx, std::uint32_t tx) {
    eth0Rx += rx;
    eth0Tx += tx;
    counters->set({{"eth0", eth0Rx, eth0Tx}, {"lo", eth0Rx * 3, eth0Tx * 3}});
}

void SamplingRig::routeThrough(const std::string& interface) {
    route->set(interface);
}

void SamplingRig::attribute(const std::vector<Share>& shares) {
    std::lock_guard lock(provider->mutex);
    provider->answer.clear();
    for (const auto& share : shares) {
        provider->answer.push_back(
            {share.appID, share.appID, "Name of " + share.appID, std::nullopt, share.rx, share.tx, 0.55, "nettop"});
    }
}

std::string SamplingRig::text(const std::string& sql) const {
    std::string value;
    probe->query(sql, {}, [&](const SQLiteRow& row) { value = row.text(0); });
    return value;
}

}  // namespace ostrel::testing
