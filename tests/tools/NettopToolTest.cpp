#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "Platform/ProcessToolRunner.hpp"
#include "PlatformAdapters/NettopOutput.hpp"

namespace ostrel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr std::int64_t requestBytes = 300000;  // sender to receiver
constexpr std::int64_t replyBytes = 120000;    // receiver to sender
constexpr std::int64_t moreBytes = 70000;      // the second exchange, sender to receiver

// Moves `size` bytes in one direction; the other side of the call moves them the other way.
bool transfer(int fd, std::int64_t size, bool send) {
    std::vector<char> data(size, 'x');
    return (send ? ::send(fd, data.data(), size, 0) : ::recv(fd, data.data(), size, MSG_WAITALL)) == size;
}

// A child process with its own name that moves known byte counts over one loopback connection,
// reports ready, and moves `moreBytes` again for every byte it is sent on its control pipe.
class Peer {
public:
    Peer(const char* name, bool sender, int listener, sockaddr_in address) {
        int control[2], ready[2];
        if (::pipe2(control, O_CLOEXEC) != 0 || ::pipe2(ready, O_CLOEXEC) != 0) return;
        pid = ::fork();
        if (pid == 0) {
            ::prctl(PR_SET_NAME, name);
            ::close(control[1]);  // or the control pipe never ends
            int connection = sender ? ::socket(AF_INET, SOCK_STREAM, 0) : ::accept(listener, nullptr, nullptr);
            if (sender && ::connect(connection, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) ::_exit(1);
            // Each side's last read acknowledges the other's last write, so the acknowledged
            // counts are complete when both report ready.
            bool ok = transfer(connection, requestBytes, sender) && transfer(connection, replyBytes, !sender) &&
                      transfer(connection, 1, sender);
            char command = 0;
            while (ok && ::write(ready[1], "r", 1) == 1 && ::read(control[0], &command, 1) == 1) {
                ok = transfer(connection, moreBytes, sender) && transfer(connection, 1, !sender);
            }
            ::_exit(ok ? 0 : 1);
        }
        ::close(control[0]);
        ::close(ready[1]);
        control_ = control[1];
        ready_ = ready[0];
    }
    ~Peer() {
        ::close(control_);
        ::close(ready_);
        if (pid > 0) ::waitpid(pid, nullptr, 0);
    }

    bool waitReady() {
        pollfd item{ready_, POLLIN, 0};
        char byte = 0;
        return ::poll(&item, 1, 10000) == 1 && ::read(ready_, &byte, 1) == 1;
    }
    bool moveMore() { return ::write(control_, "m", 1) == 1; }

    pid_t pid = -1;

private:
    int control_ = -1;
    int ready_ = -1;
};

TEST(NettopToolTest, BothEndsOfAConnectionAppearWithTheBytesTheyMovedAndThenOnlyNewBytes) {
    std::string pattern = (fs::temp_directory_path() / "ostrel-nettop-run-XXXXXX").string();
    const std::string runtimeDir = ::mkdtemp(pattern.data());
    ::setenv("XDG_RUNTIME_DIR", runtimeDir.c_str(), 1);
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);

    ProcessToolRunner runner;
    const auto rowsByPid = [&] {
        const auto output = runner.runCommand(OSTREL_NETTOP_PATH, {"-P", "-L", "1", "-s", "1", "-x"});
        EXPECT_TRUE(output && output->starts_with("time,,interface,state,bytes_in,bytes_out\n"));
        std::map<int, NettopProcessRow> rows;
        for (const auto& row : parseNettopOutput(output.value_or(""))) rows[row.pid.value_or(0)] = row;
        return rows;
    };
    {
        Peer receiver("nettop-recv", false, listener, address);
        Peer sender("nettop-send", true, listener, address);
        ASSERT_TRUE(receiver.pid > 0 && sender.pid > 0);
        ASSERT_TRUE(receiver.waitReady() && sender.waitReady());

        const auto start = std::chrono::steady_clock::now();
        auto rows = rowsByPid();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
        ASSERT_TRUE(rows.count(sender.pid) && rows.count(receiver.pid));
        EXPECT_EQ(rows[sender.pid].command, "nettop-send");
        EXPECT_EQ(rows[receiver.pid].command, "nettop-recv");
        EXPECT_GE(rows[sender.pid].tx, requestBytes);
        EXPECT_GE(rows[sender.pid].rx, replyBytes);
        EXPECT_GE(rows[receiver.pid].rx, requestBytes);
        EXPECT_GE(rows[receiver.pid].tx, replyBytes);

        // Nothing moved since: the idle peers drop out, once the last (possibly delayed)
        // acknowledgement is in.
        bool droppedOut = false;
        for (int run = 0; run < 20 && !droppedOut; ++run) {
            if (run > 0) std::this_thread::sleep_for(50ms);
            rows = rowsByPid();
            droppedOut = !rows.count(sender.pid) && !rows.count(receiver.pid);
        }
        EXPECT_TRUE(droppedOut);

        ASSERT_TRUE(sender.moveMore() && receiver.moveMore());
        ASSERT_TRUE(receiver.waitReady() && sender.waitReady());
        rows = rowsByPid();
        EXPECT_GE(rows[sender.pid].tx, moreBytes);
        EXPECT_LT(rows[sender.pid].tx, moreBytes + 100);
        EXPECT_GE(rows[receiver.pid].rx, moreBytes);
        EXPECT_LT(rows[receiver.pid].rx, moreBytes + 100);
    }
    struct stat info {};
    ASSERT_EQ(::stat((runtimeDir + "/ostrel").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat((runtimeDir + "/ostrel/nettop.state").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 077, 0u);
    ::close(listener);
    fs::remove_all(runtimeDir);
}

}  // namespace
}  // namespace ostrel
