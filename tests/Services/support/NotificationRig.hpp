#pragma once

#include <sys/types.h>
#include <systemd/sd-bus.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "Platform/LogSink.hpp"
#include "Platform/support/TempTree.hpp"

namespace ostrel::testing {

// A dbus-daemon of its own, listening in a temporary folder, with an empty service folder so
// that nothing is started on demand. Stopped and reaped with the object.
class PrivateSessionBus final {
public:
    PrivateSessionBus();
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    const std::string& address() const { return address_; }

private:
    TempTree tree_;
    std::string address_;
    pid_t pid_ = -1;
};

// One call that reached the notification server.
struct ServerCall {
    std::string member;
    std::string appName;
    std::uint32_t replacesId = 0;
    std::string icon;
    std::string summary;
    std::string body;
    std::map<std::string, std::string> hints;  // values that are not strings as "<signature>"
    std::int32_t expireTimeout = 0;
};

// org.freedesktop.Notifications on a bus, recording every Notify and GetServerInformation. A
// silent server owns the name and records the calls but answers none.
class RecordingNotificationServer final {
public:
    explicit RecordingNotificationServer(const std::string& address, bool answers = true);
    ~RecordingNotificationServer();
    RecordingNotificationServer(const RecordingNotificationServer&) = delete;
    RecordingNotificationServer& operator=(const RecordingNotificationServer&) = delete;

    // The calls once `count` have arrived, or those that arrived within the time.
    std::vector<ServerCall> waitForCalls(std::size_t count, std::chrono::seconds within = std::chrono::seconds(10));

private:
    static int onNotify(sd_bus_message* message, void* self, sd_bus_error* error);
    static int onServerInformation(sd_bus_message* message, void* self, sd_bus_error* error);
    int record(sd_bus_message* message, ServerCall call);
    void run();

    struct BusCloser {
        void operator()(sd_bus* bus) const { sd_bus_close_unref(bus); }
    };

    bool answers_;
    std::unique_ptr<sd_bus, BusCloser> bus_;
    int stopFd_ = -1;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<ServerCall> calls_;
    std::thread thread_;
};

// A log that lets a test wait for lines logged on other threads.
class WaitingLog final : public LogSink {
public:
    void log(std::string_view line) override;
    std::vector<std::string> waitForLines(std::size_t count, std::chrono::seconds within = std::chrono::seconds(10));

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<std::string> lines_;
};

}  // namespace ostrel::testing
