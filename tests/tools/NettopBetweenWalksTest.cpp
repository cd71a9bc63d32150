#include <gtest/gtest.h>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <chrono>
#include <map>
#include <thread>
#include <vector>

#include "tools/support/NettopInNamespace.hpp"

namespace ostrel {
namespace {

using testing::Program;
using Clock = std::chrono::steady_clock;

class NettopBetweenWalksTest : public testing::NettopInNamespace {};

// Until the far end's sent bytes are all acknowledged, that is until the near end has sent its
// acknowledgements.
bool acknowledged(int fd) {
    for (const auto end = Clock::now() + std::chrono::minutes(1); Clock::now() < end;) {
        int unacknowledged = -1;
        if (::ioctl(fd, SIOCOUTQ, &unacknowledged) == 0 && unacknowledged == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

// One program streams a little each second over one connection, another holds forty idle ones.
// Most runs only ask for the streaming connection again; when an idle one sends, or only
// receives, the run still finds it, and over all runs each program is credited its bytes once.
TEST_F(NettopBetweenWalksTest, IdleConnectionsThatMoveAgainAreFoundAndNoByteIsCountedTwice) {
    constexpr int idle = 40, steps = 8, chunk = 20000, burst = 30000;
    const auto idleListener = listener(7010), streamListener = listener(7011);
    // Both programs before any thread of this process.
    Program streamer("streamer", [](Program& self) {
        const int fd = connectTo(7011);
        std::vector<char> data(chunk, 's');
        for (int step = 0; step < steps; ++step) {
            if (!self.wait() || ::send(fd, data.data(), data.size(), 0) != chunk || !self.signal()) return false;
        }
        return self.wait();
    });
    Program holder("idle-holder", [](Program& self) {
        std::vector<int> fds;
        for (int i = 0; i < idle; ++i) fds.push_back(connectTo(7010));
        std::vector<char> data(burst, 'h');
        return self.signal() && self.wait() && ::send(fds[7], data.data(), data.size(), 0) == burst && self.signal() &&
               self.wait();  // fds[8] receives meanwhile, and every connection stays open
    });
    std::vector<UniqueFd> far;
    for (int i = 0; i < idle; ++i) far.emplace_back(::accept(idleListener.get(), nullptr, nullptr));
    const UniqueFd stream(::accept(streamListener.get(), nullptr, nullptr));
    ASSERT_TRUE(holder.wait());

    std::map<int, std::pair<std::int64_t, std::int64_t>> credited;  // by pid: in, out
    std::vector<char> sink(burst);
    for (int step = 0; step < steps; ++step) {
        ASSERT_TRUE(streamer.signal() && streamer.wait());
        ASSERT_EQ(::recv(stream.get(), sink.data(), chunk, MSG_WAITALL), chunk);
        if (step == 4) {  // an idle connection sends
            ASSERT_TRUE(holder.signal() && holder.wait());
            ASSERT_EQ(::recv(far[7].get(), sink.data(), burst, MSG_WAITALL), burst);
        }
        if (step == 6) {  // an idle connection only receives
            ASSERT_EQ(::send(far[8].get(), sink.data(), burst, 0), burst);
            ASSERT_TRUE(acknowledged(far[8].get()));
        }
        const auto seen = rows();
        for (const auto& [pid, row] : seen) {
            credited[pid].first += row.rx;
            credited[pid].second += row.tx;
        }
        // The holder's bytes come in the run of the step that moved them, and only then.
        const auto held = seen.find(holder.pid);
        const std::int64_t heldIn = held == seen.end() ? 0 : held->second.rx;
        const std::int64_t heldOut = held == seen.end() ? 0 : held->second.tx;
        EXPECT_GE(heldOut, step == 4 ? burst : 0) << step;
        EXPECT_GE(heldIn, step == 6 ? burst : 0) << step;
        EXPECT_TRUE(step == 0 || step == 4 || step == 6 || held == seen.end()) << step;
        EXPECT_GE(seen.count(streamer.pid) ? seen.at(streamer.pid).tx : 0, chunk) << step;
    }
    ASSERT_TRUE(streamer.signal() && holder.signal());

    // Payload and headers, and the handshakes: never a chunk or a burst twice.
    EXPECT_GE(credited[streamer.pid].second, steps * chunk);
    EXPECT_LT(credited[streamer.pid].second, steps * chunk * 11 / 10);
    EXPECT_GE(credited[holder.pid].second, burst);
    EXPECT_LT(credited[holder.pid].second, burst * 11 / 10 + idle * 200);
    EXPECT_GE(credited[holder.pid].first, burst);
    EXPECT_LT(credited[holder.pid].first, burst * 11 / 10 + idle * 200);
}

}  // namespace
}  // namespace ostrel
