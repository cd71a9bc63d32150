#include <gtest/gtest.h>
#include <sys/prctl.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "Platform/RepeatingTimer.hpp"

using namespace std::chrono_literals;
using ostrel::RepeatingTimer;
using ostrel::SerialQueue;
using Clock = std::chrono::steady_clock;

namespace {

// Runs a timer on its own queue for `runFor` and gives the milliseconds from arming to each fire.
std::vector<double> fires(std::chrono::milliseconds first, std::chrono::milliseconds period,
                          std::chrono::milliseconds runFor, const std::function<void(int)>& work = {}) {
    SerialQueue queue("test.timer");
    std::vector<double> times;  // touched on the queue only
    const auto armed = Clock::now();
    RepeatingTimer timer(queue, first, period, 0ms, [&] {
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - armed).count());
        if (work) work(static_cast<int>(times.size()));
    });
    timer.resume();
    timer.resume();  // a second resume must not double the fires
    std::this_thread::sleep_for(runFor);
    timer.cancel();
    return queue.sync([&] { return times; });
}

}  // namespace

TEST(RepeatingTimerTest, FiresFirstAfterTheFirstDelayThenOnTheGridAndTheLeewayBecomesTimerSlack) {
    const auto times = fires(150ms, 50ms, 420ms);
    ASSERT_GE(times.size(), 3u);
    EXPECT_LE(times.size(), 6u);  // 150, 200, ..., 400 ms
    // Never early; a late fire may be merged away, which only makes the later ones later still.
    for (std::size_t i = 0; i < times.size(); ++i) EXPECT_GE(times[i], 150.0 + 50.0 * i - 1.0) << "fire " << i;

    SerialQueue queue("test.timer");
    RepeatingTimer slack(queue, 1h, 1h, 250ms, [] {});
    slack.resume();
    EXPECT_EQ(queue.sync([] { return prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0); }), 250'000'000);
}

TEST(RepeatingTimerTest, FiresThatFallDueDuringASlowTickMergeIntoOneLateFire) {
    const auto times = fires(20ms, 100ms, 1000ms, [](int fire) {
        if (fire == 1) std::this_thread::sleep_for(450ms);  // four grid points pass meanwhile
    });
    ASSERT_GE(times.size(), 3u);
    // One fire right after the slow one, then the grid again: queued fires would come back to back.
    EXPECT_LT(times[1] - times[0] - 450, 40.0);
    EXPECT_GE(times[2] - times[1], 20.0);
    EXPECT_LE(times.size(), 7u);
}

TEST(RepeatingTimerTest, NoFireAfterCancelFromTheHandlerOrTheQueueNorAfterDestruction) {
    SerialQueue queue("test.timer");
    std::atomic<int> count{0};
    std::unique_ptr<RepeatingTimer> timer;
    timer = std::make_unique<RepeatingTimer>(queue, 10ms, 10ms, 0ms, [&] {
        if (++count == 3) timer->cancel();
    });
    timer->resume();
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(queue.sync([&] { return count.load(); }), 3);

    count = 0;
    timer = std::make_unique<RepeatingTimer>(queue, 10ms, 10ms, 0ms, [&] { ++count; });
    timer->resume();
    std::this_thread::sleep_for(40ms);
    queue.sync([&] { timer.reset(); });
    const int atDestruction = count.load();
    EXPECT_GE(atDestruction, 1);
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(count.load(), atDestruction);
}
