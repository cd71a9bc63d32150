#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

#include "Platform/DbusNotificationCenter.hpp"
#include "Platform/UniqueFd.hpp"
#include "Services/NotificationService.hpp"
#include "Services/support/NotificationRig.hpp"

using namespace std::chrono_literals;

namespace ostrel {
namespace {

using testing::PrivateSessionBus;
using testing::RecordingNotificationServer;
using testing::WaitingLog;

constexpr std::int64_t GiB = 1024LL * 1024 * 1024;

// A socket that takes connections and never says a word, as a hung bus daemon would.
struct MuteSocket {
    explicit MuteSocket(const std::string& path) : fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        EXPECT_EQ(::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(fd.get(), 16), 0);
    }
    UniqueFd fd;
};

TEST(NotificationServiceTest, WarningAndDangerPostsReachTheServerAndNothingGoesOutWithoutABundleIdentifier) {
    PrivateSessionBus bus;
    // The program's own way to the session bus.
    ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);
    RecordingNotificationServer server(bus.address());
    auto center = std::make_shared<DbusNotificationCenter>();
    auto log = std::make_shared<WaitingLog>();

    NotificationService anonymous(center, std::nullopt, log);
    anonymous.requestPermissionIfNeeded();
    anonymous.notifyThreshold(AlertLevel::danger, {GiB, GiB});

    // Both posts within one second: the fraction keeps their identifiers apart.
    const Date second{std::chrono::seconds(1767225600)};
    std::vector<Date> instants{second, second + 500ms};
    NotificationService service(center, "com.ostrel.Ostrel", log,
                                [&, next = std::size_t{0}]() mutable { return instants.at(next++); });
    service.notifyThreshold(AlertLevel::normal, {GiB, GiB});
    service.requestPermissionIfNeeded();
    struct Post {
        AlertLevel level;
        UsageSummary summary;
        const char* title;
        const char* body;
        const char* identifier;
    };
    const Post posts[] = {
        {AlertLevel::warning,
         {4 * GiB, GiB},
         "Ostrel Warning Threshold",
         "Today reached 5 GB of traffic.",
         "ostrel.threshold.warning.1767225600.0"},
        {AlertLevel::danger,
         {GiB, 9 * GiB},
         "Ostrel Danger Threshold",
         "Today reached 10 GB of traffic.",
         "ostrel.threshold.danger.1767225600.5"},
    };
    for (const auto& post : posts) service.notifyThreshold(post.level, post.summary);

    // The centre makes one call at a time in order, so calls of the service without an
    // identifier would have come first.
    const auto calls = server.waitForCalls(3);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].member, "GetServerInformation");
    for (std::size_t i = 0; i < std::size(posts); ++i) {
        const auto& call = calls.at(i + 1);
        EXPECT_EQ(call.member, "Notify");
        EXPECT_EQ(call.appName, "Ostrel");
        EXPECT_EQ(call.replacesId, 0u);
        EXPECT_EQ(call.summary, posts[i].title);
        EXPECT_EQ(call.body, posts[i].body);
        EXPECT_EQ(call.hints, (std::map<std::string, std::string>{{"sound-name", "message-new-instant"},
                                                                  {"x-ostrel-identifier", posts[i].identifier}}));
        EXPECT_EQ(call.expireTimeout, -1);
    }
    EXPECT_TRUE(log->waitForLines(1, 0s).empty());
}

// Every failure arrives as the logged texts, well before the bus library's own limits (25 s
// for a call, longer for a handshake) would end the wait.
TEST(NotificationServiceTest, NoBusAStuckBusNoServerOrASilentOneIsALoggedErrorWithinTheTimeLimit) {
    PrivateSessionBus bus;
    PrivateSessionBus silentBus;
    RecordingNotificationServer silent(silentBus.address(), false);
    testing::TempTree tree;
    MuteSocket mute(tree.root + "/mute");
    struct Case {
        const char* name;
        std::string address;
        const char* reason;
    };
    const Case cases[] = {
        {"no bus", "unix:path=" + tree.root + "/missing", "Cannot reach the session bus: No such file or directory"},
        {"stuck bus", "unix:path=" + tree.root + "/mute", "Cannot reach the session bus: Connection timed out"},
        {"no server", bus.address(), "org.freedesktop.Notifications"},
        {"silent server", silentBus.address(), "No answer from the notification server: Connection timed out"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto log = std::make_shared<WaitingLog>();
        NotificationService service(std::make_shared<DbusNotificationCenter>(c.address, 250ms), "com.ostrel.Ostrel",
                                    log);
        service.requestPermissionIfNeeded();
        service.notifyThreshold(AlertLevel::warning, {GiB, GiB});
        const auto lines = log->waitForLines(3);
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_TRUE(lines[0].starts_with("Notification permission error: ")) << lines[0];
        EXPECT_EQ(lines[1], "Notification permission not granted");
        EXPECT_TRUE(lines[2].starts_with("Failed to schedule threshold notification: ")) << lines[2];
        for (const auto& line : {lines[0], lines[2]}) EXPECT_NE(line.find(c.reason), std::string::npos) << line;
    }
    EXPECT_EQ(silent.waitForCalls(2).size(), 2u);
}

}  // namespace
}  // namespace ostrel
