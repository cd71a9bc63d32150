// The instance lock is an flock on the database file that SQLite uses at the same time, from this
// process and from others: neither lock disturbs the other. And the program's way out when that
// file goes from under it, on real SQLite files with another program holding them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "Persistence/support/OtherSQLiteProgram.hpp"
#include "Persistence/support/PersistenceTestSupport.hpp"
#include "Platform/InstanceLock.hpp"
#include "Platform/ProgramRestart.hpp"

namespace ostrel {
namespace {

using State = InstanceLock::State;

TEST(InstanceLockWithSQLiteTest, SQLiteReadsAndWritesBesideTheLockWhichStaysHeld) {
    testing::TempTree folder;
    const std::string path = folder.file("ostrel.sqlite");
    int go[2], done[2];
    ASSERT_EQ(::pipe(go), 0);
    ASSERT_EQ(::pipe(done), 0);
    // Forked before this process starts any thread; the child waits until the lock is held.
    const pid_t other = ::fork();
    if (other == 0) {
        char byte = 0;
        if (::read(go[0], &byte, 1) != 1) ::_exit(2);
        int failures = 0;
        failures += InstanceLock::acquire(path).state() != State::heldElsewhere;
        try {
            testing::DatabaseInspector database(path);
            failures += database.scalar("SELECT SUM(n) FROM t;") != 1;
            database.execute("INSERT INTO t VALUES (2);");
        } catch (const std::exception&) {
            ++failures;
        }
        byte = static_cast<char>(failures);
        if (::write(done[1], &byte, 1) != 1) ::_exit(2);
        ::_exit(0);
    }
    const auto lock = InstanceLock::acquire(path);
    ASSERT_EQ(lock.state(), State::held);
    testing::DatabaseInspector database(path);
    database.execute("CREATE TABLE t (n INTEGER);");
    database.execute("INSERT INTO t VALUES (1);");
    // Closing other descriptors of the file, SQLite's own among them, leaves the flock in place.
    testing::DatabaseInspector(path).rows("SELECT * FROM t;");
    ::close(::open(path.c_str(), O_RDONLY));

    char failures = -1;
    ASSERT_EQ(::write(go[1], "g", 1), 1);
    ASSERT_EQ(::read(done[0], &failures, 1), 1);
    int status = 0;
    ::waitpid(other, &status, 0);
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(database.scalar("SELECT SUM(n) FROM t;"), 3);
    for (int fd : {go[0], go[1], done[0], done[1]}) ::close(fd);
}

using namespace std::chrono_literals;
using testing::localTime;
using testing::makeSample;
using testing::openRepository;

std::vector<UsageSampleRecord> samples(const std::string& prefix, int count) {
    std::vector<UsageSampleRecord> made;
    const Date start = localTime("UTC", 2026, 7, 1, 0);
    for (int i = 0; i < count; ++i) {
        made.push_back(makeSample(prefix + std::to_string(i), start + std::chrono::minutes(7 * i),
                                  "net" + std::to_string(i % 2), "app" + std::to_string(i % 3), 1000 + i, 10 * i));
    }
    return made;
}

// A program on its database as the real one is: the lock, the repository, and the way out.
struct ProgramOnDatabase {
    explicit ProgramOnDatabase(const std::string& path)
        : lock(std::make_shared<InstanceLock>(InstanceLock::acquire(path))), repository(openRepository(path)) {}

    // check() on a thread of its own, as the watch runs it.
    void checkLater() {
        checking = std::thread([this] { loss = restart.check(); });
    }

