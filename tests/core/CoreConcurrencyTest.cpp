// Many threads call the loaded library at once; each must get exactly the answer a lone call gets.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/support/LoadedCore.hpp"

namespace ostrel::vell {
namespace {

struct Exchange {
    test::RequestFunction function;
    std::string request;
    std::string expected = {};
};

std::vector<Exchange> exchanges(const test::LoadedCore& core) {
    std::vector<Exchange> list;
    for (int variant = 0; variant < 6; ++variant) {
        std::string samples = "[";
        for (int i = 0; i < 200; ++i) {
            if (i > 0) samples += ',';
            samples += test::sample("2024-03-01T1" + std::to_string(i % 10) + ":00:00Z",
                                    "net" + std::to_string((i + variant) % 5), "app" + std::to_string(i % 7),
                                    i * (variant + 1), i);
        }
        const std::string bucket = variant % 2 ? "five_minutes" : "hour";
        const std::string dimension = variant % 2 ? "network" : "application";
        list.push_back({core.aggregate, R"({"samples":)" + samples + R"(],"start":"2024-03-01T09:00:00Z",)" +
                                            R"("end":"2024-03-01T23:00:00Z","bucket_size":")" + bucket + "\"}"});
        list.push_back({core.rank, R"({"samples":)" + samples + R"(],"dimension":")" + dimension + R"(","limit":)" +
                                       std::to_string(variant) + "}"});
        list.push_back({core.thresholds, R"({"total_bytes":)" + std::to_string(variant * 7) +
                                             R"(,"warning_threshold_bytes":10,"danger_threshold_bytes":30})"});
        list.push_back({core.rank, R"({"samples":[],"dimension":"network"})"});
    }
    for (Exchange& exchange : list) exchange.expected = core.call(exchange.function, exchange.request.c_str());
    return list;
}

TEST(CoreConcurrencyTest, SimultaneousCallsGiveTheSameAnswersAsLoneCalls) {
    const test::LoadedCore core;
    const std::vector<Exchange> list = exchanges(core);
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 20; ++round) {
                for (std::size_t i = 0; i < list.size(); ++i) {
                    const Exchange& exchange = list[(i + static_cast<std::size_t>(t)) % list.size()];
                    if (core.call(exchange.function, exchange.request.c_str()) != exchange.expected) ++mismatches;
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_NE(list[0].expected.find("\"points\""), std::string::npos);
    EXPECT_NE(list[3].expected.find("missing field `limit`"), std::string::npos);
}

}  // namespace
}  // namespace ostrel::vell
