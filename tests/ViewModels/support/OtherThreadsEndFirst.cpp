// Qt Test's watchdog and the view models' released worker queues end their threads on their own,
// and the process may come to its end while one of them is still ending. A leak check that runs
// then misses what only that thread's local storage still points to (Qt's data of the thread),
// and reports it lost. So the process lets them end first; after ten seconds it goes on anyway.
#include <dirent.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

namespace {

std::string nameOf(const std::string& statusFolder) {
    std::string name;
    std::getline(std::ifstream(statusFolder + "/comm"), name);
    return name;
}

// Those threads carry names of their own; the main thread's name is the program's, and so is
// that of a sanitizer's own thread, which stays to the end.
bool namedThreadsRemain() {
    const std::string program = nameOf("/proc/self");
    bool found = false;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(tasks)) {
            if (entry->d_name[0] == '.') continue;
            found = found || nameOf(std::string("/proc/self/task/") + entry->d_name) != program;
        }
        closedir(tasks);
    }
    return found;
}

struct OtherThreadsEndFirst {
    OtherThreadsEndFirst() = default;
    OtherThreadsEndFirst(const OtherThreadsEndFirst&) = delete;
    OtherThreadsEndFirst& operator=(const OtherThreadsEndFirst&) = delete;
    ~OtherThreadsEndFirst() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (namedThreadsRemain() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
};

// Destroyed at exit, before the leak check, which was set up before any static object.
const OtherThreadsEndFirst otherThreadsEndFirst;

}  // namespace
