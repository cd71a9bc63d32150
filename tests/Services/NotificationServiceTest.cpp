#include <gtest/gtest.h>
#include <stdlib.h>

#include "Platform/DbusNotificationCenter.hpp"
#include "Services/NotificationService.hpp"
#include "Services/support/NotificationRig.hpp"

using namespace std::chrono_literals;

namespace ostrel {
namespace {

using testing::PrivateSessionBus;
using testing::RecordingNotificationServer;
using testing::WaitingLog;

constexpr std::int64_t GiB = 1024LL * 1024 * 1024;

TEST(NotificationServiceTest, WarningAndDangerPostsReachTheServerAndNothingGoesOutWithoutABundleIdentifier) {
    PrivateSessionBus bus;
    ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);  // the program's own way to the bus
    RecordingNotificationServer server(bus.address());
    auto center = std::make_shared<DbusNotificationCenter>(std::nullopt, 60s);  // a loaded machine still answers
    auto log = std::make_shared<WaitingLog>();
    NotificationService anonymous(center, std::nullopt, log);
    anonymous.requestPermissionIfNeeded();
    anonymous.notifyThreshold(AlertLevel::danger, {GiB, GiB});
    // Two posts within one second: the fraction keeps their identifiers apart.
    std::vector<Date> instants{Date{1767225600s}, Date{1767225600s} + 500ms};
    NotificationService service(center, "com.ostrel.Ostrel", log,
                                [&, next = 0u]() mutable { return instants.at(next++); });
    service.notifyThreshold(AlertLevel::normal, {GiB, GiB});
    service.requestPermissionIfNeeded();
    struct Post {
        AlertLevel level;
        UsageSummary summary;
        const char *title, *body, *identifier;
    };
    // clang-format off
    const Post posts[] = {
        {AlertLevel::warning, {4 * GiB, GiB}, "Ostrel Warning Threshold", "Today reached 5 GB of traffic.",
         "ostrel.threshold.warning.1767225600.0"},
        {AlertLevel::danger, {GiB, 9 * GiB}, "Ostrel Danger Threshold", "Today reached 10 GB of traffic.",
         "ostrel.threshold.danger.1767225600.5"}};
    // clang-format on
    for (const auto& post : posts) service.notifyThreshold(post.level, post.summary);

    // One call at a time, in order: calls without an identifier would have come first.
    const auto calls = server.waitFor(3);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].member, "GetServerInformation");
    for (std::size_t i = 0; i < std::size(posts); ++i) {
        const auto& call = calls[i + 1];
        EXPECT_EQ(std::tie(call.member, call.appName, call.replacesId, call.summary, call.body, call.expireTimeout),
                  std::tuple("Notify", "Ostrel", 0u, posts[i].title, posts[i].body, -1));
        EXPECT_EQ(call.hints, (std::map<std::string, std::string>{{"sound-name", "message-new-instant"},
                                                                  {"x-ostrel-identifier", posts[i].identifier}}));
    }
    EXPECT_TRUE(log->waitFor(0).empty());
}

// Each failure arrives as the logged texts long before the bus library's own limits (25 s for a
// call, more for a handshake) would end the wait.
TEST(NotificationServiceTest, NoBusAStuckBusNoServerOrASilentOneIsALoggedErrorWithinTheTimeLimit) {
    PrivateSessionBus bus, stuckBus, silentBus;
    stuckBus.freeze();
    RecordingNotificationServer silent(silentBus.address(), false);
    // The limit is short where nothing answers; where the bus answers, time enough to do so.
    const std::tuple<std::string, std::chrono::milliseconds, const char*> cases[] = {
        {"unix:path=/nonexistent/ostrel/bus", 60s, "Cannot reach the session bus: No such file or directory"},
        {stuckBus.address(), 500ms, "Cannot reach the session bus: Connection timed out"},
        {bus.address(), 60s, "The name org.freedesktop.Notifications was not provided by any .service files"},
        {silentBus.address(), 500ms, "No answer from the notification server: Connection timed out"}};
    for (const auto& [address, limit, reason] : cases) {
        auto log = std::make_shared<WaitingLog>();
        NotificationService service(std::make_shared<DbusNotificationCenter>(address, limit), "com.ostrel.Ostrel", log);
        service.requestPermissionIfNeeded();
        service.notifyThreshold(AlertLevel::warning, {GiB, GiB});
        EXPECT_EQ(log->waitFor(3),
                  (std::vector<std::string>{"Notification permission error: " + std::string(reason),
                                            "Notification permission not granted",
                                            "Failed to schedule threshold notification: " + std::string(reason)}));
    }
    EXPECT_EQ(silent.waitFor(2).size(), 2u);
}

}  // namespace
}  // namespace ostrel
