#include "Platform/LibraryTrial.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>
#include <utility>

#include "Platform/UniqueFd.hpp"

extern char** environ;

namespace ostrel {
namespace {

using Clock = std::chrono::steady_clock;

// Whether the child ended before the deadline; false leaves it running.
bool endsBy(pid_t pid, Clock::time_point deadline) {
#ifdef SYS_pidfd_open
    const UniqueFd exitFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    if (exitFd.valid()) {
        for (;;) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            pollfd ended{exitFd.get(), POLLIN, 0};
            const int ready = ::poll(&ended, 1, static_cast<int>(std::max<long long>(left, 0)));
            if (ready > 0) return true;
            if (ready == 0) return false;
            if (errno != EINTR) break;
        }
    }
#endif
    siginfo_t info{};
    while (Clock::now() < deadline) {
        info.si_pid = 0;
        if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
}

}  // namespace

HelperLibraryTrial::HelperLibraryTrial(std::string helperPath, std::chrono::milliseconds timeLimit)
    : helperPath_(std::move(helperPath)), timeLimit_(timeLimit) {}

std::optional<std::string> HelperLibraryTrial::defect(const std::string& path) {
    const auto deadline = Clock::now() + timeLimit_;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (posix_spawn_file_actions_init(&actions) != 0) return "it could not be tried first";
    if (posix_spawnattr_init(&attributes) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return "it could not be tried first";
    }
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY, 0);
    }
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    sigset_t noSignals, allSignals;
    sigemptyset(&noSignals);
    sigfillset(&allSignals);
    posix_spawnattr_setsigmask(&attributes, &noSignals);
    posix_spawnattr_setsigdefault(&attributes, &allSignals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    char* const argv[] = {const_cast<char*>(helperPath_.c_str()), const_cast<char*>(path.c_str()), nullptr};
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, helperPath_.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) return "it could not be tried first: " + helperPath_ + ": " + std::strerror(spawned);

    const bool ended = endsBy(pid, deadline);
    if (!ended) ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!ended) {
        return "it did not finish loading within " + std::to_string(timeLimit_.count()) + " ms, tried in a process "
               "of its own";
    }
    if (WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == notLoadedStatus)) {
        return std::nullopt;
    }
    if (WIFSIGNALED(status)) {
        const char* name = ::sigabbrev_np(WTERMSIG(status));
        return "it crashed while it loaded, tried in a process of its own (signal " +
               std::to_string(WTERMSIG(status)) + (name != nullptr ? std::string(", SIG") + name : "") + ")";
    }
    return "it failed while it loaded, tried in a process of its own (exit status " +
           std::to_string(WEXITSTATUS(status)) + ")";
}

}  // namespace ostrel