    std::shared_ptr<InstanceLock> lock;
    std::shared_ptr<OstrelRepository> repository;
    std::shared_ptr<CapturingLogSink> log = std::make_shared<CapturingLogSink>();
    std::atomic<int> stops{0}, restarts{0};
    std::vector<bool> rounds;  // whether each round's copy of the log was complete
    ProgramRestart restart{lock,
                           log,
                           {
                               [this] { ++stops; },
                               [this](bool copyLog, const std::function<bool(bool)>& round) {
                                   repository->checkpointThen(copyLog, [&](bool complete) {
                                       rounds.push_back(complete);
                                       return round(complete);
                                   });
                               },
                               [this] { ++restarts; },
                           },
                           50ms};
    std::thread checking;
    std::atomic<ProgramRestart::Loss> loss{ProgramRestart::Loss::none};
};

// Moved away while another program reads it (at an older snapshot than the last commits) or holds
// its write lock: the program says so at once, but waits until the other program has ended its
// transaction and closed the file, copying the whole log into it; the moved file then holds every
// commit without a log beside it, and no log of its is left for a file at the old name.
TEST(ProgramRestartWithSQLiteTest, AMovedDatabaseIsMadeWholeAndLetGoBeforeTheProgramStartsAgain) {
    for (const bool writes : {false, true}) {
        SCOPED_TRACE(writes ? "a writer" : "a reader");
        testing::TempTree folder;
        const std::string path = folder.file("ostrel.sqlite"), moved = folder.file("moved.sqlite");
        ProgramOnDatabase program(path);
        program.repository->insertSamples(samples("before", 200));
        std::optional<testing::OtherSQLiteProgram> other(std::in_place, path, writes);
        if (!writes) program.repository->insertSamples(samples("after", 200));
        std::filesystem::rename(path, moved);
        program.checkLater();
        // What happened, and then what it waits for, once SQLite's own wait for the lock is over.
        for (int i = 0; i < 2000 && program.log->lines().size() < 2; ++i) std::this_thread::sleep_for(10ms);
        EXPECT_EQ(program.log->lines().size(), 2u);
        std::this_thread::sleep_for(200ms);
        EXPECT_EQ(program.stops, 1);
        EXPECT_EQ(program.restarts, 0);
        EXPECT_TRUE(other->letGo());
        other.reset();
        program.checking.join();
        EXPECT_EQ(program.loss, ProgramRestart::Loss::replaced);
        EXPECT_EQ(program.restarts, 1);
        // SQLite answers "busy" in a row while the other program holds its transaction.
        ASSERT_GE(program.rounds.size(), 2u);
        EXPECT_FALSE(program.rounds.front());
        EXPECT_TRUE(program.rounds.back());
        EXPECT_EQ(std::filesystem::file_size(path + "-wal"), 0u);
        testing::DatabaseInspector inspector(moved);
        EXPECT_EQ(inspector.rows("PRAGMA integrity_check;"), (testing::Rows{{"ok"}}));
        EXPECT_EQ(inspector.count("usage_samples"), writes ? 200 : 400);
        if (writes) {
            EXPECT_EQ(inspector.scalar("SELECT SUM(n) FROM other_program;"), 7);
        }
    }
}

// Emptied in place: the file keeps its identity, but its header is gone. Its log belongs to what
// was there: it is dropped, never copied into the empty file, which the new start then makes anew.
TEST(ProgramRestartWithSQLiteTest, AnEmptiedDatabaseIsNoticedAndItsLogDropped) {
    testing::TempTree folder;
    const std::string path = folder.file("ostrel.sqlite");
    ProgramOnDatabase program(path);
    program.repository->insertSamples(samples("before", 200));
    EXPECT_EQ(program.restart.check(), ProgramRestart::Loss::none);
    ASSERT_GT(std::filesystem::file_size(path + "-wal"), 0u);
    std::ofstream(path, std::ios::trunc).close();
    EXPECT_EQ(program.restart.check(), ProgramRestart::Loss::emptied);
    EXPECT_EQ(program.restarts, 1);
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
    EXPECT_EQ(std::filesystem::file_size(path + "-wal"), 0u);
    ASSERT_EQ(program.log->lines().size(), 1u);
    EXPECT_NE(program.log->lines()[0].find(" was emptied or overwritten while Ostrel was running"), std::string::npos);
}

}  // namespace
}  // namespace ostrel
