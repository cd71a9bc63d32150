#include "Platform/ChildRun.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "Platform/UniqueFd.hpp"

extern char** environ;

namespace ostrel {
namespace {

using Clock = std::chrono::steady_clock;

// A started child that is killed (with its process group) and reaped unless it was reaped already.
class ChildProcess final {
public:
    explicit ChildProcess(pid_t pid) : pid_(pid) {}
    ~ChildProcess() {
        if (!reaped_) {
            kill();
            wait(0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    bool reaped() const { return reaped_; }
    int status() const { return status_; }

    // The group outlives a reaped leader while anything the tool started still runs.
    void kill() const {
        ::kill(-pid_, SIGKILL);
        if (!reaped_) {
            ::kill(pid_, SIGKILL);
        }
    }

    // Returns whether the child has been reaped; `flags` 0 waits, WNOHANG polls.
    bool wait(int flags) {
        if (reaped_) {
            return true;
        }
        for (;;) {
            int status = 0;
            const pid_t result = ::waitpid(pid_, &status, flags);
            if (result == pid_) {
                reaped_ = true;
                status_ = status;
                return true;
            }
            if (result == 0) {
                return false;
            }
            if (errno != EINTR) {
                // Nothing left to reap (someone else collected it): treat it as gone and failed.
                reaped_ = true;
                status_ = -1;
                return true;
            }
        }
    }

private:
    pid_t pid_;
    bool reaped_ = false;
    int status_ = -1;
};

class SpawnActions final {
public:
    SpawnActions() { ok_ = posix_spawn_file_actions_init(&actions_) == 0; }
    ~SpawnActions() {
        if (ok_) {
            posix_spawn_file_actions_destroy(&actions_);
        }
    }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    bool ok() const { return ok_; }
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_{};
    bool ok_ = false;
};

class SpawnAttributes final {
public:
    SpawnAttributes() { ok_ = posix_spawnattr_init(&attributes_) == 0; }
    ~SpawnAttributes() {
        if (ok_) {
            posix_spawnattr_destroy(&attributes_);
        }
    }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    bool ok() const { return ok_; }
    posix_spawnattr_t* get() { return &attributes_; }

private:
    posix_spawnattr_t attributes_{};
    bool ok_ = false;
};

bool makePipe(UniqueFd& readEnd, UniqueFd& writeEnd) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return false;
    }
    readEnd.reset(fds[0]);
    writeEnd.reset(fds[1]);
    return ::fcntl(readEnd.get(), F_SETFL, O_NONBLOCK) == 0;
}

// One read per wake-up, so that a tool writing without pause still meets the time and output
// limits between reads. Returns false once the pipe reached its end or failed.
bool drain(int fd, std::string* into, std::size_t& total) {
    std::array<char, 65536> buffer;
    for (;;) {
        const ssize_t count = ::read(fd, buffer.data(), buffer.size());
        if (count > 0) {
            total += static_cast<std::size_t>(count);
            if (into != nullptr) {
                into->append(buffer.data(), static_cast<std::size_t>(count));
            }
            return true;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        return count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

UniqueFd openPidFd(pid_t pid) {
#ifdef SYS_pidfd_open
    return UniqueFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
#else
    (void)pid;
    return UniqueFd();
#endif
}

}  // namespace

ChildRun runChild(const std::string& path, const std::vector<std::string>& arguments,
                  std::chrono::milliseconds timeLimit, std::optional<std::size_t> outputLimit) {
    const auto deadline = Clock::now() + timeLimit;
    ChildRun run;

    UniqueFd outRead, outWrite, errRead, errWrite;
    if (!makePipe(outRead, outWrite) || !makePipe(errRead, errWrite)) {
        return run;
    }

    SpawnActions actions;
    SpawnAttributes attributes;
    if (!actions.ok() || !attributes.ok()) {
        return run;
    }
    posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(actions.get(), outWrite.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(actions.get(), errWrite.get(), STDERR_FILENO);
    // Descriptors the program opened without close-on-exec (or inherited) stay out of the tool.
    posix_spawn_file_actions_addclosefrom_np(actions.get(), STDERR_FILENO + 1);

    // Its own process group, so a time-out also ends whatever the tool started; default signal
    // handling and an empty mask, whatever the calling thread had.
    sigset_t noSignals, allSignals;
    sigemptyset(&noSignals);
    sigfillset(&allSignals);
    posix_spawnattr_setsigmask(attributes.get(), &noSignals);
    posix_spawnattr_setsigdefault(attributes.get(), &allSignals);
    posix_spawnattr_setpgroup(attributes.get(), 0);
    posix_spawnattr_setflags(attributes.get(),
                             POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    pid_t pid = -1;
    run.startError = posix_spawn(&pid, path.c_str(), actions.get(), attributes.get(), argv.data(), environ);
    if (run.startError != 0) {
        return run;
    }
    ChildProcess child(pid);
    outWrite.reset();
    errWrite.reset();
    UniqueFd exitFd = openPidFd(pid);

    std::size_t outputTotal = 0;
    std::size_t errorTotal = 0;
    bool outOpen = true;
    bool errOpen = true;
    while (outOpen || errOpen || !child.reaped()) {
        const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (remaining.count() <= 0) {
            child.kill();
            run.end = ChildRun::End::timedOut;
            return run;  // reaped on the way out
        }
        std::array<pollfd, 3> fds{};
        nfds_t count = 0;
        int outIndex = -1, errIndex = -1;
        if (outOpen) {
            outIndex = static_cast<int>(count);
            fds[count++] = {outRead.get(), POLLIN, 0};
        }
        if (errOpen) {
            errIndex = static_cast<int>(count);
            fds[count++] = {errRead.get(), POLLIN, 0};
        }
        int timeout = static_cast<int>(remaining.count());
        if (!child.reaped()) {
            if (exitFd.valid()) {
                fds[count++] = {exitFd.get(), POLLIN, 0};
            } else {
                timeout = std::min(timeout, 10);  // no pidfd: look for the exit now and then
            }
        }
        const int ready = ::poll(fds.data(), count, timeout);
        if (ready < 0 && errno != EINTR) {
            run.end = ChildRun::End::failed;
            return run;
        }
        if (outIndex >= 0 && (fds[static_cast<std::size_t>(outIndex)].revents != 0)) {
            outOpen = drain(outRead.get(), outputLimit ? &run.output : nullptr, outputTotal);
        }
        if (errIndex >= 0 && (fds[static_cast<std::size_t>(errIndex)].revents != 0)) {
            std::string* discard = nullptr;
            errOpen = drain(errRead.get(), discard, errorTotal);
        }
        if (outputLimit && outputTotal > *outputLimit) {
            child.kill();
            run.end = ChildRun::End::tooMuchOutput;
            return run;
        }
        if (!child.reaped()) {
            child.wait(WNOHANG);
        }
    }
    run.end = ChildRun::End::exited;
    run.status = child.status();
    return run;
}

}  // namespace ostrel
