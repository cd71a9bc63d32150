// The data service end to end on real SQLite files under a temporary XDG data folder, with the
// built core library and a sampler over counters the test moves, or over a network namespace.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "PlatformAdapters/support/VethPair.hpp"
#include "Services/support/DataServiceRig.hpp"

namespace ostrel {
namespace {

using namespace std::chrono_literals;
using P = TimeframePreset;

std::int64_t total(const UsageSummary& summary) {
    return summary.rxBytes + summary.txBytes;
}

class OstrelDataServiceTest : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("TZ", "UTC", 1), ::tzset(); }
    testing::DataServiceRig rig;
};

// The first start creates the folder, the database and the settings, and here seeds demonstration
// data; a later start reads the settings without saving and, without demonstration data, purges it.
TEST_F(OstrelDataServiceTest, FirstStartCreatesTheStoreLaterStartsSaveNothingAndPurgeDemonstrationData) {
    for (const char* value : {"true", "1 ", ""})
        EXPECT_FALSE(OstrelDataService::Dependencies::mockDataEnabledBy(value));
    rig.mockData = OstrelDataService::Dependencies::mockDataEnabledBy("1");
    EXPECT_TRUE(rig.start().vellCoreAvailable());
    EXPECT_EQ(rig.text("SELECT group_concat(key || '=' || value, ' ') FROM (SELECT * FROM settings ORDER BY key)"),
              "danger_threshold_bytes=10737418240 launch_at_login=0 menu_bar_display_mode=totalToday "
              "notifications_enabled=1 warning_threshold_bytes=5368709120");
    EXPECT_EQ(rig.notifications->authorizationRequests(), 1u);
    EXPECT_TRUE(rig.sampler->isRunning());
    const auto seeded = rig.text("SELECT COUNT(*) FROM usage_samples WHERE source = 'mock'");
    EXPECT_GT(std::stoi(seeded), 0);
    rig.start();  // the store holds traffic: nothing more
    EXPECT_EQ(rig.text("SELECT COUNT(*) FROM usage_samples"), seeded);

    // Stored values are used and a missing key takes its default, with nothing written back.
    rig.repository()->saveSettings({MenuBarDisplayMode::compactTotal, 7, 8, false, true});
    SQLiteDatabase(rig.databasePath).execute("DELETE FROM settings WHERE key = 'danger_threshold_bytes';");
    rig.repository()->recordThresholdEvent(AlertLevel::danger, 1, P::daily, true);
    rig.store(rig.now(), "app-real", 5);
    rig.bundleIdentifier.reset();
    rig.coreLibrary = rig.mockData = false;
    auto& third = rig.start();
    EXPECT_EQ(third.settings(), (OstrelSettings{MenuBarDisplayMode::compactTotal, 7, 10737418240, false, true}));
    EXPECT_EQ(rig.text("SELECT COUNT(*) FROM settings"), "4");
    EXPECT_FALSE(third.vellCoreAvailable());
    EXPECT_EQ(rig.notifications->authorizationRequests(), 2u);
    // The purge and the rebuild run off the start-up path; roll-up reads wait for the rebuild.
    third.repository().fetchSummaryFromDailyRollup({});
    EXPECT_EQ(rig.text("SELECT group_concat(id) FROM (SELECT app_id AS id FROM usage_samples UNION ALL SELECT id "
                       "FROM applications UNION ALL SELECT network_id FROM daily_usage UNION ALL SELECT app_id FROM "
                       "hourly_usage UNION ALL SELECT id FROM threshold_events)"),
              "app-real,app-real,net-home,app-real");
    EXPECT_TRUE(rig.loginItem->calls().empty() && rig.log->lines().empty());
}

