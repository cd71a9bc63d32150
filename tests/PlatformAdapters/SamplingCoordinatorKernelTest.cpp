// End to end on real kernel counters: known traffic across a veth pair, sampled by the real
// adapter, route tool and per-process tool, stored in a real SQLite file.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <thread>

#include "Persistence/SQLiteDatabase.hpp"
#include "Platform/FakeRunningApplications.hpp"
#include "Platform/FakeWifiClient.hpp"
#include "Platform/ProcessToolRunner.hpp"
#include "Platform/ToolPaths.hpp"
#include "PlatformAdapters/NettopTrafficAttributionProvider.hpp"
#include "PlatformAdapters/SamplingCoordinator.hpp"
#include "PlatformAdapters/support/VethPair.hpp"

using namespace std::chrono_literals;
using namespace ostrel;
using ostrel::testing::NetnsScope;
using ostrel::testing::VethPair;

namespace {

std::int64_t scalar(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* statement = nullptr;
    std::int64_t value = -1;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
        value = sqlite3_column_int64(statement, 0);
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return value;
}

}  // namespace

TEST(SamplingCoordinatorKernelTest, KnownTrafficEndsUpInSamplesAndRollUpsSplitExactlyAmongApplications) {
    std::string whyNot;
    const auto pair = VethPair::create(whyNot);
    if (!pair) {
        GTEST_SKIP() << whyNot;
    }
    ASSERT_TRUE(pair->ip(pair->nearNamespace(), "route add default via 10.231.0.2 dev ostv0"));

    std::string folder = (std::filesystem::temp_directory_path() / "ostrel-e2e-XXXXXX").string();
    ASSERT_NE(::mkdtemp(folder.data()), nullptr);
    const std::string database = folder + "/ostrel.sqlite";
    auto mainQueue = std::make_shared<PumpableMainQueue>();
    auto log = std::make_shared<CapturingLogSink>();
    std::shared_ptr<SamplingCoordinator> coordinator;
    {
        // Built inside the near namespace: the sampling queue's thread, and every tool it starts,
        // stay there.
        NetnsScope inNear(pair->nearNamespace());
        const ToolPaths paths = ToolPaths::inLibexec(OSTREL_BUILD_LIBEXEC_DIR);
        auto runner = std::make_shared<ProcessToolRunner>();
        coordinator = SamplingCoordinator::create(
            std::make_unique<TrafficMonitorAdapter>(std::make_unique<GetifaddrsCounterSource>(), runner, paths.route),
            std::make_unique<NetworkIdentityResolver>(std::make_shared<FakeWifiClient>(), runner, paths),
            std::make_unique<TrafficAttributionLayer>(std::vector<std::shared_ptr<TrafficAttributionProviding>>{
                std::make_shared<NettopTrafficAttributionProvider>(runner, paths,
                                                                   std::make_shared<FakeRunningApplications>())}),
            std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(database)), mainQueue, log);
    }
    std::atomic<int> batches{0};
    coordinator->setOnNewSampleBatch([&] { ++batches; });
    coordinator->start();

    std::this_thread::sleep_for(1300ms);
    std::uint64_t received = pair->sendUdp(true, 300, 1200);
    const std::uint64_t sent = pair->sendUdp(false, 40, 100);
    std::this_thread::sleep_for(1200ms);
    received += pair->sendUdp(true, 100, 500);
    std::this_thread::sleep_for(2500ms);  // a tick, late or not, has seen everything
    coordinator->stop();
    EXPECT_TRUE(mainQueue->pumpUntil([&] { return batches.load() >= 1; }, 2s));
    EXPECT_EQ(received, 300u * 1242 + 100u * 542);

    EXPECT_EQ(scalar(database, "SELECT SUM(rx_bytes) FROM usage_samples"), static_cast<std::int64_t>(received));
    EXPECT_EQ(scalar(database, "SELECT SUM(tx_bytes) FROM usage_samples"), static_cast<std::int64_t>(sent));
    EXPECT_EQ(scalar(database, "SELECT SUM(rx_bytes) FROM daily_usage"), static_cast<std::int64_t>(received));
    EXPECT_EQ(scalar(database, "SELECT SUM(tx_bytes) FROM daily_usage"), static_cast<std::int64_t>(sent));
    EXPECT_EQ(scalar(database, "SELECT SUM(rx_bytes) FROM hourly_usage"), static_cast<std::int64_t>(received));
    EXPECT_EQ(scalar(database, "SELECT SUM(tx_bytes) FROM hourly_usage"), static_cast<std::int64_t>(sent));
    EXPECT_EQ(scalar(database, "SELECT COUNT(*) FROM usage_samples WHERE network_id <> 'iface-ostv0'"), 0);
    EXPECT_EQ(scalar(database, "SELECT COUNT(*) FROM usage_samples WHERE source NOT IN ('nettop', 'fallback')"), 0);
    EXPECT_GE(scalar(database, "SELECT COUNT(DISTINCT timestamp) FROM usage_samples"), 2);
    EXPECT_EQ(scalar(database, "SELECT COUNT(*) FROM networks WHERE id = 'iface-ostv0' AND is_active = 1"), 1);
    EXPECT_TRUE(log->lines().empty()) << log->lines().front();

    coordinator.reset();
    std::filesystem::remove_all(folder);
}
