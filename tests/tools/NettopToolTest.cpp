#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Platform/ProcessToolRunner.hpp"
#include "Platform/support/TempTree.hpp"
#include "Platform/support/ToolStateFolders.hpp"
#include "PlatformAdapters/NettopOutput.hpp"
#include "PlatformAdapters/NettopTrafficAttributionProvider.hpp"
#include "PlatformAdapters/Reconciliation.hpp"
#include "PlatformAdapters/support/VethPair.hpp"
#include "tools/support/NettopInNamespace.hpp"

namespace ostrel {
namespace {

namespace fs = std::filesystem;
using testing::NetnsScope;
using testing::Program;
using testing::RecordingToolRunner;
using testing::TempTree;
using testing::ToolStateFolders;
using testing::VethPair;

constexpr const char* header = testing::nettopHeader;

// The tool with only the given environment, behind `prefix` (another user, say), reports no bytes
// (its output is the header alone) and says why on standard error. A run that waits on anything
// for long is ended.
void expectNoBytesBecause(const char* reason, const std::string& environment, const std::string& prefix = "") {
    TempTree scratch;
    const auto command = "env -i " + environment + " timeout 60 " + prefix + " " + OSTREL_NETTOP_PATH + " 2>" +
                         scratch.file("err") + "; echo status $?";
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
        ::pclose(pipe);
    }
    std::string err;
    std::getline(std::ifstream(scratch.file("err")), err, '\0');
    EXPECT_EQ(out, std::string(header) + "status 0\n") << reason;
    EXPECT_NE(err.find(reason), std::string::npos) << reason << ": " << err;
}

TEST(NettopToolTest, WithoutUsableStateNoBytesAreReportedAndStandardErrorSaysWhy) {
    TempTree home;
    const auto state = home.file("state"), folder = state + "/ostrel";
    fs::create_directories(folder);
    fs::permissions(folder, fs::perms::owner_all);
    struct stat netns {};
    ASSERT_EQ(::stat("/proc/self/ns/net", &netns), 0);
    const auto files = "ostrel/nettop-" + std::to_string(netns.st_ino);
    {
        const UniqueFd lock(::open(home.file("state/" + files + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
        ::flock(lock.get(), LOCK_EX);  // a stuck run
        expectNoBytesBecause("held by another run", "XDG_STATE_HOME=" + state);
    }
    // Far larger than any state this program writes (and sparse).
    ASSERT_EQ(::truncate(home.write("state/" + files + ".state", "").c_str(), 1L << 32), 0);
    expectNoBytesBecause("larger than", "XDG_STATE_HOME=" + state);

    // Another user prepared every shared folder of the user nobody, as whom the tool runs.
    if (::geteuid() != 0) {
        std::printf("skipping another user's folders: needs root\n");
        return;
    }
    // A shared folder like /tmp, of this test's own.
    TempTree shared;
    fs::permissions(shared.root, fs::perms(01777));
    const auto nobodysTmp = shared.file("ostrel-nettop-65534");
    fs::create_directory(nobodysTmp);
    fs::permissions(nobodysTmp, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    expectNoBytesBecause("no usable state folder", "HOME=" + home.root + " TMPDIR=" + shared.root,
                         "setpriv --reuid=65534 --regid=65534 --clear-groups");
    // The system log was told, once: the mark of that is nobody's own.
    struct stat told {};
    EXPECT_EQ(::lstat(shared.file("ostrel-nettop-65534.told").c_str(), &told), 0);
    EXPECT_EQ(told.st_uid, 65534u);
}

class NettopToolInNamespaceTest : public testing::NettopInNamespace {};

TEST_F(NettopToolInNamespaceTest, AMixOfBulkShortConnectionsAndUdpIsSplitWithoutCreditingTheBulkWithTheRest) {
    constexpr std::int64_t bulkBytes = 2000000, shortBytes = 50000, shortCount = 20;
    const auto bulkListener = listener(7001), shortListener = listener(7002);
    std::thread far([&] {
        const UniqueFd bulk(::accept(bulkListener.get(), nullptr, nullptr));
        std::vector<char> data(bulkBytes);
        ::recv(bulk.get(), data.data(), data.size(), MSG_WAITALL);
        ::send(bulk.get(), "k", 1, 0);
        for (int i = 0; i < shortCount; ++i) {
            const UniqueFd connection(::accept(shortListener.get(), nullptr, nullptr));
            ::send(connection.get(), data.data(), shortBytes, 0);
        }
    });
    const auto before = pair.nearCounters();
    Program bulk("bulk-load", [](Program& self) {
        const int fd = connectTo(7001);
        std::vector<char> data(bulkBytes, 'b');
        char ack = 0;
        return ::send(fd, data.data(), data.size(), 0) == bulkBytes && ::recv(fd, &ack, 1, 0) == 1 && self.signal() &&
               self.wait();  // stays open through the next run
    });
    Program shortLived("short-conns", [](Program& self) {
        std::vector<char> data(shortBytes);
        for (int i = 0; i < shortCount; ++i) {
            const int fd = connectTo(7002);
            if (::recv(fd, data.data(), data.size(), MSG_WAITALL) != shortBytes) return false;
            ::close(fd);
        }
        return self.signal();
    });
    ASSERT_TRUE(bulk.wait() && shortLived.wait());
    far.join();
    const auto udpWire = static_cast<std::int64_t>(pair.sendUdp(false, 500, 1000));
    const auto after = pair.nearCounters();
    const std::int64_t totalRx = after.first - before.first, totalTx = after.second - before.second;

    // The sampler's split of the interface totals by the tool's rows.
    auto tools = std::make_shared<ProcessToolRunner>(std::chrono::seconds(60));
    NettopTrafficAttributionProvider provider(tools, ToolPaths{OSTREL_NETTOP_PATH}, nullptr);
    const auto split = reconciliation::normalize(provider.attributedUsage(totalRx, totalTx), totalRx, totalTx);
    std::map<std::string, AppUsageAttribution> byApp;
    for (const auto& attribution : split) byApp[attribution.appID] = attribution;
    ASSERT_TRUE(bulk.signal());

    // The bulk is credited with its payload and headers (and retransmissions, when a burst
    // overflowed the pair's queue) but none of the datagrams, and received little beyond its
    // acknowledgements; the short connections and the datagrams are nobody's that can be named.
    const auto& bulkShare = byApp["process.bulk-load"];
    EXPECT_GE(bulkShare.txBytes, bulkBytes);
    EXPECT_LE(bulkShare.txBytes, totalTx - udpWire * 9 / 10);
    EXPECT_LE(bulkShare.rxBytes, totalRx / 10);
    const auto& unseen = byApp["com.ostrel.unattributed"];
    EXPECT_EQ(unseen.source, "fallback");
    EXPECT_GE(unseen.rxBytes, shortCount * shortBytes * 9 / 10);
    EXPECT_GE(unseen.txBytes, udpWire * 9 / 10);
    EXPECT_EQ(byApp.count("process.short-conns"), 0u);
}

// Sixteen programs upload at once. The sampler keeps 12 rows and scales what it keeps up to the
// interface totals: the 11 that put the most on the wire each get what they put there, no more,
// and the other five are Unattributed, not credited to them. On a busy machine retransmissions
// can lift a smaller payload above a larger one, so the eleven are told by the tool's own bytes.
TEST_F(NettopToolInNamespaceTest, SixteenProgramsAtOnceCreditTheElevenLargestWithTheirOwnBytesAndNoMore) {
    constexpr int programs = 16;
    const auto payload = [](int i) { return 400000 + 40000 * i; };
    const auto server = listener(7004);
    const auto before = pair.nearCounters();
    // Started before any thread of this process: a child forked while another thread holds an
    // allocator lock could never take it.
    std::vector<std::unique_ptr<Program>> uploads;
    for (int i = 0; i < programs; ++i) {
        const auto name = "upload-" + std::to_string(i);
        uploads.push_back(std::make_unique<Program>(name.c_str(), [size = payload(i)](Program& self) {
            const int fd = connectTo(7004);
            std::vector<char> data(static_cast<std::size_t>(size) + 4, 'u');
            std::memcpy(data.data(), &size, 4);
            char ack = 0;
            return ::send(fd, data.data(), data.size(), 0) == static_cast<ssize_t>(data.size()) &&
                   ::recv(fd, &ack, 1, 0) == 1 && self.signal() && self.wait();  // open through the run
        }));
    }
    std::vector<std::thread> far;
    std::thread acceptor([&] {
        for (int i = 0; i < programs; ++i) {
            far.emplace_back([fd = ::accept(server.get(), nullptr, nullptr)] {
                std::int32_t size = 0;
                ::recv(fd, &size, sizeof size, MSG_WAITALL);
                std::vector<char> data(static_cast<std::size_t>(size));
                ::recv(fd, data.data(), data.size(), MSG_WAITALL);
                ::send(fd, "k", 1, 0);
                char end = 0;
                ::recv(fd, &end, 1, 0);  // until the program closes
                ::close(fd);
            });
        }
    });
    for (auto& upload : uploads) EXPECT_TRUE(upload->wait());
    const auto after = pair.nearCounters();
    const std::int64_t totalRx = after.first - before.first, totalTx = after.second - before.second;

    auto tools = std::make_shared<RecordingToolRunner>();
    NettopTrafficAttributionProvider provider(tools, ToolPaths{OSTREL_NETTOP_PATH}, nullptr);
    const auto split = reconciliation::normalize(provider.attributedUsage(totalRx, totalTx), totalRx, totalTx);
    for (auto& upload : uploads) upload->signal();
    uploads.clear();
    ::shutdown(server.get(), SHUT_RDWR);  // no program left to accept, should one have failed
    acceptor.join();
    for (auto& thread : far) thread.join();

    std::map<std::string, std::int64_t> measured;  // what the tool put in each row
    for (const auto& row : parseNettopOutput(tools->output)) measured[row.command] = row.tx;
    EXPECT_EQ(measured.size(), 12u);
    std::map<std::string, AppUsageAttribution> byApp;
    for (const auto& attribution : split) byApp[attribution.appID] = attribution;
    std::int64_t leastListed = std::numeric_limits<std::int64_t>::max();
    for (const auto& [command, tx] : measured) {
        if (command != "unattributed") leastListed = std::min(leastListed, tx);
    }
    std::int64_t folded = 0;
    int left = 0;
    for (int i = 0; i < programs; ++i) {
        const auto name = "upload-" + std::to_string(i), app = "process." + name;
        if (measured.count(name) == 0) {
            // It put at least its payload on the wire, and no more than any program listed.
            EXPECT_EQ(byApp.count(app), 0u) << app;
            EXPECT_LE(payload(i), leastListed) << app;
            folded += payload(i);
            ++left;
            continue;
        }
        // Its payload with headers (and retransmissions, on a busy machine) as the tool measured
        // it, not scaled up: the rounding remainder (a byte a row) at most.
        EXPECT_GE(byApp[app].txBytes, payload(i)) << app;
        EXPECT_LE(byApp[app].txBytes, measured[name] + 12) << app;
    }
    EXPECT_EQ(left, programs - 11);
    const auto& unseen = byApp["com.ostrel.unattributed"];
    EXPECT_GE(unseen.txBytes, folded);
    EXPECT_LE(unseen.txBytes, measured["unattributed"] + 12);
}

// The kernel's announcements of destroyed TCP sockets, as the tool's listener hears them.
class DestroyedSockets {
public:
    DestroyedSockets() : fd_(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_SOCK_DIAG)) {
        sockaddr_nl groups{};
        groups.nl_family = AF_NETLINK;
        groups.nl_groups = 1u << (SKNLGRP_INET_TCP_DESTROY - 1);
        ::bind(fd_.get(), reinterpret_cast<const sockaddr*>(&groups), sizeof groups);
    }
    // A socket whose local or remote port is `port`.
    bool waitFor(std::uint16_t port) {
        alignas(nlmsghdr) char buffer[16384];
        for (pollfd item{fd_.get(), POLLIN, 0}; ::poll(&item, 1, 60000) == 1;) {
            auto length = static_cast<unsigned>(::recv(fd_.get(), buffer, sizeof buffer, 0));
            for (auto* reply = reinterpret_cast<const nlmsghdr*>(buffer); NLMSG_OK(reply, length);
                 reply = NLMSG_NEXT(reply, length)) {
                inet_diag_msg message;
                std::memcpy(&message, reinterpret_cast<const char*>(reply) + NLMSG_HDRLEN, sizeof message);
                if (message.id.idiag_dport == htons(port) || message.id.idiag_sport == htons(port)) return true;
            }
        }
        return false;
    }

private:
    UniqueFd fd_;
};

TEST_F(NettopToolInNamespaceTest, ASocketClosedWithDataStillQueuedStaysItsOwnersAfterTheOwnerHasGone) {
    const auto slowReader = listener(7003, 16384);
    Program uploader("uploader", [](Program& self) {
        const int fd = connectTo(7003);
        const int buffer = 4 << 20;
        ::setsockopt(fd, SOL_SOCKET, SO_SNDBUFFORCE, &buffer, sizeof buffer);
        std::vector<char> data(buffer, 'u');
        return ::send(fd, data.data(), data.size(), MSG_DONTWAIT) > 1000000 && self.signal() && self.wait() &&
               ::close(fd) == 0;
    });
    UniqueFd far(::accept(slowReader.get(), nullptr, nullptr));
    ASSERT_TRUE(uploader.wait());
    EXPECT_GT(rows()[uploader.pid].tx, 0);

    // Closed and gone while most of the upload is still queued; the far end then reads on.
    const pid_t pid = uploader.pid;
    ASSERT_TRUE(uploader.signal() && uploader.exited());
    std::vector<char> data(300000);
    ASSERT_EQ(::recv(far.get(), data.data(), data.size(), MSG_WAITALL), static_cast<ssize_t>(data.size()));
    auto seen = rows();
    ASSERT_EQ(seen.count(pid), 1u);
    EXPECT_EQ(seen[pid].command, "uploader");
    EXPECT_GE(seen[pid].tx, 200000);

    // The rest goes out and the socket is destroyed before the next run: its last bytes are
    // still the owner's.
    DestroyedSockets destroyed;
    while (::recv(far.get(), data.data(), data.size(), 0) > 0) {
    }
    far.reset();
    ASSERT_TRUE(destroyed.waitFor(7003));
    seen = rows();
    ASSERT_EQ(seen.count(pid), 1u);
    EXPECT_GE(seen[pid].tx, 500000);
}

// One user samples in two network namespaces, in turn and at once, as two samplers would: each
// namespace has its own baseline and its own listener for destroyed sockets.
TEST_F(NettopToolInNamespaceTest, RunsInTwoNamespacesKeepTheirOwnBaselinesAndListeners) {
    EXPECT_TRUE(rowsIn(pair.far).empty());  // the far side's first run: its baseline
    auto [farEnd, nearEnd] = pair.tcpStream(7005);
    const pid_t self = ::getpid();
    const auto move = [&](std::size_t bytes) {
        std::vector<char> data(bytes, 'm');
        ASSERT_EQ(::send(farEnd.get(), data.data(), data.size(), 0), static_cast<ssize_t>(bytes));
        ASSERT_EQ(::recv(nearEnd.get(), data.data(), data.size(), MSG_WAITALL), static_cast<ssize_t>(bytes));
    };
    for (int round = 0; round < 3; ++round) {
        move(100000);
        std::map<int, NettopProcessRow> near, far;
        std::thread nearRun([&] { near = rowsIn(pair.near); });
        far = rowsIn(pair.far);
        nearRun.join();
        EXPECT_GE(near[self].rx, 100000) << round;
        EXPECT_GE(far[self].tx, 100000) << round;
    }

    // The last bytes of both ends, destroyed between two runs in each namespace, come from each
    // namespace's own listener.
    DestroyedSockets nearDestroyed;
    std::optional<DestroyedSockets> farDestroyed;
    std::thread([&] {
        const NetnsScope in(pair.far);
        farDestroyed.emplace();
    }).join();
    move(50000);
    farEnd.reset();
    nearEnd.reset();
    ASSERT_TRUE(nearDestroyed.waitFor(7005) && farDestroyed->waitFor(7005));
    EXPECT_GE(rowsIn(pair.far)[self].tx, 50000);
    EXPECT_GE(rows()[self].rx, 50000);
}

}  // namespace
}  // namespace ostrel
