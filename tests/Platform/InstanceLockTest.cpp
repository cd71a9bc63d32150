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

// An empty file has never been written by SQLite: the log, shared memory and journal beside it
// are left from a database deleted before, perhaps still open in another program, and must not
// be read as this file's. Beside a file with contents they are its own and stay.
TEST(InstanceLockTest, LeftoversBesideAnEmptyFileGoAndThoseOfAFileWithContentsStay) {
    testing::TempTree tree;
    const std::string path = tree.root + "/ostrel.sqlite";
    for (const bool empty : {true, false}) {
        SCOPED_TRACE(empty);
        std::ofstream(path) << (empty ? "" : "SQLite format 3");
        for (const char* suffix : {"-wal", "-shm", "-journal"}) std::ofstream(path + suffix) << "left";
        EXPECT_EQ(InstanceLock::acquire(path).state(), State::held);
        for (const char* suffix : {"-wal", "-shm", "-journal"}) {
            EXPECT_EQ(std::filesystem::exists(path + suffix), !empty) << suffix;
        }
    }
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
