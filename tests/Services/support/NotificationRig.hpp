#pragma once

#include <stdio.h>
#include <sys/types.h>
#include <systemd/sd-bus.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Platform/LogSink.hpp"
#include "Platform/support/TempTree.hpp"

namespace ostrel::testing {

// Lines or calls that arrive on other threads, waited for.
template <class T>
class Arrivals {
public:
    void add(T item) {
        std::lock_guard lock(mutex_);
        items_.push_back(std::move(item));
        arrived_.notify_all();
    }
    // The items once `count` have arrived, or those that arrived within a minute.
    std::vector<T> waitFor(std::size_t count) {
        std::unique_lock lock(mutex_);
        arrived_.wait_for(lock, std::chrono::minutes(1), [&] { return items_.size() >= count; });
        return items_;
    }

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<T> items_;
};

struct WaitingLog final : LogSink, Arrivals<std::string> {
    void log(std::string_view line) override { add(std::string(line)); }
};

// A dbus-daemon of its own, listening in a temporary folder, with an empty service folder so
// that nothing is started on demand.
class PrivateSessionBus final {
public:
    PrivateSessionBus();
    ~PrivateSessionBus();
    const std::string& address() const { return address_; }
    // Stops the daemon where it is: connections are taken but never answered.
    void freeze() const;

private:
    TempTree tree_;
    FILE* output_ = nullptr;
    std::string address_;
    pid_t pid_ = -1;
};

struct ServerCall {
    std::string member, appName, summary, body;
    std::uint32_t replacesId = 0;
    std::map<std::string, std::string> hints;
    std::int32_t expireTimeout = 0;
};

// org.freedesktop.Notifications, recording Notify and GetServerInformation calls. A silent
// server records them and answers none.
class RecordingNotificationServer final : public Arrivals<ServerCall> {
public:
    explicit RecordingNotificationServer(const std::string& address, bool answers = true);
    ~RecordingNotificationServer();

private:
    static int handle(sd_bus_message* message, void* self, sd_bus_error* error);

    bool answers_;
    sd_bus* bus_ = nullptr;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace ostrel::testing
