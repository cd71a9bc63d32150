#include "Services/support/NotificationRig.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>

extern char** environ;

namespace ostrel::testing {
namespace {

void check(int result, const char* what) {
    if (result < 0) throw std::runtime_error(std::string(what) + ": " + std::strerror(-result));
}

}  // namespace

PrivateSessionBus::PrivateSessionBus() {
    std::filesystem::create_directory(tree_.root + "/services");
    const auto config = tree_.write("session.conf", R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=)" + tree_.root + R"(/bus</listen>
  <servicedir>)" + tree_.root + R"(/services</servicedir>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)");
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], STDOUT_FILENO);
    std::vector<std::string> arguments{"dbus-daemon", "--config-file=" + config, "--nofork",
                                       "--nopidfile", "--syslog-only",           "--print-address"};
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const int spawned = ::posix_spawn(&pid_, "/usr/bin/dbus-daemon", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe[1]);
    // The daemon prints its address once it listens, or exits.
    char buffer[512];
    ssize_t count = 0;
    while (spawned == 0 && address_.find('\n') == std::string::npos &&
           ((count = ::read(pipe[0], buffer, sizeof buffer)) > 0 || (count < 0 && errno == EINTR))) {
        if (count > 0) address_.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(pipe[0]);
    if (spawned != 0) throw std::runtime_error(std::string("cannot start dbus-daemon: ") + std::strerror(spawned));
    if (address_.find('\n') == std::string::npos) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        throw std::runtime_error("dbus-daemon printed no address");
    }
    address_.erase(address_.find('\n'));
}

PrivateSessionBus::~PrivateSessionBus() {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
}

RecordingNotificationServer::RecordingNotificationServer(const std::string& address, bool answers) : answers_(answers) {
    static const sd_bus_vtable vtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD("Notify", "susssasa{sv}i", "u", &RecordingNotificationServer::onNotify,
                      SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD("GetServerInformation", "", "ssss", &RecordingNotificationServer::onServerInformation,
                      SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_VTABLE_END};
    sd_bus* raw = nullptr;
    check(sd_bus_new(&raw), "sd_bus_new");
    bus_.reset(raw);
    check(sd_bus_set_address(raw, address.c_str()), "sd_bus_set_address");
    check(sd_bus_set_bus_client(raw, 1), "sd_bus_set_bus_client");
    check(sd_bus_start(raw), "sd_bus_start");
    check(sd_bus_add_object_vtable(raw, nullptr, "/org/freedesktop/Notifications", "org.freedesktop.Notifications",
                                   vtable, this),
          "sd_bus_add_object_vtable");
    check(sd_bus_request_name(raw, "org.freedesktop.Notifications", 0), "sd_bus_request_name");
    stopFd_ = ::eventfd(0, EFD_CLOEXEC);
    thread_ = std::thread([this] { run(); });
}

RecordingNotificationServer::~RecordingNotificationServer() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(stopFd_, &one, sizeof one);
    thread_.join();
    ::close(stopFd_);
}

void RecordingNotificationServer::run() {
    for (;;) {
        int result = 0;
        while ((result = sd_bus_process(bus_.get(), nullptr)) > 0) {
        }
        if (result < 0) return;
        std::uint64_t until = 0;
        int timeout = -1;
        if (sd_bus_get_timeout(bus_.get(), &until) > 0 && until != UINT64_MAX) {
            timespec now{};
            ::clock_gettime(CLOCK_MONOTONIC, &now);
            const auto nowUs =
                static_cast<std::uint64_t>(now.tv_sec) * 1000000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
            timeout = until > nowUs ? static_cast<int>((until - nowUs + 999) / 1000) : 0;
        }
        pollfd fds[2] = {{sd_bus_get_fd(bus_.get()), static_cast<short>(sd_bus_get_events(bus_.get())), 0},
                         {stopFd_, POLLIN, 0}};
        if (::poll(fds, 2, timeout) < 0 && errno != EINTR) return;
        if (fds[1].revents != 0) return;
    }
}

int RecordingNotificationServer::onNotify(sd_bus_message* message, void* self, sd_bus_error*) {
    ServerCall call;
    call.member = "Notify";
    // Thrown and caught here: nothing may unwind through sd-bus.
    try {
        const char *appName, *icon, *summary, *body;
        check(sd_bus_message_read(message, "susss", &appName, &call.replacesId, &icon, &summary, &body), "Notify");
        call.appName = appName, call.icon = icon, call.summary = summary, call.body = body;
        check(sd_bus_message_skip(message, "as"), "actions");
        check(sd_bus_message_enter_container(message, 'a', "{sv}"), "hints");
        while (sd_bus_message_enter_container(message, 'e', "sv") > 0) {
            const char *key, *contents;
            char type;
            check(sd_bus_message_read(message, "s", &key), "hint");
            check(sd_bus_message_peek_type(message, &type, &contents), "hint");
            if (std::strcmp(contents, "s") == 0) {
                const char* value;
                check(sd_bus_message_read(message, "v", "s", &value), "hint");
                call.hints[key] = value;
            } else {
                check(sd_bus_message_skip(message, "v"), "hint");
                call.hints[key] = std::string("<") + contents + ">";
            }
            check(sd_bus_message_exit_container(message), "hint");
        }
        check(sd_bus_message_exit_container(message), "hints");
        check(sd_bus_message_read(message, "i", &call.expireTimeout), "expire timeout");
    } catch (const std::runtime_error&) {
        return -EBADMSG;
    }
    return static_cast<RecordingNotificationServer*>(self)->record(message, std::move(call));
}

int RecordingNotificationServer::onServerInformation(sd_bus_message* message, void* self, sd_bus_error*) {
    ServerCall call;
    call.member = "GetServerInformation";
    return static_cast<RecordingNotificationServer*>(self)->record(message, std::move(call));
}

int RecordingNotificationServer::record(sd_bus_message* message, ServerCall call) {
    const bool notify = call.member == "Notify";
    std::size_t id = 0;
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
        id = calls_.size();
    }
    arrived_.notify_all();
    // Not answering leaves the caller waiting for a reply that never comes.
    if (!answers_) return 1;
    if (notify) return sd_bus_reply_method_return(message, "u", static_cast<std::uint32_t>(id));
    return sd_bus_reply_method_return(message, "ssss", "recorder", "ostrel-tests", "1", "1.2");
}

std::vector<ServerCall> RecordingNotificationServer::waitForCalls(std::size_t count, std::chrono::seconds within) {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, within, [&] { return calls_.size() >= count; });
    return calls_;
}

void WaitingLog::log(std::string_view line) {
    {
        std::lock_guard lock(mutex_);
        lines_.emplace_back(line);
    }
    arrived_.notify_all();
}

std::vector<std::string> WaitingLog::waitForLines(std::size_t count, std::chrono::seconds within) {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, within, [&] { return lines_.size() >= count; });
    return lines_;
}

}  // namespace ostrel::testing
