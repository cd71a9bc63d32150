#pragma once

#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ostrel::bench {

// What a benchmark makes outside itself: a temporary folder, which also holds the per-process
// tool's state (XDG_STATE_HOME and XDG_RUNTIME_DIR point into it), network namespaces and child
// processes. All of it is undone when the object goes, when the benchmark is stopped by SIGINT,
// SIGTERM or SIGHUP (the program then ends with 128 + the signal), and by fail().
//
// Made first in main(), before any thread starts: from then on the stop signals are taken by a
// thread of its own, and threads and children started later inherit that they are blocked.
class BenchScratch final {
public:
    explicit BenchScratch(const std::string& name) {
        std::string pattern = (std::filesystem::temp_directory_path() / (name + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::fprintf(stderr, "cannot make a temporary folder for %s\n", name.c_str());
            std::exit(2);
        }
        folder_ = pattern;
        for (const char* leaf : {"/state", "/runtime"}) ::mkdir((folder_ + leaf).c_str(), 0700);
        ::setenv("XDG_STATE_HOME", (folder_ + "/state").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", (folder_ + "/runtime").c_str(), 1);

        sigset_t stops = stopSignals();
        ::pthread_sigmask(SIG_BLOCK, &stops, nullptr);
        signals_ = std::thread([this, stops] {
            for (;;) {
                int signal = 0;
                if (::sigwait(&stops, &signal) != 0) continue;
                if (signal == SIGUSR2 && finished_) return;
                if (signal == SIGUSR2) continue;
                std::fprintf(stderr, "stopped by signal %d; cleaning up\n", signal);
                cleanUp();
                std::fflush(nullptr);
                ::_exit(128 + signal);
            }
        });
    }

    ~BenchScratch() {
        cleanUp();
        finished_ = true;
        ::pthread_kill(signals_.native_handle(), SIGUSR2);
        signals_.join();
    }

    BenchScratch(const BenchScratch&) = delete;
    BenchScratch& operator=(const BenchScratch&) = delete;

    const std::string& folder() const { return folder_; }

    // A namespace made by `ip netns add`, deleted with the rest.
    void addNamespace(const std::string& name) {
        std::lock_guard lock(mutex_);
        namespaces_.push_back(name);
    }
    // A child that is killed with the rest. Children should also ask for SIGKILL when the
    // benchmark dies (childSetUp()), for the one exit nothing can catch.
    void addChild(pid_t pid) {
        std::lock_guard lock(mutex_);
        children_.push_back(pid);
    }

    // Says why on standard error, undoes everything and ends the program with status 2.
    [[noreturn]] void fail(const std::string& why) {
        std::fprintf(stderr, "%s\n", why.c_str());
        exitNow(2);
    }

    // Undoes everything and ends the program with `status` at once, without running destructors
    // (which may wait on threads that the benchmark left busy).
    [[noreturn]] void exitNow(int status) {
        cleanUp();
        std::fflush(nullptr);
        ::_exit(status);
    }

    // In a forked child: the stop signals back to normal, and SIGKILL when the benchmark ends.
    static void childSetUp() {
        sigset_t stops = stopSignals();
        ::pthread_sigmask(SIG_UNBLOCK, &stops, nullptr);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    }

private:
    static sigset_t stopSignals() {
        sigset_t set;
        sigemptyset(&set);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGUSR2}) sigaddset(&set, signal);
        return set;
    }

    // Once, whichever exit comes first.
    void cleanUp() {
        std::lock_guard lock(mutex_);
        if (cleaned_) return;
        cleaned_ = true;
        for (const pid_t pid : children_) {
            // Only a child not reaped yet: the number of one reaped may belong to anybody now.
            if (::waitpid(pid, nullptr, WNOHANG) != 0) continue;
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        for (const auto& name : namespaces_) {
            // Ignoring the result: a namespace that was never made is no error here.
            [[maybe_unused]] const int status = std::system(("ip netns del " + name + " >/dev/null 2>&1").c_str());
        }
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    std::string folder_;
    std::mutex mutex_;
    std::vector<std::string> namespaces_;
    std::vector<pid_t> children_;
    bool cleaned_ = false;
    std::atomic<bool> finished_{false};
    std::thread signals_;
};

}  // namespace ostrel::bench
