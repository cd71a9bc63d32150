// The instance lock is an flock on the database file that SQLite uses at the same time, from this
// process and from others: neither lock disturbs the other.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Persistence/support/PersistenceTestSupport.hpp"
#include "Platform/InstanceLock.hpp"

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

}  // namespace
}  // namespace ostrel
