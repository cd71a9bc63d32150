// Fires are checked against the grid they must never precede and against the queue's own order,
// never against how soon they come: a loaded machine makes every fire late.
#include <gtest/gtest.h>
#include <sys/prctl.h>

#include <atomic>
#include <future>
#include <vector>

#include "Platform/RepeatingTimer.hpp"

using namespace std::chrono_literals;
using ostrel::RepeatingTimer;
using ostrel::SerialQueue;
using Clock = RepeatingTimer::Clock;

namespace {

// A timer on its own queue that cancels itself at its `count`th fire; each fire's time since just
// before the timer was armed.
std::vector<Clock::duration> fires(Clock::duration first, Clock::duration period, int count) {
    SerialQueue queue("test.timer");
    std::vector<Clock::duration> times;  // touched on the queue only
    Clock::time_point armed;
    std::promise<void> done;
    std::unique_ptr<RepeatingTimer> timer;
    timer = std::make_unique<RepeatingTimer>(queue, first, period, 0ms, [&] {
        times.push_back(Clock::now() - armed);
        if (static_cast<int>(times.size()) == count) timer->cancel(), done.set_value();
    });
    queue.sync([&] {  // no fire can start before this ends
        armed = Clock::now();
        timer->resume();
        timer->resume();  // a second resume must not double the fires
    });
    EXPECT_EQ(done.get_future().wait_for(60s), std::future_status::ready);
    return queue.sync([&] { return timer.reset(), times; });
}

// Waits until work queued `after` from now has run: any fire due earlier has run before it.
void runQueueUntil(SerialQueue& queue, Clock::duration after) {
    std::promise<void> ran;
    queue.asyncAfter(after, [&] { ran.set_value(); });
    ran.get_future().wait();
}

}  // namespace

TEST(RepeatingTimerTest, FiresFirstAfterTheFirstDelayThenOnTheGridAndTheLeewayBecomesTimerSlack) {
    const auto times = fires(150ms, 50ms, 5);
    // A late fire may be merged away, which only makes the later ones later still.
    for (std::size_t i = 0; i < times.size(); ++i) EXPECT_GE(times[i], 150ms + i * 50ms) << "fire " << i;

    SerialQueue queue("test.timer");
    RepeatingTimer slack(queue, 1h, 1h, 250ms, [] {});
    slack.resume();
    EXPECT_EQ(queue.sync([] { return prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0); }), 250'000'000);
}

// On a clock of hours the test moves: the first fire overruns four grid points, and the late fire
// that follows at once ends half a second before the fifth, for which the next one waits. Queued
// fires would all come at once; a grid moved to a fire's end would not come for an hour.
TEST(RepeatingTimerTest, FiresThatFallDueDuringASlowTickMergeIntoOneLateFireAndTheGridStays) {
    const auto start = Clock::now();
    std::atomic<Clock::rep> clock{start.time_since_epoch().count()};
    const auto set = [&](Clock::duration since) { clock = (start + since).time_since_epoch().count(); };
    SerialQueue queue("test.timer");
    std::vector<Clock::time_point> fires;  // on the real clock; touched on the queue only
    std::promise<void> third;
    RepeatingTimer timer(
        queue, 0h, 1h, 0ms,
        [&] {
            fires.push_back(Clock::now());
            if (fires.size() == 1) set(4h + 30min);
            if (fires.size() == 2) set(5h - 500ms);
            if (fires.size() == 3) third.set_value();
        },
        [&] { return Clock::time_point(Clock::duration(clock.load())); });
    timer.resume();
    ASSERT_EQ(third.get_future().wait_for(60s), std::future_status::ready);
    timer.cancel();
    EXPECT_GE(queue.sync([&] { return fires[2] - fires[1]; }), 500ms);
}

TEST(RepeatingTimerTest, NoFireAfterCancelFromTheHandlerNorAfterDestructionOnTheQueue) {
    SerialQueue queue("test.timer");
    std::atomic<int> count{0};
    std::promise<void> third;
    std::unique_ptr<RepeatingTimer> timer;
    timer = std::make_unique<RepeatingTimer>(queue, 10ms, 10ms, 0ms, [&] {
        if (++count == 3) timer->cancel(), third.set_value();
    });
    timer->resume();
    third.get_future().wait();
    runQueueUntil(queue, 100ms);  // a fourth fire would be due within 10 ms
    EXPECT_EQ(count.load(), 3);

    count = 0;
    std::promise<void> second;
    timer = std::make_unique<RepeatingTimer>(queue, 10ms, 10ms, 0ms, [&] {
        if (++count == 2) second.set_value();
    });
    timer->resume();
    second.get_future().wait();
    const int atDestruction = queue.sync([&] { return timer.reset(), count.load(); });
    runQueueUntil(queue, 100ms);
    EXPECT_EQ(count.load(), atDestruction);
}
