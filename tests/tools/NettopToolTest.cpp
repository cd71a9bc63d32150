#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "PlatformAdapters/NettopOutput.hpp"

extern char** environ;

namespace ostrel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr std::size_t requestBytes = 300000;  // sender to receiver
constexpr std::size_t replyBytes = 120000;    // receiver to sender
constexpr std::size_t moreBytes = 70000;      // the second exchange, sender to receiver

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t count = ::write(fd, data, size);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return false;
        data += count;
        size -= static_cast<std::size_t>(count);
    }
    return true;
}

bool sendBytes(int fd, std::size_t size) {
    const std::vector<char> chunk(16384, 'x');
    while (size > 0) {
        const auto part = std::min(size, chunk.size());
        if (!writeAll(fd, chunk.data(), part)) return false;
        size -= part;
    }
    return true;
}

bool receiveBytes(int fd, std::size_t size) {
    std::vector<char> chunk(16384);
    while (size > 0) {
        const ssize_t count = ::read(fd, chunk.data(), std::min(size, chunk.size()));
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return false;
        size -= static_cast<std::size_t>(count);
    }
    return true;
}

// A child process that moves known byte counts over one loopback connection and then waits for
// commands: 'm' moves `moreBytes` again, end of input ends it.
class Peer {
public:
    enum class Role { sender, receiver };

