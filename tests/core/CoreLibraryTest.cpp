// The built library as the program uses it: loaded by path, bound by name, every answer released.
#include <gtest/gtest.h>

#include <string>

#include "core/support/LoadedCore.hpp"

namespace ostrel::vell {
namespace {

using test::errorOf;
using test::sample;

TEST(CoreLibraryTest, AnswersEachRequestKind) {
    const test::LoadedCore core;
    const std::string samples = '[' + sample("2024-03-01T10:15:30Z", "wifi:home", "org.mozilla.firefox", 300, 0) + "," +
                                sample("2024-03-01T11:59:59Z", "eth:office", "org.gnome.Nautilus", 50, 50) + "]";
    EXPECT_EQ(
        core.call(core.aggregate,
                  (R"({"samples":)" + samples +
                   R"(,"start":"2024-03-01T10:00:00Z","end":"2024-03-01T11:00:00Z","bucket_size":"hour"})")
                      .c_str()),
        R"({"total_rx_bytes":300,"total_tx_bytes":0,"points":[{"bucket_start":"2024-03-01T10:00:00Z","rx_bytes":300,)"
        R"("tx_bytes":0},{"bucket_start":"2024-03-01T11:00:00Z","rx_bytes":0,"tx_bytes":0}]})");
    EXPECT_EQ(
        core.call(core.rank, (R"({"samples":)" + samples + R"(,"dimension":"application","limit":0})").c_str()),
        R"({"items":[{"id":"org.mozilla.firefox","label":"org.mozilla.firefox","rx_bytes":300,"tx_bytes":0,)"
        R"("total_bytes":300,"share":0.75},{"id":"org.gnome.Nautilus","label":"org.gnome.Nautilus","rx_bytes":50,)"
        R"("tx_bytes":50,"total_bytes":100,"share":0.25}]})");
    EXPECT_EQ(
        core.call(core.thresholds, R"({"total_bytes":10,"warning_threshold_bytes":10,"danger_threshold_bytes":20})"),
        R"({"level":"warning","exceeds_warning":true,"exceeds_danger":false,"usage_ratio":1.0})");
}

TEST(CoreLibraryTest, FailuresAreErrorObjectsReleasedLikeAnswers) {
    for (int round = 0; round < 2; ++round) {  // and the library loads again after being unloaded
        const test::LoadedCore core;
        for (auto function : {core.aggregate, core.rank, core.thresholds}) {
            EXPECT_EQ(core.call(function, nullptr), errorOf("input pointer was null"));
            EXPECT_EQ(core.call(function, "{\"samples\":\xC3"),
                      errorOf("input UTF-8 error: incomplete utf-8 byte sequence from index 11"));
            EXPECT_EQ(core.call(function, "{}").rfind("{\"error\":\"input JSON parse error: missing field `", 0), 0u);
        }
        core.release(nullptr);
    }
}

}  // namespace
}  // namespace ostrel::vell
