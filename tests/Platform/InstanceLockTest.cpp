#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "Platform/InstanceLock.hpp"
#include "Platform/support/TempTree.hpp"

namespace ostrel {
namespace {

using State = InstanceLock::State;

// Another process takes the lock and keeps it until it is killed; returns its pid once it holds.
pid_t holderOf(const std::string& path) {
    int ready[2];
    EXPECT_EQ(::pipe(ready), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const auto lock = InstanceLock::acquire(path);
        const char held = lock.state() == State::held ? 'y' : 'n';
        if (::write(ready[1], &held, 1) != 1) ::_exit(2);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char held = 0;
    EXPECT_EQ(::read(ready[0], &held, 1), 1);
    EXPECT_EQ(held, 'y');
    ::close(ready[0]);
    return pid;
}

TEST(InstanceLockTest, OneHolderAtATimeAndADeadHolderLeavesNothingBehind) {
    testing::TempTree tree;
    const std::string path = tree.root + "/data/Ostrel/ostrel.lock";  // the folders are made

    const pid_t holder = holderOf(path);
    EXPECT_EQ(InstanceLock::acquire(path).state(), State::heldElsewhere);
    // Killed, so nothing of its own releases the lock: the kernel does.
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);

    const auto first = InstanceLock::acquire(path);
    EXPECT_EQ(first.state(), State::held);
    // A second open of the file in the same process is a second holder too.
    EXPECT_EQ(InstanceLock::acquire(path).state(), State::heldElsewhere);
}

// The lock is on the database file, so what would defeat a lock file beside it is seen instead.
TEST(InstanceLockTest, TheHolderSeesItsFileDeletedRenamedAwayOrReplaced) {
    const std::function<void(const std::string& folder)> changes[] = {
        [](const std::string& folder) { std::filesystem::remove(folder + "/ostrel.sqlite"); },
        [](const std::string& folder) { std::filesystem::remove_all(folder); },
        [](const std::string& folder) {
            std::filesystem::rename(folder + "/ostrel.sqlite", folder + "/elsewhere.sqlite");
        },
        [](const std::string& folder) {
            std::ofstream(folder + "/new.sqlite") << "another";
            std::filesystem::rename(folder + "/new.sqlite", folder + "/ostrel.sqlite");
        },
        [](const std::string& folder) {
            std::filesystem::rename(folder, folder + "-old");
            std::filesystem::create_directory(folder);
        },
    };
    for (std::size_t i = 0; i < std::size(changes); ++i) {
        SCOPED_TRACE(i);
        testing::TempTree tree;
        const std::string folder = tree.root + "/data/Ostrel", path = folder + "/ostrel.sqlite";
        const auto held = InstanceLock::acquire(path);
        ASSERT_EQ(held.state(), State::held);
        std::filesystem::create_hard_link(path, tree.root + "/second name");  // one more name changes nothing
        EXPECT_TRUE(held.stillAtPath());
        changes[i](folder);
        EXPECT_FALSE(held.stillAtPath());
        // The file now at the path is free for another holder, which the old one can only notice.
        EXPECT_EQ(InstanceLock::acquire(path).state(), State::held);
    }
}

// A log and shared memory beside the file may belong to a database moved away, which another
// program still has open and whose last commits the log holds: they stay, beside an empty file too.
TEST(InstanceLockTest, FilesBesideTheDatabaseAreLeftAlone) {
    testing::TempTree tree;
    const std::string path = tree.root + "/ostrel.sqlite";
    for (const bool empty : {true, false}) {
        SCOPED_TRACE(empty);
        std::ofstream(path) << (empty ? "" : "SQLite format 3");
        for (const char* suffix : {"-wal", "-shm", "-journal"}) std::ofstream(path + suffix) << "left";
        EXPECT_EQ(InstanceLock::acquire(path).state(), State::held);
        for (const char* suffix : {"-wal", "-shm", "-journal"}) EXPECT_TRUE(std::filesystem::exists(path + suffix));
    }
}

// The header is read through the lock's own descriptor, so it is the held file's even after
// another has taken its place.
TEST(InstanceLockTest, TheHeaderIsTheHeldFilesWhateverIsAtThePath) {
    testing::TempTree tree;
    const std::string path = tree.root + "/ostrel.sqlite";
    const auto lock = InstanceLock::acquire(path);
    EXPECT_FALSE(lock.hasDatabaseHeader());  // new and empty
    std::ofstream(path, std::ios::binary) << std::string("SQLite format 3\0", 16) << std::string(84, '\0');
    EXPECT_TRUE(lock.hasDatabaseHeader());
    std::filesystem::rename(path, tree.root + "/moved.sqlite");
    std::ofstream(path) << "another";
    EXPECT_TRUE(lock.hasDatabaseHeader());
    for (const std::string& contents : {std::string(), std::string("SQLite format 3"), std::string(100, 'x')}) {
        std::ofstream(tree.root + "/moved.sqlite", std::ios::trunc) << contents;
        EXPECT_FALSE(lock.hasDatabaseHeader()) << contents;
    }
}

// SQLite's connections hold record locks on the file (past its end, where its lock bytes lie);
// those of this process do not count, those of another do until it ends.
TEST(InstanceLockTest, RecordLocksOfAnotherProcessOnTheFileAreSeen) {
    testing::TempTree tree;
    const std::string path = tree.root + "/ostrel.sqlite";
    const auto lock = InstanceLock::acquire(path);
    const auto lockAt = [&](off_t start, short type) {
        struct flock range {};
        range.l_type = type;
        range.l_whence = SEEK_SET;
        range.l_start = start;
        range.l_len = 510;
        const int fd = ::open(path.c_str(), O_RDWR);
        EXPECT_EQ(::fcntl(fd, F_SETLK, &range), 0);
        return fd;
    };
    const int own = lockAt(0x40000002, F_WRLCK);
    EXPECT_FALSE(lock.lockedByAnotherProcess());
    int ready[2], done[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(done), 0);
    ::close(own);  // closing any descriptor of the file drops this process' record locks
    const pid_t other = ::fork();
    if (other == 0) {
        lockAt(0x40000002, F_RDLCK);
        char byte = 'y';
        if (::write(ready[1], &byte, 1) != 1 || ::read(done[0], &byte, 1) != 1) ::_exit(2);
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    EXPECT_TRUE(lock.lockedByAnotherProcess());
    ASSERT_EQ(::write(done[1], "g", 1), 1);
    ::waitpid(other, nullptr, 0);
    EXPECT_FALSE(lock.lockedByAnotherProcess());
    for (int fd : {ready[0], ready[1], done[0], done[1]}) ::close(fd);
}

TEST(InstanceLockTest, AFileThatCannotBeOpenedForWritingFailsWithTheReason) {
    testing::TempTree tree;
    std::filesystem::create_directory(tree.root + "/ostrel.sqlite");
    const auto folder = InstanceLock::acquire(tree.root + "/ostrel.sqlite");
    EXPECT_EQ(folder.state(), State::failed);
    EXPECT_EQ(folder.error(), tree.root + "/ostrel.sqlite: Is a directory");
}

TEST(InstanceLockTest, AFolderThatCannotBeMadeFailsWithTheReason) {
    // Nothing can be made under /proc, whoever runs the test.
    const auto lock = InstanceLock::acquire("/proc/ostrel-nowhere/Ostrel/ostrel.lock");
    EXPECT_EQ(lock.state(), State::failed);
    EXPECT_TRUE(lock.error().starts_with("/proc/ostrel-nowhere/Ostrel: ")) << lock.error();
}

}  // namespace
}  // namespace ostrel
