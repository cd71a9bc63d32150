#include "Platform/ProgramRestart.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>
#include <utility>
#include <vector>

namespace ostrel {

std::string restartThisProgram() {
    // The arguments as the kernel keeps them, each ended by a NUL.
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string arguments(std::istreambuf_iterator<char>(in), {});
    if (arguments.empty()) return "/proc/self/cmdline: cannot be read";
    if (arguments.back() != '\0') arguments.push_back('\0');
    std::vector<char*> argv;
    for (std::size_t at = 0; at < arguments.size(); at = arguments.find('\0', at) + 1) {
        argv.push_back(const_cast<char*>(arguments.data() + at));
    }
    argv.push_back(nullptr);
    std::fflush(nullptr);
    // The executable the process runs, even when an update has replaced the file at its path.
    ::execv("/proc/self/exe", argv.data());
    return std::string("/proc/self/exe: ") + std::strerror(errno);
}

ProgramRestart::ProgramRestart(std::shared_ptr<const InstanceLock> lock, std::shared_ptr<LogSink> log, Hooks hooks,
                               std::chrono::milliseconds longestPause)
    : lock_(std::move(lock)), log_(std::move(log)), hooks_(std::move(hooks)), longestPause_(longestPause) {}

ProgramRestart::~ProgramRestart() {
    if (timer_) timer_->cancel();
    queue_.sync([] {});
}

void ProgramRestart::watch(std::chrono::milliseconds interval) {
    timer_ = std::make_unique<RepeatingTimer>(queue_, interval, interval, std::chrono::milliseconds{100}, [this] {
        if (check() != Loss::none) timer_->cancel();
    });
    timer_->resume();
}

ProgramRestart::Loss ProgramRestart::lossNow() {
    if (!lock_->stillAtPath()) return Loss::replaced;
    // SQLite writes the header as it turns the write-ahead log on, when it opens the file, and
    // never takes it away again.
    return lock_->hasDatabaseHeader() ? Loss::none : Loss::emptied;
}

ProgramRestart::Loss ProgramRestart::check() {
    const Loss loss = lossNow();
    if (loss == Loss::none) return loss;
    const std::string line =
        loss == Loss::replaced
            ? "The database " + lock_->path() +
                  " was deleted or replaced while Ostrel was running; Ostrel starts again on the file now at that "
                  "place. The last few seconds of traffic went to the old file."
            : "The database " + lock_->path() +
                  " was emptied or overwritten while Ostrel was running; Ostrel starts again on it. What it had "
                  "not yet written into the file is dropped.";
    log_->log(line);
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    hooks_.stopWriting();
    pause_ = std::chrono::milliseconds{50};
    saidWaiting_ = false;
    hooks_.settle(loss == Loss::replaced, [&](bool complete) { return settleRound(loss, complete); });
    return loss;
}

bool ProgramRestart::settleRound(Loss loss, bool complete) {
    // The log holds pages of the file as it was: copied into the emptied file, or read with it by
    // the new start, they would make a broken database of it. Another program may add to it
    // while it has the file open.
    if (loss == Loss::emptied && ::truncate((lock_->path() + "-wal").c_str(), 0) != 0) {
        // No log there: nothing to drop.
    }
    if (complete && !lock_->lockedByAnotherProcess()) {
        hooks_.restart();
        return true;
    }
    if (!saidWaiting_) {
        log_->log("Ostrel waits until no other program has " + lock_->path() +
                  " open, so that none of them mixes up the old file with the new one.");
    }
    saidWaiting_ = true;
    std::this_thread::sleep_for(pause_);
    pause_ = std::min(pause_ * 2, longestPause_);
    return false;
}

}  // namespace ostrel
