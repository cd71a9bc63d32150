#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "Model/Iso8601.hpp"

namespace ostrel {
namespace {

using namespace std::chrono;

// Sampling, database callers and screen workers write and read timestamps at once.
TEST(Iso8601ConcurrencyTest, ManyThreadsWriteAndReadTheSameTexts) {
    constexpr int kThreads = 8;
    constexpr int kRounds = 2000;
    const Date base = Date{sys_days{year{2026} / 3 / 1}} + milliseconds{123};
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                const Date date = base + hours{t} + seconds{i} + milliseconds{i % 1000};
                const auto text = ostrelISO8601String(date);
                const auto back = ostrelISO8601Date(text);
                if (text.size() != 24 || text.back() != 'Z' || !back || *back != date) ++mismatches;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
}  // namespace ostrel
