#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include "Platform/ProcessToolRunner.hpp"
#include "Platform/UniqueFd.hpp"
#include "Platform/support/ToolStateFolders.hpp"
#include "PlatformAdapters/NettopOutput.hpp"
#include "PlatformAdapters/support/VethPair.hpp"

namespace ostrel::testing {

constexpr const char* nettopHeader = "time,,interface,state,bytes_in,bytes_out\n";

// A child process named `name` that runs `body` in the calling thread's network namespace; each
// side tells the other when a step is done over a local socket pair.
class Program {
public:
    Program(const char* name, std::function<bool(Program&)> body) {
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return;
        pid = ::fork();
        if (pid == 0) {
            ::prctl(PR_SET_NAME, name);
            end_ = ends[1];
            ::_exit(body(*this) ? 0 : 1);
        }
        ::close(ends[1]);
        end_ = ends[0];
    }
    ~Program() {
        ::close(end_);
        if (pid > 0) ::waitpid(pid, nullptr, 0);
    }

    bool signal() { return ::write(end_, "s", 1) == 1; }
    bool wait() {
        pollfd item{end_, POLLIN, 0};
        char byte = 0;
        return ::poll(&item, 1, 60000) == 1 && ::read(end_, &byte, 1) == 1;
    }
    bool exited() {
        const bool reaped = pid > 0 && ::waitpid(pid, nullptr, 0) == pid;
        pid = reaped ? -pid : pid;
        return reaped;
    }

    pid_t pid = -1;

private:
    int end_ = -1;
};

// Runs the tool and keeps what it printed.
struct RecordingToolRunner final : ToolRunner {
    std::optional<std::string> runCommand(const std::string& path, const std::vector<std::string>& arguments) override {
        auto printed = ProcessToolRunner(std::chrono::seconds(60)).runCommand(path, arguments);
        output = printed.value_or("");
        return printed;
    }
    std::string output;
};

// The per-process tool in the near namespace of a veth pair of its own, with its state in
// folders of its own; its first run, the baseline, is done.
class NettopInNamespace : public ::testing::Test {
protected:
    void SetUp() override {
        if (!pair.whyNot.empty()) GTEST_SKIP() << pair.whyNot;
        // Every segment a frame of its own, as on a wire, so that the counters count the headers
        // of each.
        ASSERT_TRUE(pair.ip(pair.near, "link set ostv0 gso_max_segs 1") &&
                    pair.ip(pair.far, "link set ostv1 gso_max_segs 1"));
        inside.emplace(pair.near);
        ASSERT_EQ(rows().size(), 0u);  // a first run is only a baseline
    }

    // The far end's listener; its sockets stay in the far namespace whichever thread uses them.
    UniqueFd listener(std::uint16_t port, int receiveBuffer = 0) {
        NetnsScope far(pair.far);
        UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (receiveBuffer > 0) ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        const auto at = VethPair::address(true, port);
        EXPECT_TRUE(::bind(fd.get(), reinterpret_cast<const sockaddr*>(&at), sizeof at) == 0 &&
                    ::listen(fd.get(), 32) == 0);
        return fd;
    }
    static int connectTo(std::uint16_t port) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const auto at = VethPair::address(true, port);
        return ::connect(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at) == 0 ? fd : -1;
    }
    // One run of the tool in namespace `ns`, from a thread of its own.
    std::map<int, NettopProcessRow> rowsIn(const std::string& ns) {
        std::map<int, NettopProcessRow> byPid;
        std::thread([&] {
            const NetnsScope in(ns);
            byPid = rows();
        }).join();
        return byPid;
    }
    std::map<int, NettopProcessRow> rows() {
        ProcessToolRunner runner{std::chrono::seconds(60)};  // a loaded machine still gets its output
        const auto output = runner.runCommand(OSTREL_NETTOP_PATH, {});
        EXPECT_TRUE(output && output->starts_with(nettopHeader));
        std::map<int, NettopProcessRow> byPid;
        for (const auto& row : parseNettopOutput(output.value_or(""))) byPid[row.pid.value_or(-1)] = row;
        return byPid;
    }

    VethPair pair;
    std::optional<NetnsScope> inside;
    ToolStateFolders state;
};

}  // namespace ostrel::testing
