#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Model/Calendar.hpp"
#include "Model/Date.hpp"
#include "Model/Records.hpp"

// What the benchmarks share: heavy stores generated once and kept in the build folder, working
// copies in a temporary folder, and the removal of those copies however the program ends.
namespace ostrel::bench {

// Removes the paths given to it when the benchmark ends: normally, by an exception that main
// catches, or by SIGINT, SIGTERM, SIGHUP or SIGQUIT (after which the process ends by that signal).
// Create it first in main, before any thread starts: the signals are taken by a thread of its own.
class ExitCleanup final {
public:
    ExitCleanup();
    ~ExitCleanup();
    ExitCleanup(const ExitCleanup&) = delete;
    ExitCleanup& operator=(const ExitCleanup&) = delete;

    void add(const std::string& path);
    // Removes the path now and forgets it.
    void removeNow(const std::string& path);
    // Forgets the path, which then stays.
    void keep(const std::string& path);

private:
    void removeAll();

    std::mutex mutex_;
    std::vector<std::string> paths_;
    std::thread waiter_;
};

// A new folder under the temporary folder, removed with its content by the cleanup.
class ScratchFolder final {
public:
    ScratchFolder(ExitCleanup& cleanup, const std::string& prefix);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }
    // Points XDG_STATE_HOME and XDG_RUNTIME_DIR into this folder, so that the per-process tool
    // keeps its state here and not in the user's. Before the data service starts its threads.
    void holdToolState() const;

private:
    ExitCleanup& cleanup_;
    std::string path_;
};

// The project's heavy store: `days` days of 5 applications on 2 networks (the laptop moves between
// them every hour), one sample per application every `tick`, the last day being `lastDay`, with
// its roll-ups keyed in UTC.
struct HeavyStoreShape {
    std::string name;
    int days = 30;
    std::chrono::milliseconds tick{2000};
    date::local_days lastDay{date::year{2026} / 3 / 31};

    // 6.48 million samples, 216,000 on the last day.
    static HeavyStoreShape month();
    // 365 days of 67,500 samples: 24.6 million.
    static HeavyStoreShape year();
    std::int64_t samplesPerDay() const;
};

// One day of the shape's samples, starting at `dayStart`.
std::vector<UsageSampleRecord> heavyDay(const HeavyStoreShape& shape, Date dayStart);

// The store of `shape` at `path`, keyed in the zone set now: its last day through the program's
// own writes, the days before copied from it in SQL, the roll-ups rebuilt. Minutes.
void generateHeavyStore(const HeavyStoreShape& shape, const std::string& path);

// The store's file in <build>/bench-data, generated first when it is not there (minutes; one
// generator at a time, the others wait). It holds no write-ahead log once made. Sets TZ to UTC.
std::string cachedHeavyStore(ExitCleanup& cleanup, const HeavyStoreShape& shape);

// A working copy of the cached store as `dataHome`/Ostrel/ostrel.sqlite, where a data service over
// `dataHome` finds it; gives its path.
std::string copyHeavyStore(const std::string& cached, const std::string& dataHome);

// The cached store itself as `dataHome`/Ostrel/ostrel.sqlite, through a symbolic link: SQLite
// keeps its journal beside the cached file, so that a run cut short leaves no half-written store.
// Gives the link's path.
std::string linkHeavyStore(const std::string& cached, const std::string& dataHome);

// A working copy of the heavy month in `scratch`, with the per-process tool's state beside it;
// gives the folder, a data service's dataHome.
std::string workingHeavyMonth(ExitCleanup& cleanup, const ScratchFolder& scratch);

// The body of main: `run`'s status, or 1 with the exception's text on standard error.
int reportingFailures(const std::function<int()>& run);

// Median and best of `runs` timings of `work`, in milliseconds, as "median (best best)".
std::string timed(int runs, const std::function<void()>& work);
double millisecondsOf(const std::function<void()>& work);

}  // namespace ostrel::bench
