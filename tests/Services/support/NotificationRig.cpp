#include "Services/support/NotificationRig.hpp"

#include <signal.h>
#include <stdio.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace ostrel::testing {
namespace {

void check(int result, const char* what) {
    if (result < 0) throw std::runtime_error(std::string(what) + ": " + std::strerror(-result));
}

}  // namespace

PrivateSessionBus::PrivateSessionBus() {
    std::filesystem::create_directory(tree_.root + "/services");
    const auto config = tree_.write("session.conf", "<busconfig><type>session</type><listen>unix:path=" + tree_.root +
                                                        "/bus</listen><servicedir>" + tree_.root +
                                                        "/services</servicedir><auth>EXTERNAL</auth>"
                                                        "<policy context=\"default\"><allow send_destination=\"*\" "
                                                        "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                                                        "<allow own=\"*\"/></policy></busconfig>");
    // It prints its address and process id once it listens.
    output_ = ::popen(
        ("exec dbus-daemon --nofork --syslog-only --print-address=1 --print-pid=1 --config-file=" + config).c_str(),
        "r");
    char address[512] = "", pid[32] = "";
    if (!output_ || !fgets(address, sizeof address, output_) || !fgets(pid, sizeof pid, output_)) {
        throw std::runtime_error("dbus-daemon did not start");
    }
    address_ = std::string(address, std::strcspn(address, "\n"));
    pid_ = std::stoi(pid);
}

PrivateSessionBus::~PrivateSessionBus() {
    ::kill(pid_, SIGKILL);
    ::pclose(output_);
}

void PrivateSessionBus::freeze() const {
    ::kill(pid_, SIGSTOP);
}

RecordingNotificationServer::RecordingNotificationServer(const std::string& address, bool answers) : answers_(answers) {
    static const sd_bus_vtable vtable[] = {
        SD_BUS_VTABLE_START(0), SD_BUS_METHOD("Notify", "susssasa{sv}i", "u", &RecordingNotificationServer::handle, 0),
        SD_BUS_METHOD("GetServerInformation", "", "ssss", &RecordingNotificationServer::handle, 0), SD_BUS_VTABLE_END};
    check(sd_bus_new(&bus_), "sd_bus_new");
    check(sd_bus_set_address(bus_, address.c_str()), "sd_bus_set_address");
    check(sd_bus_set_bus_client(bus_, 1), "sd_bus_set_bus_client");
    check(sd_bus_start(bus_), "sd_bus_start");
    check(sd_bus_add_object_vtable(bus_, nullptr, "/org/freedesktop/Notifications", "org.freedesktop.Notifications",
                                   vtable, this),
          "sd_bus_add_object_vtable");
    check(sd_bus_request_name(bus_, "org.freedesktop.Notifications", 0), "sd_bus_request_name");
    // The wait's limit only bounds how long stopping takes.
    thread_ = std::thread([this] {
        while (!stopping_) {
            if (sd_bus_process(bus_, nullptr) == 0) sd_bus_wait(bus_, 50000);
        }
    });
}

RecordingNotificationServer::~RecordingNotificationServer() {
    stopping_ = true;
    thread_.join();
    sd_bus_close_unref(bus_);
}

int RecordingNotificationServer::handle(sd_bus_message* message, void* self, sd_bus_error*) {
    auto& server = *static_cast<RecordingNotificationServer*>(self);
    ServerCall call;
    call.member = sd_bus_message_get_member(message);
    if (call.member == "Notify") {
        const char *appName, *icon, *summary, *body, *key, *value;
        int read = sd_bus_message_read(message, "susss", &appName, &call.replacesId, &icon, &summary, &body);
        if (read < 0 || (read = sd_bus_message_skip(message, "as")) < 0 ||
            (read = sd_bus_message_enter_container(message, 'a', "{sv}")) < 0) {
            return read;
        }
        call.appName = appName, call.summary = summary, call.body = body;
        // A hint whose value is not a string fails the call.
        while ((read = sd_bus_message_read(message, "{sv}", &key, "s", &value)) > 0) call.hints[key] = value;
        if (read < 0 || (read = sd_bus_message_exit_container(message)) < 0 ||
            (read = sd_bus_message_read(message, "i", &call.expireTimeout)) < 0) {
            return read;
        }
    }
    const bool notify = call.member == "Notify";
    server.add(std::move(call));
    if (!server.answers_) return 1;  // the caller waits for a reply that never comes
    return notify ? sd_bus_reply_method_return(message, "u", 1u)
                  : sd_bus_reply_method_return(message, "ssss", "recorder", "ostrel", "1", "1.2");
}

}  // namespace ostrel::testing
