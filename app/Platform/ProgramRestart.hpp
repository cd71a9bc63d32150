#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "Platform/InstanceLock.hpp"
#include "Platform/LogSink.hpp"
#include "Platform/RepeatingTimer.hpp"
#include "Platform/SerialQueue.hpp"

namespace ostrel {

// Replaces the running program with a new start of itself, in the same process: the same
// executable, arguments and environment. Descriptors opened close-on-exec (the instance lock,
// SQLite's files) close on the way, so the new start begins as any other. Returns only when that
// cannot be done, with the reason.
std::string restartThisProgram();

// Starts the program again when its database file goes from under it: deleted, moved away,
// replaced by another file, or emptied in place. Writing on would put its traffic where nobody
// looks, and once the locked file has left the path a second start could count every byte again.
//
// SQLite names a database's write-ahead log and shared memory after the path, not the file. So
// before the new start opens the path, the old file is settled: its log is copied into it whole
// (an emptied file's log fits nothing and is dropped instead), and every other program that has
// it open has closed it. Otherwise the new start would read the old log as its own file's, and
// the other program, closing last, would copy the new file's log into the old file and delete it.
// While another program holds a transaction or keeps the file open, the program waits.
class ProgramRestart final {
public:
    enum class Loss { none, replaced, emptied };

    struct Hooks {
        // Stops the program's own writers, which write what they hold first.
        std::function<void()> stopWriting;
        // Holds the database's queue, no statement running before or after, and runs `round` on
        // it until it returns true. Each round first copies the write-ahead log into the database
        // file when `copyLog`, and tells `round` whether all of it went and the log is empty.
        std::function<void(bool copyLog, const std::function<bool(bool complete)>& round)> settle;
        // The new start: returns only in tests.
        std::function<void()> restart;
    };

    ProgramRestart(std::shared_ptr<const InstanceLock> lock, std::shared_ptr<LogSink> log, Hooks hooks,
                   std::chrono::milliseconds longestPause = std::chrono::seconds{1});
    ~ProgramRestart();
    ProgramRestart(const ProgramRestart&) = delete;
    ProgramRestart& operator=(const ProgramRestart&) = delete;

    // Looks every `interval`, on a queue of its own. Only once the database is open: a file
    // without SQLite's header counts as emptied.
    void watch(std::chrono::milliseconds interval = std::chrono::seconds{1});
    // One look. When the file is lost it says so (log and standard error), settles the old file
    // and starts again, all on the calling thread.
    Loss check();

private:
    Loss lossNow();
    // One round of waiting for the old file; true once the program has started again.
    bool settleRound(Loss loss, bool complete);

    std::shared_ptr<const InstanceLock> lock_;
    std::shared_ptr<LogSink> log_;
    Hooks hooks_;
    std::chrono::milliseconds longestPause_;
    std::chrono::milliseconds pause_{50};
    bool saidWaiting_ = false;
    SerialQueue queue_{"ostrel.database.watch"};
    // Last: it fires on the queue, and is cancelled before that goes.
    std::unique_ptr<RepeatingTimer> timer_;
};

}  // namespace ostrel
