#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "Platform/FakeLocationManager.hpp"
#include "Services/LocationPermissionService.hpp"

using namespace std::chrono_literals;

namespace ostrel {
namespace {

using Status = LocationPermissionStatus;
using Strings = std::vector<std::string>;
constexpr const char* whenInUse = R"({"NSLocationWhenInUseUsageDescription": "Wi-Fi names"})";

// Hooks are recorded with the virtual time they run at.
struct Rig {
    Rig(int authorization, bool servicesEnabled = true, const char* info = whenInUse)
        : manager(std::make_shared<FakeLocationManager>(authorization, servicesEnabled)),
          service(LocationPermissionService::create(manager, BundleInfo::parse(info), queue)) {
        // Set after construction, before its announcement runs: it still receives it.
        service->onStatusChanged = [this](Status status) { seen.push_back(status); };
        const auto record = [this](std::string hook) {
            events.push_back(hook + " " + std::to_string(queue->now().count()));
        };
        service->setHooks({[=] { record("close"); }, [=] { record("front"); }, {}});
    }

    std::shared_ptr<PumpableMainQueue> queue = std::make_shared<PumpableMainQueue>();
    std::shared_ptr<FakeLocationManager> manager;
    std::shared_ptr<LocationPermissionService> service;
    std::vector<Status> seen;
    Strings events;
};

TEST(LocationPermissionServiceTest, LaunchMapsTheStateAndAsksOnceOnlyWhenUndecidedAfterTheWindowHooks) {
    const std::tuple<int, bool, Status> cases[] = {
        {0, true, Status::notDetermined}, {1, true, Status::restricted}, {2, true, Status::denied},
        {3, true, Status::authorized},    {4, true, Status::authorized}, {5, true, Status::unknown},
        {7, true, Status::unknown},       {-1, true, Status::unknown},   {0, false, Status::servicesDisabled}};
    for (const auto& [authorization, servicesEnabled, status] : cases) {
        SCOPED_TRACE(std::to_string(authorization) + (servicesEnabled ? " on" : " off"));
        const bool asks = status == Status::notDetermined;
        Rig rig(authorization, servicesEnabled);
        rig.service->requestAccessIfNeededOnLaunch();
        rig.queue->advance(799ms);
        EXPECT_TRUE(rig.events.empty());
        rig.queue->advance(1ms);
        EXPECT_EQ(rig.events, (asks ? Strings{"close 800", "front 800"} : Strings{}));
        rig.queue->advance(149ms);
        EXPECT_EQ(rig.manager->requestCount(), 0);
        rig.queue->advance(1ms);
        EXPECT_EQ(rig.manager->requestCount(), asks ? 1 : 0);
        rig.queue->advance(10s);
        EXPECT_EQ(rig.manager->requestCount(), asks ? 1 : 0);
        EXPECT_EQ(rig.seen, std::vector<Status>(2, status));  // construction and launch: same value, two calls
    }
}

TEST(LocationPermissionServiceTest, RequestAsksWhateverTheStatusUnlessUndescribedOrServicesOff) {
    const char* none = R"({"BundleIdentifier": "com.ostrel.Ostrel"})";
    const std::tuple<const char*, int, bool, bool, Status> cases[] = {
        {whenInUse, 2, true, true, Status::denied},  // asks again after a refusal
        {whenInUse, 0, true, false, Status::notDetermined},
        {R"({"NSLocationUsageDescription": "Wi-Fi"})", 0, true, true, Status::notDetermined},
        {R"({"NSLocationUsageDescription": null})", 0, true, true, Status::notDetermined},
        {whenInUse, 0, false, true, Status::servicesDisabled},
        {none, 0, true, true, Status::missingUsageDescription},
        {none, 3, false, true, Status::missingUsageDescription}};
    for (const auto& [info, authorization, servicesEnabled, hooks, status] : cases) {
        SCOPED_TRACE(std::string(info) + " " + std::to_string(authorization));
        const bool asks = status != Status::servicesDisabled && status != Status::missingUsageDescription;
        Rig rig(authorization, servicesEnabled, info);
        rig.queue->pump();
        rig.seen.clear();
        rig.service->requestAccess(hooks, hooks);
        rig.queue->advance(150ms);
        EXPECT_EQ(rig.events, (asks && hooks ? Strings{"close 0", "front 0"} : Strings{}));
        EXPECT_EQ(rig.manager->requestCount(), asks ? 1 : 0);
        // Announced by the request only when it cannot ask.
        EXPECT_EQ(rig.seen, asks ? std::vector<Status>{} : std::vector<Status>{status});
        EXPECT_EQ(rig.service->status(), status);
    }
}

TEST(LocationPermissionServiceTest, SystemReportsReachTheLatestCallbackAndNothingRunsForAReleasedService) {
    Rig rig(LocationManager::notDetermined);
    std::vector<Status> later;
    rig.manager->setState(LocationManager::authorizedWhenInUse);
    rig.manager->reportAuthorizationChange();
    EXPECT_EQ(rig.service->status(), Status::authorized);  // stored at once, announced later
    rig.service->onStatusChanged = [&](Status status) { later.push_back(status); };
    rig.queue->pump();
    EXPECT_TRUE(rig.seen.empty());
    EXPECT_EQ(later, (std::vector<Status>{Status::notDetermined, Status::authorized}));

    rig.manager->setState(LocationManager::notDetermined);
    rig.service->requestAccessIfNeededOnLaunch();
    rig.queue->advance(800ms);  // the ask is now 150 ms away
    rig.service->refreshStatus();
    rig.service.reset();
    rig.manager->reportAuthorizationChange();
    rig.queue->advance(1s);
    EXPECT_EQ(later.size(), 3u);
    EXPECT_EQ(rig.manager->requestCount(), 0);
}

TEST(LocationPermissionServiceTest, SharedInstanceOnLinuxIsAuthorizedAndARequestAnnouncesItAgain) {
    const auto queue = std::make_shared<PumpableMainQueue>();
    const auto service = LocationPermissionService::shared(queue);
    EXPECT_EQ(LocationPermissionService::shared(std::make_shared<PumpableMainQueue>()), service);
    std::vector<Status> seen;
    service->onStatusChanged = [&](Status status) { seen.push_back(status); };
    service->requestAccess(true, true);  // the build's Info.json describes the use
    queue->advance(150ms);
    EXPECT_EQ(seen, std::vector<Status>(2, Status::authorized));
    service->onStatusChanged = nullptr;
}

}  // namespace
}  // namespace ostrel
