// The built program, started as a user would, on its database: one Ostrel per database however the
// starts meet, the same Ostrel going on when its database file is deleted, moved or replaced, and a
// start that cannot hold the database leaving it as it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Persistence/support/OtherSQLiteProgram.hpp"
#include "Platform/support/TempTree.hpp"
#include "Services/MockDataSeeder.hpp"

namespace ostrel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr uid_t kNobody = 65534;

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Polls `done` until it holds or `within` has passed; the program's work has no other signal.
bool waitFor(const std::function<bool()>& done, std::chrono::seconds within = 60s) {
    for (const auto deadline = std::chrono::steady_clock::now() + within;;) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(20ms);
    }
}

// The process that holds an flock on the file at `path`, from the kernel's table of locks.
std::optional<pid_t> flockHolder(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    char device[64];
    std::snprintf(device, sizeof device, "%02x:%02x:%llu", major(info.st_dev), minor(info.st_dev),
                  static_cast<unsigned long long>(info.st_ino));
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, file;
        fields >> number >> kind >> mode >> access >> pid >> file;
        if (kind == "FLOCK" && access == "WRITE" && file == device) return std::stoi(pid);
    }
    return std::nullopt;
}

// The first value, or nothing while the program has not made its tables yet.
std::string query(const std::string& path, const std::string& sql) {
    std::string value;
    try {
        SQLiteDatabase(path).query(sql, {}, [&](const SQLiteRow& row) { value = row.text(0); });
    } catch (const SQLiteError&) {
    }
    return value;
}

// The first column of every row, empty when the file cannot be read.
std::set<std::string> column(const std::string& path, const std::string& sql) {
    std::set<std::string> values;
    try {
        SQLiteDatabase(path).query(sql, {}, [&](const SQLiteRow& row) { values.insert(row.text(0)); });
    } catch (const SQLiteError&) {
    }
    return values;
}

class OstrelProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::permissions(tree.root, fs::perms(0755));
        for (const char* account : {"self", "nobody"}) {
            for (const char* kind : {"config", "state", "runtime"}) {
                const std::string path = tree.file(std::string(account) + "/" + kind);
                fs::create_directories(path);
                fs::permissions(path, fs::perms(0700));
                // Only root starts the program as nobody.
                if (account == std::string("nobody") && ::geteuid() == 0) {
                    ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0);
                }
            }
        }
        fs::create_directories(dataHome);
    }

    void TearDown() override {
        for (const pid_t pid : started) ::kill(-pid, SIGKILL), ::waitpid(pid, nullptr, 0);
    }

    // The program in a process group of its own, so that its helper tools end with it.
    pid_t start(const std::string& name, bool asNobody = false, bool mockData = false) {
        const std::string account = tree.file(asNobody ? "nobody" : "self");
        const std::string out = tree.file(name + ".out"), err = tree.file(name + ".err");
        const std::string program = asNobody ? programForNobody() : OSTREL_PROGRAM;
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setpgid(0, 0);
            const int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (outFd < 0 || errFd < 0 || ::dup2(outFd, 1) < 0 || ::dup2(errFd, 2) < 0) ::_exit(126);
            if (asNobody && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) ::_exit(126);
            ::clearenv();
            const std::pair<const char*, std::string> environment[] = {
                {"HOME", account},
                {"XDG_DATA_HOME", dataHome},
                {"XDG_CONFIG_HOME", account + "/config"},
                {"XDG_STATE_HOME", account + "/state"},
                {"XDG_RUNTIME_DIR", account + "/runtime"},
                {"QT_QPA_PLATFORM", "offscreen"},
                {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + tree.file("no-bus")},
                {"LANG", "C.UTF-8"},
                {"TZ", "UTC"},
                // Killed at the end: what it still holds then is not a leak.
                {"ASAN_OPTIONS", "detect_leaks=0"},
            };
            for (const auto& [key, value] : environment) ::setenv(key, value.c_str(), 1);
            if (mockData) ::setenv("OSTREL_ENABLE_MOCK_DATA", "1", 1);
            ::execl(program.c_str(), "ostrel", nullptr);
            ::_exit(127);
        }
        started.push_back(pid);
        return pid;
    }

    // The program where nobody may run it: the build tree may lie in a folder closed to other
    // accounts (a clone in a private temporary folder), and then it is copied, with the files it
    // finds beside itself, into the test's own open folder.
    std::string programForNobody() {
        if (!nobodyProgram.empty()) return nobodyProgram;
        const pid_t probe = ::fork();
        if (probe == 0) {
            const bool reached =
                ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0 && ::access(OSTREL_PROGRAM, X_OK) == 0;
            ::_exit(reached ? 0 : 1);
        }
        int status = 0;
        ::waitpid(probe, &status, 0);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return nobodyProgram = OSTREL_PROGRAM;
        const fs::path build = fs::path(OSTREL_PROGRAM).parent_path().parent_path(), copy = tree.file("build");
        for (const char* part :
             {"bin/ostrel", "libexec/ostrel", "lib/ostrel", "lib/libostrel_core.so", "share/ostrel"}) {
            if (!fs::exists(build / part)) continue;
            fs::create_directories((copy / part).parent_path());
            fs::copy(build / part, copy / part, fs::copy_options::recursive);
        }
        for (const auto& entry : fs::recursive_directory_iterator(copy)) {
            if (entry.is_directory()) fs::permissions(entry.path(), fs::perms(0755));
        }
        fs::permissions(copy, fs::perms(0755));
        return nobodyProgram = (copy / "bin/ostrel").string();
    }

    // Its exit status once it has ended within `within`, or nothing while it runs.
    static std::optional<int> ended(pid_t pid, std::chrono::seconds within = 60s) {
        int status = 0;
        if (!waitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, within)) return std::nullopt;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    // A start while `first` holds the database leaves at once, saying why.
    void expectSecondStartLeaves(pid_t first) {
        const pid_t second = start("second");
        EXPECT_EQ(ended(second), 0);
        EXPECT_EQ(contents(tree.file("second.out")), "Ostrel is already running.\n");
        EXPECT_EQ(flockHolder(database), first);
    }

    // How often the start named `name` has said `text` on standard error.
    int timesSaid(const std::string& name, const std::string& text) {
        const std::string err = contents(tree.file(name + ".err"));
        int count = 0;
        for (auto at = err.find(text); at != std::string::npos; at = err.find(text, at + 1)) ++count;
        return count;
    }

    testing::TempTree tree;
    const std::string dataHome = tree.file("data");
    const std::string folder = dataHome + "/Ostrel";
    const std::string database = folder + "/ostrel.sqlite";
    std::vector<pid_t> started;
    std::string nobodyProgram;
};

TEST_F(OstrelProgramTest, OfStartsThatMeetOneRunsAndTheOthersLeaveAtOnce) {
    std::vector<pid_t> starts;
    for (int i = 0; i < 4; ++i) starts.push_back(start("start" + std::to_string(i)));
    ASSERT_TRUE(waitFor([&] { return flockHolder(database).has_value(); }));
    const pid_t running = *flockHolder(database);
    for (std::size_t i = 0; i < starts.size(); ++i) {
        if (starts[i] == running) continue;
        EXPECT_EQ(ended(starts[i]), 0) << i;
        EXPECT_EQ(contents(tree.file("start" + std::to_string(i) + ".out")), "Ostrel is already running.\n");
    }
    EXPECT_EQ(ended(running, 1s), std::nullopt);
    expectSecondStartLeaves(running);
}