// Each case breaks the database folder for real; the program, a child of this test, ends with the
// message on standard error and status 1.
TEST(OstrelDataServiceStartupTest, AStoreThatCannotBeOpenedEndsTheProgramWithTheMessage) {
    const char* const cases[][3] = {
        {"touch file", "file/data", "filesystem error: cannot create directories: Not a directory \\[.*/file/data"},
        // The program takes the lock on the database before the service starts (the program's own
        // test sees its messages); the service meets these at the open.
        {"mkdir -m 555 -p home/Ostrel", "home", "SQLite open failed: unable to open database file"},
        {"mkdir -p home/Ostrel/ostrel.sqlite", "home", "SQLite open failed: unable to open database file"},
        {"mkdir -p home/Ostrel && touch home/Ostrel/ostrel.sqlite && chmod 444 home/Ostrel/*", "home",
         "SQLite open failed: attempt to write a readonly database"},
        {"mkdir -m 777 -p home/Ostrel && echo no > home/Ostrel/ostrel.sqlite && chmod 666 home/Ostrel/*", "home",
         "SQLite (prepare|step) failed: file is not a database"},
        {"true", "relative/home", "No folder for the database"},
    };
    for (const auto& [prepare, dataHome, message] : cases) {
        SCOPED_TRACE(prepare);
        testing::TempTree tree;
        ::chmod(tree.root.c_str(), 0755);
        ASSERT_EQ(std::system(("cd " + tree.root + " && " + prepare).c_str()), 0);
        const std::string home = dataHome[0] == 'r' ? dataHome : tree.root + "/" + dataHome;
        EXPECT_EXIT(
            {
                // Root passes every permission check: the program runs as nobody.
                if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
                ::setenv("XDG_DATA_HOME", home.c_str(), 1);
                ::unsetenv("HOME");
                OstrelDataService::shared(std::make_shared<PumpableMainQueue>());
            },
            ::testing::ExitedWithCode(1), std::string("^Failed to initialize OstrelDataService: ") + message);
    }
}

