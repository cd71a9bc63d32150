#include "support/BenchStore.hpp"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "Model/Calendar.hpp"
#include "Model/Iso8601.hpp"
#include "Model/Uuid.hpp"
#include "Persistence/OstrelRepository.hpp"

namespace ostrel::bench {
namespace {

namespace fs = std::filesystem;

// SIGUSR2 only wakes the waiter when the cleanup ends.
sigset_t endingSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR2}) sigaddset(&set, signal);
    return set;
}

void removeTree(const std::string& path) {
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

// Holds an exclusive lock on a file while it lives.
class FileLock final {
public:
    explicit FileLock(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
        if (fd_ < 0 || ::flock(fd_, LOCK_EX) != 0) throw std::runtime_error("cannot lock " + path);
    }
    ~FileLock() { ::close(fd_); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd_;
};

}  // namespace

ExitCleanup::ExitCleanup() {
    const sigset_t set = endingSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    waiter_ = std::thread([this, set] {
        int signal = 0;
        while (sigwait(&set, &signal) != 0) {
        }
        if (signal == SIGUSR2) return;
        removeAll();
        // Ended by the signal itself, as the shell expects.
        ::signal(signal, SIG_DFL);
        sigset_t only;
        sigemptyset(&only);
        sigaddset(&only, signal);
        pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
        ::raise(signal);
        std::_Exit(128 + signal);
    });
}

ExitCleanup::~ExitCleanup() {
    removeAll();
    pthread_kill(waiter_.native_handle(), SIGUSR2);
    waiter_.join();
}

void ExitCleanup::add(const std::string& path) {
    std::lock_guard lock(mutex_);
    paths_.push_back(path);
}

void ExitCleanup::removeNow(const std::string& path) {
    std::lock_guard lock(mutex_);
    removeTree(path);
    std::erase(paths_, path);
}

void ExitCleanup::keep(const std::string& path) {
    std::lock_guard lock(mutex_);
    std::erase(paths_, path);
}

void ExitCleanup::removeAll() {
    std::lock_guard lock(mutex_);
    for (const auto& path : paths_) removeTree(path);
    paths_.clear();
}

ScratchFolder::ScratchFolder(ExitCleanup& cleanup, const std::string& prefix) : cleanup_(cleanup) {
    std::string pattern = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a folder like " + pattern);
    path_ = pattern;
    cleanup_.add(path_);
}

ScratchFolder::~ScratchFolder() {
    cleanup_.removeNow(path_);
}

std::string workingHeavyMonth(ExitCleanup& cleanup, const ScratchFolder& scratch) {
    const std::string cached = cachedHeavyStore(cleanup, HeavyStoreShape::month());
    scratch.holdToolState();
    copyHeavyStore(cached, scratch.path());
    return scratch.path();
}

int reportingFailures(const std::function<int()>& run) {
    try {
        return run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}

void ScratchFolder::holdToolState() const {
    for (const char* leaf : {"/state", "/runtime"}) fs::create_directory(path_ + leaf);
    fs::permissions(path_ + "/runtime", fs::perms::owner_all, fs::perm_options::replace);
    ::setenv("XDG_STATE_HOME", (path_ + "/state").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (path_ + "/runtime").c_str(), 1);
}

HeavyStoreShape HeavyStoreShape::month() {
    return {"heavy-month", 30, std::chrono::milliseconds{2000}};
}

HeavyStoreShape HeavyStoreShape::year() {
    return {"heavy-year", 365, std::chrono::milliseconds{6400}};
}

std::int64_t HeavyStoreShape::samplesPerDay() const {
    return 86400000 / tick.count() * 5;
}

std::vector<UsageSampleRecord> heavyDay(const HeavyStoreShape& shape, Date dayStart) {
    const char* apps[] = {"org.mozilla.firefox", "com.spotify.Client", "org.gnome.Evolution", "code",
                          "com.valvesoftware.Steam"};
    std::vector<UsageSampleRecord> samples;
    samples.reserve(static_cast<std::size_t>(shape.samplesPerDay()));
    for (std::int64_t tick = 0; tick < 86400000 / shape.tick.count(); ++tick) {
        const auto offset = tick * shape.tick;
        const bool office = offset / std::chrono::hours{1} % 2 == 1;
        for (int app = 0; app < 5; ++app) {
            samples.push_back({makeUuidString(), dayStart + offset + std::chrono::milliseconds(app),
                               office ? "wifi-office" : "eth-home", office ? "Office" : "Home",
                               office ? NetworkType::wifi : NetworkType::ethernet, apps[app], apps[app],
                               1000 + (tick * 37 + app * 101) % 50000, 200 + (tick * 13 + app * 17) % 9000, "nettop",
                               0.8});
        }
    }
    return samples;
}

void generateHeavyStore(const HeavyStoreShape& shape, const std::string& path) {
    fs::create_directories(fs::path(path).parent_path());
    const Date lastDay = *Calendar::current().startOfDay(shape.lastDay);
    auto repository = std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(path));
    // The last day through the program's own writes, the days before it copied from it in SQL.
    repository->insertSamples(heavyDay(shape, lastDay));
    {
        SQLiteDatabase database(path);
        database.execute("PRAGMA cache_size = -1048576;");
        database.execute("BEGIN;");
        for (int back = 1; back < shape.days; ++back) {
            database.execute(
                "INSERT INTO usage_samples SELECT id || '-' || ?, strftime('%Y-%m-%dT%H:%M:%f', timestamp, ?) || 'Z', "
                "network_id, app_id, rx_bytes, tx_bytes, source, attribution_confidence FROM usage_samples "
                "WHERE timestamp >= ?;",
                {std::int64_t{back}, '-' + std::to_string(back) + " days", ostrelISO8601String(lastDay)});
        }
        database.execute("COMMIT;");
    }
    repository->repairRollupsIfNeeded();
    repository.reset();
    SQLiteDatabase(path).execute("PRAGMA wal_checkpoint(TRUNCATE);");
}

std::string cachedHeavyStore(ExitCleanup& cleanup, const HeavyStoreShape& shape) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    const fs::path folder = OSTREL_BENCH_DATA_DIR;
    fs::create_directories(folder);
    const std::string path = (folder / (shape.name + ".sqlite")).string();
    FileLock lock(path + ".lock");
    if (fs::exists(path)) return path;
    const std::string partial = path + ".part";
    for (const char* suffix : {"", "-wal", "-shm"}) {
        removeTree(partial + suffix);
        cleanup.add(partial + suffix);
    }
    std::printf("generating %s (%d days, %lld samples a day) in %s; kept for later runs\n", shape.name.c_str(),
                shape.days, static_cast<long long>(shape.samplesPerDay()), folder.c_str());
    std::fflush(stdout);
    const double ms = millisecondsOf([&] { generateHeavyStore(shape, partial); });
    std::printf("generated in %.0f s\n", ms / 1000);
    fs::rename(partial, path);
    for (const char* suffix : {"", "-wal", "-shm"}) cleanup.removeNow(partial + suffix);
    return path;
}

std::string copyHeavyStore(const std::string& cached, const std::string& dataHome) {
    const fs::path target = fs::path(dataHome) / "Ostrel" / "ostrel.sqlite";
    fs::create_directories(target.parent_path());
    fs::copy_file(cached, target, fs::copy_options::overwrite_existing);
    return target.string();
}

std::string linkHeavyStore(const std::string& cached, const std::string& dataHome) {
    const fs::path link = fs::path(dataHome) / "Ostrel" / "ostrel.sqlite";
    fs::create_directories(link.parent_path());
    fs::create_symlink(fs::absolute(cached), link);
    return link.string();
}

double millisecondsOf(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

std::string timed(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) times.push_back(millisecondsOf(work));
    std::sort(times.begin(), times.end());
    char text[64];
    std::snprintf(text, sizeof text, "%8.1f (best %6.1f)", times[times.size() / 2], times.front());
    return text;
}

}  // namespace ostrel::bench