// Deleting the database file, or its folder, no longer lets a second start in, and the first does
// not go on writing into a file that is gone: it starts again, in the same process, on the file
// at the database's place, and says so on standard error.
TEST_F(OstrelProgramTest, TheRunningProgramStartsAgainOnWhatIsAtItsDatabasesPlace) {
    const pid_t first = start("first");
    ASSERT_TRUE(waitFor([&] { return flockHolder(database) == first; }));
    const std::string moved = tree.file("moved.sqlite"), other = tree.file("other.sqlite");
    {
        // Another database, with a setting of its own, to be put in the place of the first.
        OstrelRepository repository(std::make_unique<SQLiteDatabase>(other));
        repository.saveSettings({MenuBarDisplayMode::compactTotal, 12345, 67890, false, false});
    }
    const struct {
        const char* label;
        std::function<void()> change;
    } changes[] = {
        {"the file deleted", [&] { fs::remove(database); }},
        {"the folder deleted", [&] { fs::remove_all(folder); }},
        {"the file moved away", [&] { fs::rename(database, moved); }},
        {"another file put in its place", [&] { fs::rename(other, database); }},
    };
    int restarts = 0;
    for (const auto& [label, change] : changes) {
        SCOPED_TRACE(label);
        // The program has settled the settings in the file it holds.
        ASSERT_TRUE(waitFor([&] { return query(database, "SELECT COUNT(*) FROM settings") == "5"; }));
        change();
        ++restarts;
        const auto said = [&] {
            const std::string err = contents(tree.file("first.err"));
            int count = 0;
            for (auto at = err.find("was deleted or replaced while Ostrel was running"); at != std::string::npos;
                 at = err.find("was deleted or replaced while Ostrel was running", at + 1)) {
                ++count;
            }
            return count;
        };
        // Before the new start holds it, nothing holds the file at the path: the old lock is on
        // the file that went.
        ASSERT_TRUE(waitFor([&] { return said() == restarts && flockHolder(database) == first; }))
            << contents(tree.file("first.err"));
        expectSecondStartLeaves(first);
    }
    // The file moved away was made whole before the program left it; the one put in its place is
    // the one now in use, its setting kept.
    EXPECT_EQ(query(moved, "SELECT (SELECT COUNT(*) FROM settings) || ' ' || (SELECT * FROM pragma_integrity_check)"),
              "5 ok");
    EXPECT_EQ(query(database, "SELECT value FROM settings WHERE key = 'warning_threshold_bytes'"), "12345");
}

