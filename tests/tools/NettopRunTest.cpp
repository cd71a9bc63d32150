#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "NettopRun.hpp"

namespace ostrel::nettop {
namespace {

// A network namespace whose sockets the test moves by hand. Every segment a socket sends counts
// in the namespace's total too; the kernel can also send segments of its own.
class ScriptedKernel final : public KernelSockets {
public:
    std::optional<std::vector<SocketCounters>> every() override {
        ++walks;
        std::vector<SocketCounters> all;
        for (const auto& [cookie, socket] : sockets) all.push_back(socket);
        return all;
    }
    std::optional<std::vector<SocketCounters>> ask(const std::vector<SocketCounters>& which) override {
        asked.push_back(which.size());
        if (whileAsked && !which.empty()) std::exchange(whileAsked, nullptr)();
        std::vector<SocketCounters> found;
        for (const auto& wanted : which) {
            const auto socket = sockets.find(wanted.cookie);
            if (socket != sockets.end() && socket->second.address == wanted.address) found.push_back(socket->second);
        }
        return found;
    }
    std::optional<std::uint64_t> segmentsSent() override {
        if (!segmentsReadable) return std::nullopt;
        return sent;
    }
    std::vector<LinkCounters> links() override { return {{"eth0", 0, 0}}; }

    void add(std::uint64_t cookie, bool local = false) {
        SocketCounters socket;
        socket.cookie = socket.inode = cookie;
        socket.local = local;
        socket.address.family = 2;
        socket.address.sourcePort = static_cast<std::uint16_t>(cookie);
        sockets[cookie] = socket;
    }
    // What a socket moved: bytes each way and segments sent.
    void move(std::uint64_t cookie, std::uint64_t in, std::uint64_t out, std::uint32_t segments) {
        auto& socket = sockets.at(cookie);
        socket.bytesIn += in;
        socket.bytesOut += out;
        socket.segmentsOut += segments;
        sent += segments;
    }

    std::map<std::uint64_t, SocketCounters> sockets;
    std::uint64_t sent = 5000;
    bool segmentsReadable = true;
    std::function<void()> whileAsked;  // once, when sockets are next asked for, before they answer
    int walks = 0;
    std::vector<std::size_t> asked;
};

// Socket N belongs to pid 1000 + N.
class Owners final : public SocketOwners {
public:
    bool holds(const SocketOwner& owner, std::uint64_t inode) override { return owner == ownerOf(inode); }
    std::map<std::uint64_t, SocketOwner> find(const std::set<std::uint64_t>& wanted,
                                              const std::set<std::uint64_t>&) override {
        std::map<std::uint64_t, SocketOwner> found;
        for (const auto inode : wanted) found[inode] = ownerOf(inode);
        return found;
    }
    std::string name(int pid) override { return "p" + std::to_string(pid); }
    static SocketOwner ownerOf(std::uint64_t inode) { return {1000 + static_cast<int>(inode), 3}; }
};

// Runs the tool's steps one after another, a second apart, keeping the state between them as
// the files would.
class NettopRunTest : public ::testing::Test {
protected:
    // Each process's bytes out, by socket number.
    std::map<std::uint64_t, std::uint64_t> run() {
        auto outcome = runOnce(
            kernel, owners, closed, recent, [this] { return walked; }, now, ++mark);
        if (!outcome) {
            ADD_FAILURE() << "the kernel could not be asked";
            return {};
        }
        closed.clear();
        ++now;
        outcome->recent.boot = outcome->every.boot = "boot";
        recent = outcome->recent;
        if (outcome->walked) walked = outcome->every;
        std::map<std::uint64_t, std::uint64_t> out;
        for (const auto& process : outcome->processes) {
            if (process.pid > 1000) out[static_cast<std::uint64_t>(process.pid - 1000)] = process.bytesOut;
        }
        return out;
    }
    using Out = std::map<std::uint64_t, std::uint64_t>;

