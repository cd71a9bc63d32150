// Qt Test's watchdog and the view models' released worker queues end their threads on their own,
// and the process may come to its end while one of them is still ending. A leak check that runs
// then misses what only that thread's local storage still points to (Qt's data of the thread),
// and reports it lost. So the process lets them end first; after ten seconds it goes on anyway.
#include <dirent.h>

#include <chrono>
#include <cstddef>
#include <thread>

namespace {

std::size_t threadsOfThisProcess() {
    std::size_t count = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(tasks)) count += entry->d_name[0] != '.';
        closedir(tasks);
    }
    return count;
}

struct OtherThreadsEndFirst {
    OtherThreadsEndFirst() = default;
    OtherThreadsEndFirst(const OtherThreadsEndFirst&) = delete;
    OtherThreadsEndFirst& operator=(const OtherThreadsEndFirst&) = delete;
    ~OtherThreadsEndFirst() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (threadsOfThisProcess() > 1 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
};

// Destroyed at exit, before the leak check, which was set up before any static object.
const OtherThreadsEndFirst otherThreadsEndFirst;

}  // namespace
