#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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

TEST(InstanceLockTest, AFolderThatCannotBeMadeFailsWithTheReason) {
    // Nothing can be made under /proc, whoever runs the test.
    const auto lock = InstanceLock::acquire("/proc/ostrel-nowhere/Ostrel/ostrel.lock");
    EXPECT_EQ(lock.state(), State::failed);
    EXPECT_TRUE(lock.error().starts_with("/proc/ostrel-nowhere/Ostrel: ")) << lock.error();
}

}  // namespace
}  // namespace ostrel
