#include "Platform/DbusNotificationCenter.hpp"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <utility>

namespace ostrel {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* serviceName = "org.freedesktop.Notifications";
constexpr const char* objectPath = "/org/freedesktop/Notifications";

class CallFailed final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct BusCloser {
    void operator()(sd_bus* bus) const { sd_bus_close_unref(bus); }
};
using Bus = std::unique_ptr<sd_bus, BusCloser>;

struct MessageUnref {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;

struct BusError {
    sd_bus_error value{};  // SD_BUS_ERROR_NULL, which C++ cannot spell
    BusError() = default;
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;
    ~BusError() { sd_bus_error_free(&value); }
};

void check(int result, const std::string& what) {
    if (result < 0) throw CallFailed(what + ": " + std::strerror(-result));
}

std::uint64_t microsecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<std::uint64_t>(left) : 0;
}

// A connection that has finished its handshake with the bus. sd-bus would wait for the handshake
// on its own, but with its own far longer limits.
Bus connect(const std::optional<std::string>& address, Clock::time_point deadline) {
    constexpr const char* unreachable = "Cannot reach the session bus";
    sd_bus* raw = nullptr;
    Bus bus;
    if (address) {
        check(sd_bus_new(&raw), unreachable);
        bus.reset(raw);
        check(sd_bus_set_address(bus.get(), address->c_str()), unreachable);
        check(sd_bus_set_bus_client(bus.get(), 1), unreachable);
        check(sd_bus_start(bus.get()), unreachable);
    } else {
        check(sd_bus_open_user(&raw), unreachable);
        bus.reset(raw);
    }
    for (;;) {
        int result = sd_bus_is_ready(bus.get());
        check(result, unreachable);
        if (result > 0) return bus;
        const auto left = microsecondsLeft(deadline);
        if (left == 0) check(-ETIMEDOUT, unreachable);
        result = sd_bus_process(bus.get(), nullptr);
        check(result, unreachable);
        if (result > 0) continue;
        result = sd_bus_wait(bus.get(), left);
        if (result != -EINTR) check(result, unreachable);
    }
}

// One method call of the notification server, connecting included, within `limit`.
void callServer(const std::optional<std::string>& address, std::chrono::milliseconds limit, const char* member,
                const std::function<void(sd_bus_message*)>& appendArguments,
                const std::function<int(sd_bus_message*)>& readReply) {
    const auto deadline = Clock::now() + limit;
    const auto bus = connect(address, deadline);
    sd_bus_message* raw = nullptr;
    check(sd_bus_message_new_method_call(bus.get(), &raw, serviceName, objectPath, serviceName, member), member);
    const Message call(raw);
    appendArguments(call.get());
    const auto left = microsecondsLeft(deadline);
    // sd-bus reads a time limit of 0 as its own default.
    if (left == 0) check(-ETIMEDOUT, member);
    BusError error;
    raw = nullptr;
    const int result = sd_bus_call(bus.get(), call.get(), left, &error.value, &raw);
    const Message reply(raw);
    if (result == -ETIMEDOUT) check(result, "No answer from the notification server");
    if (result < 0) {
        if (sd_bus_error_is_set(&error.value) && error.value.message) throw CallFailed(error.value.message);
        check(result, member);
    }
    const int read = readReply(reply.get());
    check(read > 0 ? 0 : read < 0 ? read : -EBADMSG, std::string("Unexpected answer to ") + member);
}

void appendNotify(sd_bus_message* message, const NotificationRequest& request) {
    const std::string what = "Cannot build the notification";
    check(sd_bus_message_append(message, "susss", DbusNotificationCenter::applicationName, std::uint32_t{0}, "",
                                request.title.c_str(), request.body.c_str()),
          what);
    check(sd_bus_message_append(message, "as", 0), what);
    check(sd_bus_message_open_container(message, 'a', "{sv}"), what);
    check(sd_bus_message_append(message, "{sv}", "x-ostrel-identifier", "s", request.identifier.c_str()), what);
    if (request.defaultSound) {
        check(sd_bus_message_append(message, "{sv}", "sound-name", "s", "message-new-instant"), what);
    }
    check(sd_bus_message_close_container(message), what);
    check(sd_bus_message_append(message, "i", std::int32_t{-1}), what);  // the server's own display time
}

}  // namespace

DbusNotificationCenter::DbusNotificationCenter(std::optional<std::string> busAddress,
                                               std::chrono::milliseconds timeLimit)
    : busAddress_(std::move(busAddress)), timeLimit_(timeLimit), queue_(queueLabel) {}

void DbusNotificationCenter::requestAuthorization(AuthorizationHandler handler) {
    queue_.async([this, handler = std::move(handler)] {
        try {
            callServer(
                busAddress_, timeLimit_, "GetServerInformation", [](sd_bus_message*) {},
                [](sd_bus_message* reply) {
                    const char *name, *vendor, *version, *specVersion;
                    return sd_bus_message_read(reply, "ssss", &name, &vendor, &version, &specVersion);
                });
        } catch (const std::exception& error) {
            handler(false, error.what());
            return;
        }
        handler(true, std::nullopt);
    });
}

void DbusNotificationCenter::add(NotificationRequest request, CompletionHandler handler) {
    queue_.async([this, request = std::move(request), handler = std::move(handler)] {
        try {
            callServer(
                busAddress_, timeLimit_, "Notify", [&](sd_bus_message* call) { appendNotify(call, request); },
                [](sd_bus_message* reply) {
                    std::uint32_t id = 0;
                    return sd_bus_message_read(reply, "u", &id);
                });
        } catch (const std::exception& error) {
            handler(error.what());
            return;
        }
        handler(std::nullopt);
    });
}

}  // namespace ostrel
