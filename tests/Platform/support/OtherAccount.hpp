#pragma once

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace ostrel::testing {

// A real second account for a test, made with useradd and removed with userdel when the object
// goes, also when the test fails; one left behind by a test run that was killed is removed by the
// next. Only root makes accounts: without root, available() is false.
class OtherAccount final {
public:
    OtherAccount() {
        if (::geteuid() != 0) return;
        removeLeftovers();
        static int made = 0;
        name_ = std::string(prefix) + std::to_string(::getpid()) + "-" + std::to_string(++made);
        // useradd waits for nobody: another test changing the account files makes it fail at once.
        for (int attempt = 0; attempt < 100 && !account(); ++attempt) {
            std::system(("useradd --system --no-create-home --user-group --shell /usr/sbin/nologin " + name_ +
                         " >/dev/null 2>&1")
                            .c_str());
            if (!account()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (const passwd* entry = account()) uid_ = entry->pw_uid, gid_ = entry->pw_gid;
    }
    ~OtherAccount() {
        if (!name_.empty()) remove(name_);
    }
    OtherAccount(const OtherAccount&) = delete;
    OtherAccount& operator=(const OtherAccount&) = delete;

    bool available() const { return uid_ != 0; }
    uid_t uid() const { return uid_; }
    gid_t gid() const { return gid_; }
    const std::string& name() const { return name_; }

    // `body` in a child process that runs as this account; its result, or -1 when the child could
    // not become the account or did not end normally.
    int run(const std::function<int()>& body) const {
        const pid_t child = ::fork();
        if (child == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(gid_) != 0 || ::setuid(uid_) != 0) ::_exit(255);
            ::_exit(body());
        }
        int status = 0;
        if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) == 255) {
            return -1;
        }
        return WEXITSTATUS(status);
    }

private:
    static constexpr const char* prefix = "ostrel-t";

    const passwd* account() const { return ::getpwnam(name_.c_str()); }

    static void remove(const std::string& name) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::system(("userdel --force " + name + " >/dev/null 2>&1").c_str());
            if (::getpwnam(name.c_str()) == nullptr) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    // Accounts of test processes that are gone.
    static void removeLeftovers() {
        std::vector<std::string> gone;
        ::setpwent();
        while (const passwd* entry = ::getpwent()) {
            const std::string name = entry->pw_name;
            if (name.rfind(prefix, 0) != 0) continue;
            const long pid = std::strtol(name.c_str() + std::string(prefix).size(), nullptr, 10);
            if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) gone.push_back(name);
        }
        ::endpwent();
        for (const auto& name : gone) remove(name);
    }

    std::string name_;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
};

}  // namespace ostrel::testing