    ScriptedKernel kernel;
    Owners owners;
    std::vector<SocketCounters> closed;
    std::optional<TrafficState> recent, walked;
    std::uint64_t now = 100, mark = 0;
};

// With a thousand idle sockets and one moving, the runs after a walk ask for the moving socket
// alone, and report what a walk would; bytes moved while a walk asks again are this run's, once.
TEST_F(NettopRunTest, BetweenWalksOnlyTheMovingSocketsAreAskedAndEveryByteIsReportedOnce) {
    for (std::uint64_t cookie = 1; cookie <= 1000; ++cookie) kernel.add(cookie);
    kernel.add(2000, true);   // local, moving: its segments count, its bytes never
    EXPECT_EQ(run(), Out{});  // the baseline
    EXPECT_EQ(kernel.walks, 1);

    kernel.move(1, 0, 100, 2);
    kernel.move(2000, 50, 50, 1);
    kernel.whileAsked = [&] { kernel.move(1, 0, 7, 1); };
    EXPECT_EQ(run(), (Out{{1, 107}}));  // a walk: the previous run knew no moving socket
    EXPECT_EQ(kernel.walks, 2);
    EXPECT_EQ(kernel.asked.back(), 2u);

    for (int second = 0; second < 5; ++second) {
        kernel.move(1, 0, 300, 3);
        kernel.move(2000, 9, 9, 1);
        EXPECT_EQ(run(), (Out{{1, 300}})) << second;
    }
    EXPECT_EQ(kernel.walks, 2);
    EXPECT_EQ(kernel.asked.back(), 2u);

    // Another socket sends: a walk finds it.
    kernel.move(1, 0, 10, 1);
    kernel.move(500, 0, 40, 1);
    EXPECT_EQ(run(), (Out{{1, 10}, {500, 40}}));
    EXPECT_EQ(kernel.walks, 3);
}

TEST_F(NettopRunTest, ASocketThatOnlyReceivesIsFoundByTheAcknowledgementsItSends) {
    kernel.add(1), kernel.add(2);
    run();
    kernel.move(1, 0, 10, 1);
    run();  // a walk: 1 is the moving one now
    const auto walks = kernel.walks;
    kernel.move(2, 8000, 0, 0);
    kernel.move(1, 0, 10, 1);
    EXPECT_EQ(run(), (Out{{1, 10}}));  // its acknowledgement is not out yet
    EXPECT_EQ(kernel.walks, walks);
    kernel.move(2, 0, 0, 1);
    const auto out = run();
    EXPECT_EQ(kernel.walks, walks + 1);
    EXPECT_EQ(out.count(2), 1u);
}

// A segment another socket sends while the moving ones are read cannot be told from one of
// theirs: it is counted at the next walk, not lost.
TEST_F(NettopRunTest, WhatAnotherSocketSendsWhileTheSocketsAreReadComesWithTheNextWalk) {
    kernel.add(1), kernel.add(2);
    run();
    kernel.move(1, 0, 10, 1);
    run();
    const auto walks = kernel.walks;
    kernel.move(1, 0, 10, 1);
    kernel.whileAsked = [&] { kernel.move(2, 0, 66, 1); };
    EXPECT_EQ(run(), (Out{{1, 10}}));
    now += walkIntervalSeconds;
    EXPECT_EQ(run(), (Out{{2, 66}}));
    EXPECT_EQ(kernel.walks, walks + 1);
}

TEST_F(NettopRunTest, ARunWalksWhenAnythingBeyondTheMovingSocketsMayHaveChanged) {
    const std::vector<std::pair<const char*, std::function<void()>>> causes{
        {"nothing", [] {}},
        {"a socket was destroyed",
         [&] {
             closed.push_back({77, 0, 1, 1, false});
         }},
        {"the last walk is too old", [&] { now += walkIntervalSeconds; }},
        {"a moving socket is gone", [&] { kernel.sockets.erase(1); }},
        {"its ports were taken by another socket", [&] { kernel.sockets.at(1).address.destinationPort = 9; }},
        {"the segment counts cannot be read", [&] { kernel.segmentsReadable = false; }},
        {"the kernel sent a segment of its own", [&] { ++kernel.sent; }},
        {"no state", [&] { recent.reset(); }},
    };
    for (const auto& [cause, apply] : causes) {
        SCOPED_TRACE(cause);
        kernel = ScriptedKernel();
        recent.reset(), walked.reset();
        kernel.add(1), kernel.add(2);
        run();
        kernel.move(1, 0, 10, 1);
        run();
        const auto walks = kernel.walks;
        apply();
        run();
        EXPECT_EQ(kernel.walks, walks + (std::string(cause) == "nothing" ? 0 : 1));
        kernel.segmentsReadable = true;
    }

    // Beyond the sockets worth asking for one by one, a walk follows a walk.
    kernel = ScriptedKernel();
    recent.reset(), walked.reset();
    for (std::uint64_t cookie = 1; cookie <= maxAskedSockets + 1; ++cookie) kernel.add(cookie);
    run();
    for (auto& [cookie, socket] : kernel.sockets) kernel.move(cookie, 0, 1, 1);
    EXPECT_EQ(run().size(), 11u);  // the 11 largest; the rest are unseen
    EXPECT_TRUE(kernel.asked.empty() || kernel.asked.back() == 0);
    kernel.move(1, 0, 1, 1);
    run();
    EXPECT_EQ(kernel.walks, 3);
}

// The moving sockets' state is joined only to the walk it continues; with another walk's
// sockets, nothing that run reports could be trusted, and it reports nothing.
TEST_F(NettopRunTest, TheStateOfAnotherWalkIsNoBaselineAndSegmentCountsMayWrap) {
    kernel.add(1), kernel.add(2);
    kernel.sockets.at(1).segmentsOut = 4294967290u;
    run();
    kernel.move(1, 0, 10, 1);
    run();
    kernel.move(1, 0, 20, 10);  // past 2^32
    EXPECT_EQ(run(), (Out{{1, 20}}));
    EXPECT_EQ(kernel.walks, 2);

    walked->walk = 0;  // as after a walk whose state was saved and whose sockets were not
    kernel.move(2, 0, 30, 1);
    EXPECT_EQ(run(), Out{});
    kernel.move(2, 0, 30, 1);
    EXPECT_EQ(run(), (Out{{2, 30}}));
}

TEST(SegmentCountersTest, SegmentsSentAreOutSegsAndRetransSegsOfTheTcpLines) {
    const std::string ip = "Ip: Forwarding DefaultTTL\nIp: 1 64\n";
    const std::string tcp = "Tcp: RtoAlgorithm OutSegs InSegs RetransSegs InErrs\nTcp: 1 4000000000000 7 25 0\n";
    EXPECT_EQ(parseSegmentsSent(ip + tcp + "Udp: InDatagrams\nUdp: 3\n"), 4000000000025u);
    for (const std::string& broken :
         std::vector<std::string>{"", ip, "Tcp: OutSegs RetransSegs\n", "Tcp: OutSegs RetransSegs\nTcp: 1\n",
                                  "Tcp: OutSegs RetransSegs\nTcp: 1 x\n", "Tcp: OutSegs InSegs\nTcp: 1 2\n",
                                  "Tcp: OutSegs RetransSegs\nTcp: -1 2\n"}) {
        EXPECT_EQ(parseSegmentsSent(broken), std::nullopt) << broken;
    }
    // This process's own namespace has the lines.
    EXPECT_TRUE(readSegmentsSent());
    EXPECT_EQ(readSegmentsSent("/nonexistent"), std::nullopt);
}

}  // namespace
}  // namespace ostrel::nettop