// A restore that renames over the database (rsync -I), a move and a copy, each while another
// program holds a read or a write transaction on it. The program waits for the other program
// before it starts again, so that the two never share the old file's log; then both files are
// whole, nothing either program committed is lost, and the program records on the file at the path.
TEST_F(OstrelProgramTest, ARestoreMoveOrCopyUnderAnotherProgramsTransactionDamagesNeitherFile) {
    const std::string backup = tree.file("backup.sqlite"), kept = tree.file("kept.sqlite"),
                      moved = tree.file("moved.sqlite"), copy = tree.file("copy.sqlite");
    {
        auto repository = std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(backup));
        repository->saveSettings({MenuBarDisplayMode::compactTotal, 12345, 67890, false, false});
    }
    const std::string integrity = "SELECT group_concat(integrity_check) FROM pragma_integrity_check";
    const std::string restarted = "was deleted or replaced while Ostrel was running";
    const struct {
        const char* label;
        std::string command;
        std::string oldFile;  // where the file the program had open is afterwards
        bool replaces;
    } changes[] = {
        // A second name keeps the file that the restore unlinks, to look at afterwards.
        {"rsync -I", "ln '" + database + "' '" + kept + "' && rsync -I '" + backup + "' '" + database + "'", kept,
         true},
        {"mv", "mv '" + database + "' '" + moved + "'", moved, true},
        {"cp", "cp '" + database + "' '" + copy + "'", database, false},
    };
    for (const auto& [label, command, oldFile, replaces] : changes) {
        for (const bool writes : {false, true}) {
            SCOPED_TRACE(std::string(label) + (writes ? ", a writer" : ", a reader"));
            fs::remove_all(folder);
            for (const auto& path : {kept, moved, copy}) fs::remove(path);
            const pid_t first = start("first", false, true);
            ASSERT_TRUE(waitFor([&] {
                return flockHolder(database) == first && query(database, "SELECT COUNT(*) FROM settings") == "5" &&
                       query(database, "SELECT COUNT(*) > 1000 FROM usage_samples") == "1";
            })) << contents(tree.file("first.err"));
            const auto committed = column(database, "SELECT id FROM usage_samples");
            {
                testing::OtherSQLiteProgram other(database, writes);
                ASSERT_EQ(std::system(command.c_str()), 0);
                if (replaces) {
                    ASSERT_TRUE(waitFor([&] { return timesSaid("first", restarted) == 1; }));
                }
                // While the other program holds its transaction the program does not start again.
                std::this_thread::sleep_for(2s);
                EXPECT_EQ(timesSaid("first", restarted), replaces ? 1 : 0);
                if (replaces) {
                    EXPECT_NE(flockHolder(database), first);
                }
                EXPECT_TRUE(other.letGo());
            }
            ASSERT_TRUE(waitFor([&] {
                return flockHolder(database) == first && query(database, "SELECT COUNT(*) FROM settings") == "5";
            })) << contents(tree.file("first.err"));
            EXPECT_EQ(timesSaid("first", restarted), replaces ? 1 : 0);
            EXPECT_EQ(query(oldFile, integrity), "ok");
            EXPECT_EQ(query(database, integrity), "ok");
            if (!replaces) {
                EXPECT_EQ(query(copy, integrity), "ok");
            }
            const auto samples = column(oldFile, "SELECT id FROM usage_samples");
            EXPECT_TRUE(std::includes(samples.begin(), samples.end(), committed.begin(), committed.end()))
                << samples.size() << " samples, of " << committed.size() << " committed";
            if (writes) {
                EXPECT_EQ(query(oldFile, "SELECT SUM(n) FROM other_program"), "7");
            }
            if (std::string(label) == "rsync -I") {
                EXPECT_EQ(query(database, "SELECT value FROM settings WHERE key = 'warning_threshold_bytes'"), "12345");
            }
            ::kill(-first, SIGKILL);
            ::waitpid(first, nullptr, 0);
        }
    }
}

// A file emptied in place keeps its identity but loses its header: the program notices it as it
// notices a replacement, says so, and starts again on it, without pairing the old log with it.
TEST_F(OstrelProgramTest, ADatabaseEmptiedInPlaceIsNoticedAndTheProgramStartsAgainOnIt) {
    const pid_t first = start("first");
    ASSERT_TRUE(waitFor(
        [&] { return flockHolder(database) == first && query(database, "SELECT COUNT(*) FROM settings") == "5"; }));
    const std::string said = "was emptied or overwritten while Ostrel was running";
    std::ofstream(database, std::ios::trunc).close();
    ASSERT_TRUE(waitFor([&] { return timesSaid("first", said) == 1; })) << contents(tree.file("first.err"));
    ASSERT_TRUE(waitFor([&] {
        return flockHolder(database) == first && query(database, "SELECT COUNT(*) FROM settings") == "5";
    })) << contents(tree.file("first.err"));
    EXPECT_EQ(query(database, "SELECT group_concat(integrity_check) FROM pragma_integrity_check"), "ok");
    std::this_thread::sleep_for(2s);
    EXPECT_EQ(timesSaid("first", said), 1);
    EXPECT_EQ(flockHolder(database), first);
}