// Samples of another shape would take no sample at all: the start stops before anything is written.
TEST_F(OstrelDataServiceTest, ADatabaseOfAnotherShapeStopsTheStartAndIsLeftAsItWas) {
    std::filesystem::create_directories(std::filesystem::path(rig.databasePath).parent_path());
    const auto write = [&](const char* sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(rig.databasePath.c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    };
    const auto bytes = [&] {
        std::ifstream in(rig.databasePath, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    write(
        "CREATE TABLE usage_samples (id TEXT PRIMARY KEY, network_id TEXT, app_id TEXT, rx_bytes INT, tx_bytes "
        "INT, source TEXT, attribution_confidence REAL); INSERT INTO usage_samples VALUES ('S', 'n', 'a', 1, 2, "
        "'mock', 1);");
    const std::string before = bytes();
    try {
        rig.start();
        ADD_FAILURE() << "started";
    } catch (const OstrelDataServiceError& error) {
        EXPECT_STREQ(error.what(),
                     "Failed to initialize OstrelDataService: The database does not have the shape Ostrel uses: the "
                     "table usage_samples has no column timestamp");
    }
    EXPECT_TRUE(bytes() == before) << "the file changed";
    EXPECT_EQ(
        std::distance(std::filesystem::directory_iterator(std::filesystem::path(rig.databasePath).parent_path()), {}),
        1);
}

TEST_F(OstrelDataServiceTest, AnswersComeFromTheCacheUntilOlderThanTheirTimeToLive) {
    const Date epoch{};
    EXPECT_EQ(OstrelDataService::overviewCacheKey(P::custom, DateRange{epoch, epoch + 10500ms}), "custom:0.0:10.5");
    EXPECT_EQ(OstrelDataService::overviewCacheKey(P::custom, DateRange{epoch + 250ms, epoch}), "custom:0.25:0.0");
    EXPECT_EQ(OstrelDataService::detailCacheKey("com.apple.Safari", P::weekly, DateRange{}), "com.apple.Safari:weekly");

    auto& service = rig.start();
    service.updateSettings([](OstrelSettings& s) { s.warningThresholdBytes = 100; });
    const auto listed = [](const auto& items) {
        std::int64_t sum = 0;
        for (const auto& item : items) sum += item.totalBytes;
        return sum;
    };
    // Each load as one number, with its time to live.
    const std::pair<std::chrono::milliseconds, std::function<std::int64_t(bool force)>> loads[] = {
        {5s, [&](bool force) { return total(service.loadOverview(P::weekly, std::nullopt, force).summary); }},
        {2s, [&](bool) { return total(service.loadMenuBarSnapshot().summary); }},
        {12s, [&](bool force) { return listed(service.loadNetworks(P::monthly, std::nullopt, force)); }},
        {12s, [&](bool force) { return listed(service.loadApplications(P::daily, std::nullopt, force)); }},
        {12s, [&](bool f) { return total(service.loadNetworkDetail("net-home", P::daily, {}, f)->summary); }},
        {12s, [&](bool f) { return total(service.loadApplicationDetail("app-web", P::weekly, {}, f)->summary); }},
    };
    std::int64_t stored = 0;
    for (const auto& [timeToLive, load] : loads) {
        SCOPED_TRACE(timeToLive.count());
        const Date began = rig.now();
        rig.store(began - 1min, "app-web", 1000), stored += 1000;
        EXPECT_EQ(load(false), stored);
        rig.store(began - 1min, "app-web", 1), ++stored;
        // At exactly the time to live, and with the clock set back, the answer is young still.
        for (const auto& [age, expected] : {std::pair{timeToLive - 1ms, stored - 1},
                                            {timeToLive, stored - 1},
                                            {-1h, stored - 1},
                                            {timeToLive + 1ms, stored}}) {
            rig.setNow(began + age);
            EXPECT_EQ(load(false), expected) << age.count();
        }
        rig.store(began - 1min, "app-web", 1), ++stored;
        EXPECT_EQ(load(true), timeToLive == 2s ? stored - 1 : stored);  // the menu bar takes no forcing
        rig.setNow(began + 1h);
    }
    // The first, the aged and the forced overview: three posts, one event for the level.
    EXPECT_EQ(rig.notifications->requests().size(), 3u);
    EXPECT_EQ(rig.text("SELECT group_concat(level || timeframe) FROM threshold_events"), "warningweekly");

    // An unknown identifier gives nothing and caches nothing; each preset has its own entry.
    EXPECT_FALSE(service.loadApplicationDetail("app-new", P::daily, std::nullopt));
    rig.store(rig.now() - 1min, "app-new", 7);
    EXPECT_EQ(total(service.loadApplicationDetail("app-new", P::daily, std::nullopt)->summary), 7);
    rig.store(rig.now() - 1min, "app-new", 7);
    EXPECT_EQ(total(service.loadApplicationDetail("app-new", P::weekly, std::nullopt)->summary), 14);
    EXPECT_EQ(total(service.loadApplicationDetail("app-new", P::daily, std::nullopt)->summary), 7);
}

TEST_F(OstrelDataServiceTest, ASettingsChangeEmptiesEveryCacheUpdatesTheLoginItemAndTellsTheObservers) {
    auto& service = rig.start();
    int told = 0;
    service.addObserver([&] { ++told; });
    const auto second = service.addObserver([&] { told += 10; });
    const auto answers = [&] {
        return service.loadOverview(P::daily, std::nullopt).summary.rxBytes +
               service.loadApplications(P::daily, std::nullopt).at(0).totalBytes +
               service.loadMenuBarSnapshot().summary.rxBytes;
    };
    rig.store(rig.now(), "app-web", 100);
    EXPECT_EQ(answers(), 300);
    rig.store(rig.now(), "app-web", 1);
    service.updateSettings([](OstrelSettings& s) { s.warningThresholdBytes = 99; });
    EXPECT_EQ(answers(), 303);
    EXPECT_EQ(told, 11);
    EXPECT_EQ(rig.loginItem->calls(), std::vector<std::string>{"unregister"});

    // A refusing login item is logged; a failing save is thrown and its value used until a restart.
    service.removeObserver(second);
    rig.loginItem->setError("refused");
    service.updateSettings([](OstrelSettings& s) { s.launchAtLogin = true; });
    EXPECT_EQ(rig.log->lines(), std::vector<std::string>{"Launch at login update failed: refused"});
    SQLiteDatabase(rig.databasePath)
        .execute("CREATE TRIGGER refuse BEFORE UPDATE ON settings BEGIN SELECT RAISE(ABORT, 'kept'); END;");
    EXPECT_THROW(service.updateSettings([](OstrelSettings& s) { s.warningThresholdBytes = 5; }), SQLiteError);
    EXPECT_EQ(service.settings().warningThresholdBytes, 5);
    EXPECT_EQ(told, 12);
    EXPECT_EQ(rig.start().settings().warningThresholdBytes, 99);
}

// On a quiet network no batch comes: the sampler's first write of the active network tells the
// observers as a batch does, and the menu bar's answer names it at once.
TEST_F(OstrelDataServiceTest, TheStoredActiveNetworkReachesTheObserversAndTheMenuBarWithoutTraffic) {
    auto& service = rig.start();
    int told = 0;
    service.addObserver([&] { ++told; });
    service.loadMenuBarSnapshot();
    rig.sampler->collectSampleNow();  // no traffic
    ASSERT_TRUE(rig.mainQueue->pumpUntil([&] { return told == 1; }, 60s));
    EXPECT_EQ(service.loadMenuBarSnapshot().activeNetwork, "Ethernet");
    EXPECT_EQ(rig.text("SELECT COUNT(*) FROM usage_samples"), "0");
}

// A batch rebuilds the menu-bar answer and then calls the observers on the main queue; clearing
// writes what the sampler buffered, deletes it and samples again from a fresh baseline.
TEST_F(OstrelDataServiceTest, BatchesReachTheMenuBarAndClearingWhileSamplingCountsOnlyLaterTraffic) {
    auto& service = rig.start();
    int told = 0;
    service.addObserver([&] { ++told; });
    const auto daily = [&] { return service.loadOverview(P::daily, std::nullopt).summary.rxBytes; };
    EXPECT_EQ(service.loadMenuBarSnapshot().summary.rxBytes + daily(), 0);
    rig.traffic(4000, 400);
    rig.sampler->collectSampleNow();  // the first write is at once
    ASSERT_TRUE(rig.mainQueue->pumpUntil([&] { return told == 1; }, 60s));
    const auto menuBar = service.loadMenuBarSnapshot();
    EXPECT_EQ(menuBar.summary, (UsageSummary{4000, 400}));
    EXPECT_EQ(menuBar.topAppToday, "Browser");
    EXPECT_EQ(menuBar.topNetworkToday, "Ethernet");
    EXPECT_EQ(daily(), 0);  // only ages

    rig.setNow(rig.now() + 1s);
    rig.traffic(800, 80);
    rig.sampler->collectSampleNow();  // buffered for 2 more seconds
    rig.traffic(40, 4);               // not sampled yet
    service.clearAllData();
    EXPECT_EQ(told, 2);
    EXPECT_EQ(rig.text("SELECT (SELECT COUNT(*) FROM usage_samples) + (SELECT COUNT(*) FROM daily_usage) + "
                       "(SELECT COUNT(*) FROM hourly_usage) + (SELECT COUNT(*) FROM applications)"),
              "0");
    EXPECT_EQ(daily(), 0);
    rig.setNow(rig.now() + 3s);
    rig.traffic(8, 4);
    rig.sampler->collectSampleNow();
    EXPECT_EQ(rig.text("SELECT group_concat(app_id || '=' || rx_bytes || '/' || tx_bytes) FROM "
                       "(SELECT * FROM daily_usage ORDER BY app_id)"),
              "app-browser=6/3,app-mail=2/1");

    // A failing deletion is thrown once sampling runs again; caches and observers are left alone.
    SQLiteDatabase(rig.databasePath)
        .execute("CREATE TRIGGER refuse BEFORE DELETE ON usage_samples BEGIN SELECT RAISE(ABORT, 'kept'); END;");
    EXPECT_THROW(service.clearAllData(), SQLiteError);
    EXPECT_TRUE(rig.sampler->isRunning());
    EXPECT_EQ(told, 2);
    EXPECT_EQ(daily(), 0);
}

// Stopping sampling for good (the program leaves its database) writes what was buffered, and a
// clear afterwards does not start the sampler again.
TEST_F(OstrelDataServiceTest, SamplingStoppedForGoodStaysStoppedThroughAClear) {
    auto& service = rig.start();
    rig.traffic(4000, 400);
    rig.sampler->collectSampleNow();  // the first write is at once
    rig.setNow(rig.now() + 1s);
    rig.traffic(800, 80);
    rig.sampler->collectSampleNow();  // buffered
    service.stopSampling();
    EXPECT_FALSE(rig.sampler->isRunning());
    EXPECT_EQ(rig.text("SELECT SUM(rx_bytes) FROM usage_samples"), "4800");
    service.clearAllData();
    EXPECT_FALSE(rig.sampler->isRunning());
}

// The real sampler in a network namespace of the test's own, fed across a veth pair.
TEST_F(OstrelDataServiceTest, RealSamplingDeliversABatchToEveryObserverOnTheMainQueue) {
    testing::VethPair pair;
    if (!pair.whyNot.empty()) GTEST_SKIP() << pair.whyNot;
    ASSERT_TRUE(pair.ip(pair.near, "route add default via 10.231.0.2 dev ostv0"));
    rig.realSampler = true;
    {
        testing::NetnsScope inNear(pair.near);
        rig.start();
    }
    std::vector<std::thread::id> calls;
    for (int i = 0; i < 3; ++i) rig.service->addObserver([&] { calls.push_back(std::this_thread::get_id()); });
    pair.sendUdp(true, 200, 1000);  // after the start's baseline: the next ticks count it
    // A tick may take part of it; a later batch brings the rest.
    const auto menuBar = [&] { return rig.service->loadMenuBarSnapshot().summary.rxBytes; };
    ASSERT_TRUE(rig.mainQueue->pumpUntil([&] { return calls.size() >= 3 && menuBar() >= 200 * 1000; }, 60s));
    EXPECT_EQ(std::vector(calls.begin(), calls.begin() + 3), std::vector(3, std::this_thread::get_id()));
    EXPECT_EQ(rig.service->loadMenuBarSnapshot().activeNetwork, "ostv0");
    EXPECT_TRUE(rig.log->lines().empty()) << rig.log->lines().front();
}

}  // namespace
}  // namespace ostrel
