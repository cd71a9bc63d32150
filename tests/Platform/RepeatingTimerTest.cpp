#include "Platform/RepeatingTimer.hpp"

#include <gtest/gtest.h>
#include <sys/prctl.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using ostrel::RepeatingTimer;
using ostrel::SerialQueue;
using Clock = std::chrono::steady_clock;

namespace {

struct FireLog {
    std::mutex mutex;
    std::vector<Clock::time_point> times;
    void add() {
        std::lock_guard lock(mutex);
        times.push_back(Clock::now());
    }
    std::vector<Clock::time_point> snapshot() {
        std::lock_guard lock(mutex);
        return times;
    }
};

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

TEST(RepeatingTimerTest, FiresFirstAfterTheFirstDelayThenOnTheGridAndTheLeewayBecomesTimerSlack) {
    SerialQueue queue("test.timer");
    FireLog log;
    const auto armed = Clock::now();
    RepeatingTimer timer(queue, 150ms, 50ms, 0ms, [&] { log.add(); });
    timer.resume();
    timer.resume();  // a second resume must not double the fires
    std::this_thread::sleep_for(420ms);
    timer.cancel();
    queue.sync([] {});
    const auto times = log.snapshot();
    ASSERT_GE(times.size(), 3u);
    EXPECT_LE(times.size(), 6u);  // 150, 200, ..., 400 ms
    // Never early; a late fire may be merged away, which only makes the later ones later still.
    for (std::size_t i = 0; i < times.size(); ++i) {
        EXPECT_GE(ms(times[i] - armed), 150.0 + 50.0 * static_cast<double>(i) - 1.0) << "fire " << i;
    }

    RepeatingTimer slack(queue, 1h, 1h, 250ms, [] {});
    slack.resume();
    EXPECT_EQ(queue.sync([] { return prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0); }), 250'000'000);
}

TEST(RepeatingTimerTest, FiresThatFallDueDuringASlowTickMergeIntoOneLateFire) {
    SerialQueue queue("test.timer");
    FireLog log;
    std::atomic<int> calls{0};
    Clock::time_point slowEnded{};
    RepeatingTimer timer(queue, 20ms, 100ms, 0ms, [&] {
        log.add();
        if (calls.fetch_add(1) == 0) {
            std::this_thread::sleep_for(450ms);  // four grid points pass meanwhile
            slowEnded = Clock::now();
        }
    });
    timer.resume();
    std::this_thread::sleep_for(1000ms);
    timer.cancel();
    queue.sync([] {});
    const auto times = log.snapshot();
    ASSERT_GE(times.size(), 3u);
    // One fire right after the slow one, then the grid again: queued fires would come back to back.
    EXPECT_LT(ms(times[1] - slowEnded), 40.0);
    EXPECT_GE(ms(times[2] - times[1]), 20.0);
    EXPECT_LE(times.size(), 7u);
}

TEST(RepeatingTimerTest, NoFireAfterCancelFromTheHandlerOrTheQueueNorAfterDestruction) {
    SerialQueue queue("test.timer");
    std::atomic<int> fires{0};
    std::unique_ptr<RepeatingTimer> timer;
    timer = std::make_unique<RepeatingTimer>(queue, 10ms, 10ms, 0ms, [&] {
        if (++fires == 3) timer->cancel();
    });
    timer->resume();
    std::this_thread::sleep_for(150ms);
    queue.sync([] {});
    EXPECT_EQ(fires.load(), 3);

    fires = 0;
    timer = std::make_unique<RepeatingTimer>(queue, 10ms, 10ms, 0ms, [&] { ++fires; });
    timer->resume();
    std::this_thread::sleep_for(40ms);
    queue.sync([&] { timer.reset(); });
    const int atDestruction = fires.load();
    EXPECT_GE(atDestruction, 1);
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(fires.load(), atDestruction);
}