// Another program holding the database's write lock for longer than SQLite waits does not end a
// start: it waits, says so once, and starts when the other program lets go.
TEST_F(OstrelProgramTest, AStartWaitsWhileAnotherProgramHoldsTheDatabasesWriteLock) {
    fs::create_directories(folder);
    OstrelRepository(std::make_unique<SQLiteDatabase>(database)).saveSettings({});
    std::optional<testing::OtherSQLiteProgram> other(std::in_place, database, true);
    const pid_t first = start("first");
    std::this_thread::sleep_for(8s);
    EXPECT_EQ(ended(first, 0s), std::nullopt) << contents(tree.file("first.err"));
    EXPECT_EQ(timesSaid("first", "holds the database's write lock"), 1);
    EXPECT_TRUE(other->letGo());
    other.reset();
    ASSERT_TRUE(waitFor([&] {
        return flockHolder(database) == first && query(database, "SELECT COUNT(*) FROM usage_samples") == "0";
    })) << contents(tree.file("first.err"));
    EXPECT_EQ(ended(first, 2s), std::nullopt) << contents(tree.file("first.err"));
    EXPECT_EQ(timesSaid("first", "holds the database's write lock"), 1);
    EXPECT_EQ(query(database, "SELECT SUM(n) FROM other_program"), "7");
}

// A start that cannot hold the lock on the database leaves before anything opens it: a database
// with demonstration samples (which a start without them purges) stays byte for byte as it was.
// A lock file of an earlier version, whatever it has become, neither refuses nor guards.
TEST_F(OstrelProgramTest, AStartThatCannotHoldTheDatabaseLeavesItAsItWas) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to start the program as another account";
    const auto seed = [&] {
        fs::remove_all(folder);
        fs::create_directories(folder);
        auto repository = std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(database));
        MockDataSeeder(repository, std::make_shared<CapturingLogSink>(), currentDate).seedIfEmpty();
    };
    const struct {
        const char* label;
        std::function<void()> prepare;
        const char* reason;
    } refusals[] = {
        {"a file of another account", [] {}, "Permission denied"},
        {"a file only to be read",
         [&] {
             ASSERT_EQ(::chown(database.c_str(), kNobody, kNobody), 0);
             fs::permissions(database, fs::perms(0400));
         },
         "Permission denied"},
        {"a folder in the place of the file",
         [&] {
             fs::remove(database);
             fs::create_directory(database);
         },
         "Is a directory"},
    };
    for (const auto& [label, prepare, reason] : refusals) {
        SCOPED_TRACE(label);
        seed();
        ASSERT_GT(std::stoi(query(database, "SELECT COUNT(*) FROM usage_samples WHERE source = 'mock'")), 1000);
        prepare();
        const auto files = [&] {
            std::vector<std::string> names;
            for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
            return names;
        };
        const auto namesBefore = files();
        const std::string bytesBefore = fs::is_regular_file(database) ? contents(database) : "";
        const pid_t refused = start("refused", true);
        EXPECT_EQ(ended(refused), 1);
        EXPECT_EQ(contents(tree.file("refused.err")),
                  "Failed to initialize OstrelDataService: " + database + ": " + reason + "\n");
        EXPECT_TRUE((fs::is_regular_file(database) ? contents(database) : "") == bytesBefore) << "the file changed";
        EXPECT_EQ(files(), namesBefore);
    }

    for (const auto& [label, lockFile] : std::vector<std::pair<const char*, std::function<void(const std::string&)>>>{
             {"a folder", [](const std::string& path) { fs::create_directory(path); }},
             {"a file of root's, only to be read",
              [](const std::string& path) {
                  std::ofstream(path) << "";
                  fs::permissions(path, fs::perms(0400));
              }},
         }) {
        SCOPED_TRACE(label);
        seed();
        for (const auto& path : {folder, database}) ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0);
        lockFile(folder + "/ostrel.lock");
        const pid_t first = start("first", true);
        ASSERT_TRUE(waitFor([&] { return flockHolder(database) == first; })) << contents(tree.file("first.err"));
        ::kill(-first, SIGKILL);
        ::waitpid(first, nullptr, 0);
    }
}

}  // namespace
}  // namespace ostrel