    Peer(const char* name, Role role, int listener, sockaddr_in address) {
        int control[2];
        int ready[2];
        if (::pipe2(control, O_CLOEXEC) != 0 || ::pipe2(ready, O_CLOEXEC) != 0) return;
        pid = ::fork();
        if (pid == 0) {
            ::close(control[1]);
            ::close(ready[0]);
            ::prctl(PR_SET_NAME, name);
            ::_exit(run(role, listener, address, control[0], ready[1]) ? 0 : 1);
        }
        ::close(control[0]);
        ::close(ready[1]);
        control_ = control[1];
        ready_ = ready[0];
    }
    ~Peer() {
        if (control_ >= 0) ::close(control_);
        if (ready_ >= 0) ::close(ready_);
        if (pid > 0) {
            int status = 0;
            ::waitpid(pid, &status, 0);
        }
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    bool waitReady() {
        pollfd item{ready_, POLLIN, 0};
        char byte = 0;
        return ::poll(&item, 1, 10000) == 1 && ::read(ready_, &byte, 1) == 1;
    }
    bool moveMore() { return writeAll(control_, "m", 1); }

    pid_t pid = -1;

private:
    static bool run(Role role, int listener, sockaddr_in address, int control, int ready) {
        int connection = -1;
        if (role == Role::receiver) {
            connection = ::accept(listener, nullptr, nullptr);
        } else {
            connection = ::socket(AF_INET, SOCK_STREAM, 0);
            if (::connect(connection, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return false;
        }
        ::close(listener);
        if (connection < 0) return false;
        // The reply acknowledges the request and the final byte acknowledges the reply, so both
        // sides' acknowledged counts are complete when they report ready.
        const bool exchanged = role == Role::sender
                                   ? sendBytes(connection, requestBytes) && receiveBytes(connection, replyBytes) &&
                                         sendBytes(connection, 1)
                                   : receiveBytes(connection, requestBytes) && sendBytes(connection, replyBytes) &&
                                         receiveBytes(connection, 1);
        if (!exchanged || !writeAll(ready, "r", 1)) return false;
        char command = 0;
        while (::read(control, &command, 1) == 1) {
            const bool moved = role == Role::sender ? sendBytes(connection, moreBytes) && receiveBytes(connection, 1)
                                                    : receiveBytes(connection, moreBytes) && sendBytes(connection, 1);
            if (!moved || !writeAll(ready, "r", 1)) return false;
        }
        return true;
    }

    int control_ = -1;
    int ready_ = -1;
};

struct ToolRun {
    int exitStatus = -1;
    std::string output;
    std::chrono::steady_clock::duration duration{};
};

ToolRun runTool(const std::optional<std::string>& runtimeDir) {
    std::vector<std::string> variables;
    for (char** entry = environ; *entry; ++entry) {
        if (std::strncmp(*entry, "XDG_RUNTIME_DIR=", 16) != 0) variables.emplace_back(*entry);
    }
    if (runtimeDir) variables.push_back("XDG_RUNTIME_DIR=" + *runtimeDir);
    std::vector<char*> envp;
    for (auto& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);
    std::vector<std::string> arguments{OSTREL_NETTOP_PATH, "-P", "-L", "1", "-s", "1", "-x"};
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    ToolRun run;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = -1;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned == 0) {
        char buffer[4096];
        ssize_t count = 0;
        while ((count = ::read(out[0], buffer, sizeof buffer)) > 0)
            run.output.append(buffer, static_cast<std::size_t>(count));
        int status = 0;
        ::waitpid(child, &status, 0);
        run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    run.duration = std::chrono::steady_clock::now() - start;
    ::close(out[0]);
    return run;
}

std::map<int, NettopProcessRow> rowsByPid(const std::string& output) {
    std::map<int, NettopProcessRow> rows;
    for (const auto& row : parseNettopOutput(output)) {
        if (row.pid) rows[*row.pid] = row;
    }
    return rows;
}

class NettopToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ostrel-nettop-run-XXXXXX").string();
        runtimeDir = ::mkdtemp(pattern.data());
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(::listen(listener, 4), 0);
        ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    }
    void TearDown() override {
        ::close(listener);
        fs::remove_all(runtimeDir);
    }

    std::string runtimeDir;
    int listener = -1;
    sockaddr_in address{};
};

TEST_F(NettopToolTest, BothEndsOfAConnectionAppearWithTheBytesTheyMovedAndThenOnlyNewBytes) {
    Peer receiver("nettop-recv", Peer::Role::receiver, listener, address);
    Peer sender("nettop-send", Peer::Role::sender, listener, address);
    ASSERT_GT(receiver.pid, 0);
    ASSERT_GT(sender.pid, 0);
    ASSERT_TRUE(receiver.waitReady());
    ASSERT_TRUE(sender.waitReady());

    const auto first = runTool(runtimeDir);
    ASSERT_EQ(first.exitStatus, 0) << first.output;
    EXPECT_TRUE(first.output.starts_with("time,,interface,state,bytes_in,bytes_out\n"));
    EXPECT_LT(first.duration, 500ms);
    auto rows = rowsByPid(first.output);
    ASSERT_TRUE(rows.count(sender.pid)) << first.output;
    ASSERT_TRUE(rows.count(receiver.pid)) << first.output;
    EXPECT_EQ(rows[sender.pid].command, "nettop-send");
    EXPECT_EQ(rows[receiver.pid].command, "nettop-recv");
    EXPECT_GE(rows[sender.pid].tx, static_cast<std::int64_t>(requestBytes));
    EXPECT_GE(rows[sender.pid].rx, static_cast<std::int64_t>(replyBytes));
    EXPECT_GE(rows[receiver.pid].rx, static_cast<std::int64_t>(requestBytes));
    EXPECT_GE(rows[receiver.pid].tx, static_cast<std::int64_t>(replyBytes));

    // Nothing moved since: the peers drop out as idle processes.
    rows = rowsByPid(runTool(runtimeDir).output);
    EXPECT_EQ(rows.count(sender.pid) ? rows[sender.pid].tx : 0, 0);
    EXPECT_EQ(rows.count(receiver.pid) ? rows[receiver.pid].rx : 0, 0);

    ASSERT_TRUE(sender.moveMore() && receiver.moveMore());
    ASSERT_TRUE(receiver.waitReady());
    ASSERT_TRUE(sender.waitReady());
    rows = rowsByPid(runTool(runtimeDir).output);
    ASSERT_TRUE(rows.count(sender.pid));
    ASSERT_TRUE(rows.count(receiver.pid));
    EXPECT_GE(rows[sender.pid].tx, static_cast<std::int64_t>(moreBytes));
    EXPECT_LT(rows[sender.pid].tx, static_cast<std::int64_t>(moreBytes + 100));
    EXPECT_GE(rows[receiver.pid].rx, static_cast<std::int64_t>(moreBytes));
    EXPECT_LT(rows[receiver.pid].rx, static_cast<std::int64_t>(moreBytes + 100));

    struct stat info {};
    ASSERT_EQ(::stat((runtimeDir + "/ostrel").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat((runtimeDir + "/ostrel/nettop.state").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 077, 0u);
}

}  // namespace
}  // namespace ostrel
