// The data service end to end: real SQLite files under a temporary XDG data folder, the built
// core library, a sampler over counters the test moves (or over a real network namespace), the
// main queue pumped by the test.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "PlatformAdapters/support/VethPair.hpp"
#include "Services/support/DataServiceRig.hpp"

namespace ostrel {
namespace {

using namespace std::chrono_literals;
using testing::DataServiceRig;
using P = TimeframePreset;

class OstrelDataServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    DataServiceRig rig;
};

TEST_F(OstrelDataServiceTest, FirstStartCreatesTheStoreAndItsSettingsALaterStartSavesNothing) {
    EXPECT_FALSE(std::filesystem::exists(rig.folder.root + "/data home"));
    auto& first = rig.start();
    EXPECT_EQ(rig.text("SELECT group_concat(key || '=' || value, ' ') FROM (SELECT * FROM settings ORDER BY key)"),
              "danger_threshold_bytes=10737418240 launch_at_login=0 menu_bar_display_mode=totalToday "
              "notifications_enabled=1 warning_threshold_bytes=5368709120");
    EXPECT_EQ(first.settings(), OstrelSettings{});
    EXPECT_TRUE(first.vellCoreAvailable());
    EXPECT_EQ(rig.notifications->authorizationRequests(), 1u);
    EXPECT_TRUE(rig.sampler->isRunning());

    // Stored values are used as they are, a missing key takes its default, and nothing is
    // written back; no bundle identifier asks for nothing; no library is no library.
    rig.stop();
    rig.repository()->saveSettings({MenuBarDisplayMode::compactTotal, 7, 8, false, true});
    SQLiteDatabase(rig.databasePath()).execute("DELETE FROM settings WHERE key = 'danger_threshold_bytes';");
    rig.bundleIdentifier.reset();
    rig.coreLibrary = false;
    auto& second = rig.start();
    EXPECT_EQ(second.settings(), (OstrelSettings{MenuBarDisplayMode::compactTotal, 7, 10737418240, false, true}));
    EXPECT_EQ(rig.scalar("SELECT COUNT(*) FROM settings"), 4);
    EXPECT_FALSE(second.vellCoreAvailable());
    EXPECT_EQ(rig.notifications->authorizationRequests(), 1u);
    EXPECT_TRUE(rig.loginItem->calls().empty());
    EXPECT_TRUE(rig.log->lines().empty());
}

TEST_F(OstrelDataServiceTest, DemonstrationDataIsSeededIntoAnEmptyStoreAndPurgedAtTheNextStartWithout) {
    for (const char* value : {"true", "yes", "1 ", " 1", "", "0"}) {
        EXPECT_FALSE(OstrelDataService::Dependencies::mockDataEnabledBy(value)) << value;
    }
    EXPECT_FALSE(OstrelDataService::Dependencies::mockDataEnabledBy(nullptr));
    EXPECT_TRUE(OstrelDataService::Dependencies::mockDataEnabledBy("1"));

    rig.mockData = true;
    rig.start();
    const auto seeded = rig.scalar("SELECT COUNT(*) FROM usage_samples WHERE source = 'mock'");
    EXPECT_GT(seeded, 0);
    EXPECT_EQ(rig.scalar("SELECT COUNT(*) FROM usage_samples"), seeded);
    rig.start();  // the store holds traffic now: nothing more
    EXPECT_EQ(rig.scalar("SELECT COUNT(*) FROM usage_samples"), seeded);

    rig.repository()->recordThresholdEvent(AlertLevel::danger, 1, P::daily, true);
    rig.store(rig.now(), "app-real", 5);
    rig.mockData = false;
    rig.start();
    EXPECT_EQ(rig.text("SELECT group_concat(id) FROM (SELECT app_id AS id FROM usage_samples UNION ALL SELECT id "
                       "FROM applications UNION ALL SELECT network_id FROM daily_usage UNION ALL SELECT app_id FROM "
                       "hourly_usage UNION ALL SELECT id FROM threshold_events)"),
              "app-real,app-real,net-home,app-real");
    EXPECT_TRUE(rig.log->lines().empty());
}

// Each case breaks the database folder for real; the program is this test's child, which ends
// with the message on standard error and status 1.
TEST(OstrelDataServiceStartupTest, AStoreThatCannotBeOpenedEndsTheProgramWithTheMessage) {
    struct Case {
        const char* prepare;  // shell commands in a fresh folder
        const char* dataHome;
        const char* message;
    };
    const Case cases[] = {
        {"touch file", "file/data",
         "Failed to initialize OstrelDataService: filesystem error: cannot create "
         "directories: Not a directory \\[.*/file/data/Ostrel\\]"},
        {"mkdir -p home/Ostrel && chmod 555 home/Ostrel", "home",
         "Failed to initialize OstrelDataService: SQLite open failed: unable to open database file"},
        {"mkdir -p home/Ostrel/ostrel.sqlite", "home",
         "Failed to initialize OstrelDataService: SQLite open failed: unable to open database file"},
        {"mkdir -p home/Ostrel && touch home/Ostrel/ostrel.sqlite && chmod 444 home/Ostrel/ostrel.sqlite", "home",
         "Failed to initialize OstrelDataService: SQLite open failed: attempt to write a readonly database"},
        {"mkdir -m 777 -p home/Ostrel && echo not a database > home/Ostrel/ostrel.sqlite && chmod 666 home/Ostrel/*",
         "home", "Failed to initialize OstrelDataService: SQLite (prepare|step) failed: file is not a database"},
        {"true", "relative/home", "Failed to initialize OstrelDataService: No folder for the database"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.prepare);
        testing::TempTree tree;
        ::chmod(tree.root.c_str(), 0755);
        ASSERT_EQ(std::system(("cd " + tree.root + " && " + c.prepare).c_str()), 0);
        const std::string dataHome = c.dataHome[0] == 'r' ? c.dataHome : tree.root + "/" + c.dataHome;
        EXPECT_EXIT(
            {
                // Root passes every permission check; the program runs as nobody instead.
                if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
                ::setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
                ::unsetenv("HOME");
                OstrelDataService::shared(std::make_shared<PumpableMainQueue>());
            },
            ::testing::ExitedWithCode(1), c.message);
    }
}

TEST_F(OstrelDataServiceTest, AnswersComeFromTheCacheUntilOlderThanTheirTimeToLive) {
    struct Key {
        P preset;
        std::optional<DateRange> range;
        const char* text;
    };
    const Date epoch{};
    const Key keys[] = {{P::weekly, DateRange{epoch, epoch + 10500ms}, "weekly"},
                        {P::custom, DateRange{epoch, epoch + 10500ms}, "custom:0.0:10.5"},
                        {P::custom, DateRange{epoch + 250ms, epoch + 10500ms}, "custom:0.25:10.5"},
                        {P::custom, std::nullopt, "custom"}};
    for (const auto& key : keys) {
        EXPECT_EQ(OstrelDataService::overviewCacheKey(key.preset, key.range), key.text);
        EXPECT_EQ(OstrelDataService::detailCacheKey("com.apple.Safari", key.preset, key.range),
                  std::string("com.apple.Safari:") + key.text);
    }

    auto& service = rig.start();
    service.updateSettings([](OstrelSettings& s) { s.warningThresholdBytes = 100, s.dangerThresholdBytes = 1 << 30; });
    // Each load's answer as one number, and its time to live.
    struct Load {
        const char* name;
        double timeToLive;
        std::function<std::int64_t(bool force)> total;
    };
    const auto sum = [](const UsageSummary& s) { return s.rxBytes + s.txBytes; };
    const auto listed = [](const auto& items) {
        std::int64_t total = 0;
        for (const auto& item : items) total += item.totalBytes;
        return total;
    };
    const Load loads[] = {
        {"overview", 5, [&](bool force) { return sum(service.loadOverview(P::weekly, std::nullopt, force).summary); }},
        {"menu bar", 2, [&](bool) { return sum(service.loadMenuBarSnapshot().summary); }},
        {"networks", 12, [&](bool force) { return listed(service.loadNetworks(P::monthly, std::nullopt, force)); }},
        {"apps", 12, [&](bool force) { return listed(service.loadApplications(P::daily, std::nullopt, force)); }},
        {"network", 12,
         [&](bool force) {
             return sum(service.loadNetworkDetail("net-home", P::daily, std::nullopt, force)->summary);
         }},
        {"app", 12,
         [&](bool force) {
             return sum(service.loadApplicationDetail("app-web", P::weekly, std::nullopt, force)->summary);
         }},
    };
    rig.store(rig.now() - 1min, "app-web", 1000);
    std::int64_t stored = 1000;
    for (const auto& load : loads) {
        SCOPED_TRACE(load.name);
        const Date began = rig.now();
        EXPECT_EQ(load.total(false), stored);
        rig.store(rig.now() - 1min, "app-web", 1), ++stored;
        const auto ttl = std::chrono::milliseconds(static_cast<int>(load.timeToLive * 1000));
        for (const auto& [at, expected] :
             {std::pair{ttl - 100ms, stored - 1}, {ttl, stored - 1}, {-1h, stored - 1}, {ttl + 100ms, stored}}) {
            rig.setNow(began + at);
            EXPECT_EQ(load.total(false), expected) << (at / 1ms) << " ms";
        }
        rig.store(rig.now() - 1min, "app-web", 1), ++stored;
        if (std::string(load.name) != "menu bar") {
            EXPECT_EQ(load.total(true), stored);
        }
        rig.setNow(began + 1h);
    }

    // The overview records the level's first event, and posts at every fresh computation.
    const auto posted = rig.notifications->requests().size();
    EXPECT_EQ(posted, 3u);  // the first, the aged and the forced overview
    EXPECT_EQ(rig.notifications->requests().front().title, "Ostrel Warning Threshold");
    EXPECT_EQ(rig.scalar("SELECT COUNT(*) FROM threshold_events WHERE level = 'warning' AND timeframe = 'weekly'"), 1);

    // An unknown identifier gives nothing and caches nothing; presets keep their own entries.
    EXPECT_FALSE(service.loadApplicationDetail("app-new", P::daily, std::nullopt));
    rig.store(rig.now() - 1min, "app-new", 7);
    EXPECT_EQ(sum(service.loadApplicationDetail("app-new", P::daily, std::nullopt)->summary), 7);
    rig.store(rig.now() - 1min, "app-new", 7);
    EXPECT_EQ(sum(service.loadApplicationDetail("app-new", P::weekly, std::nullopt)->summary), 14);
    EXPECT_EQ(sum(service.loadApplicationDetail("app-new", P::daily, std::nullopt)->summary), 7);
    EXPECT_EQ(rig.notifications->requests().size(), posted);
    EXPECT_TRUE(rig.log->lines().empty());
}

TEST_F(OstrelDataServiceTest, ASettingsChangeEmptiesEveryCacheUpdatesTheLoginItemAndTellsTheObservers) {
    auto& service = rig.start();
    int told = 0;
    const auto first = service.addObserver([&] { ++told; });
    const auto second = service.addObserver([&] { told += 10; });
    rig.store(rig.now(), "app-web", 100);
    const auto overview = [&] { return service.loadOverview(P::daily, std::nullopt).summary.rxBytes; };
    const auto apps = [&] { return service.loadApplications(P::daily, std::nullopt).at(0).totalBytes; };
    EXPECT_EQ(overview() + apps() + service.loadMenuBarSnapshot().summary.rxBytes, 300);

    rig.store(rig.now(), "app-web", 1);
    service.updateSettings([](OstrelSettings& s) { s.warningThresholdBytes = 99; });
    EXPECT_EQ(overview() + apps() + service.loadMenuBarSnapshot().summary.rxBytes, 303);
    EXPECT_EQ(told, 11);
    EXPECT_EQ(rig.loginItem->calls(), std::vector<std::string>{"unregister"});

    // A login item that refuses is logged; a save that fails is thrown, and the new value stays
    // in use until the next start reads the stored one.
    service.removeObserver(second);
    rig.loginItem->setError("refused");
    service.updateSettings([](OstrelSettings& s) { s.launchAtLogin = true; });
    EXPECT_EQ(rig.log->lines(), std::vector<std::string>{"Launch at login update failed: refused"});
    EXPECT_EQ(told, 12);
    SQLiteDatabase(rig.databasePath())
        .execute("CREATE TRIGGER refuse BEFORE UPDATE ON settings BEGIN SELECT RAISE(ABORT, 'kept'); END;");
    EXPECT_THROW(
        {
            try {
                service.updateSettings([](OstrelSettings& s) { s.warningThresholdBytes = 5; });
            } catch (const SQLiteError& error) {
                EXPECT_STREQ(error.what(), "SQLite step failed: kept");
                throw;
            }
        },
        SQLiteError);
    EXPECT_EQ(service.settings().warningThresholdBytes, 5);
    EXPECT_EQ(told, 12);
    EXPECT_EQ(rig.start().settings().warningThresholdBytes, 99);
    (void)first;
}

TEST_F(OstrelDataServiceTest, ClearingDataWhileSamplingDeletesTheBufferAndCountsOnlyLaterTraffic) {
    auto& service = rig.start();
    int told = 0;
    service.addObserver([&] { ++told; });
    rig.traffic(4000, 400);
    rig.tick();  // the first write is at once
    rig.advance(1s);
    rig.traffic(800, 80);
    rig.tick();  // buffered for 2 more seconds
    EXPECT_EQ(rig.scalar("SELECT SUM(rx_bytes) FROM usage_samples"), 4000);
    const auto daily = [&] { return service.loadOverview(P::daily, std::nullopt).summary.rxBytes; };
    EXPECT_EQ(daily(), 4000);
    rig.traffic(40, 4);  // not sampled yet

    service.clearAllData();
    EXPECT_EQ(told, 1);
    EXPECT_TRUE(rig.sampler->isRunning());
    EXPECT_EQ(rig.scalar("SELECT (SELECT COUNT(*) FROM usage_samples) + (SELECT COUNT(*) FROM daily_usage) + "
                         "(SELECT COUNT(*) FROM hourly_usage) + (SELECT COUNT(*) FROM applications)"),
              0);
    EXPECT_EQ(daily(), 0);
    rig.advance(3s);
    rig.traffic(8, 4);
    rig.tick();
    EXPECT_EQ(rig.text("SELECT SUM(rx_bytes) || '/' || SUM(tx_bytes) FROM usage_samples"), "8/4");
    EXPECT_EQ(
        rig.text("SELECT group_concat(app_id || '=' || rx_bytes) FROM (SELECT * FROM daily_usage ORDER BY app_id)"),
        "app-browser=6,app-mail=2");

    // A deletion that fails is thrown once sampling runs again; caches and observers stay.
    SQLiteDatabase(rig.databasePath())
        .execute("CREATE TRIGGER refuse BEFORE DELETE ON usage_samples BEGIN SELECT RAISE(ABORT, 'kept'); END;");
    EXPECT_THROW(service.clearAllData(), SQLiteError);
    EXPECT_TRUE(rig.sampler->isRunning());
    EXPECT_EQ(told, 1);
    EXPECT_EQ(daily(), 0);
    EXPECT_EQ(rig.scalar("SELECT SUM(rx_bytes) FROM usage_samples"), 8);
}

// The batch callback rebuilds the menu-bar answer off the main thread and then calls every
// observer on the main queue; the overview answer only ages.
TEST_F(OstrelDataServiceTest, ABatchRefreshesTheMenuBarAndCallsEveryObserverOnTheMainQueue) {
    auto& service = rig.start();
    std::vector<std::thread::id> calls;
    for (int i = 0; i < 3; ++i) service.addObserver([&] { calls.push_back(std::this_thread::get_id()); });
    EXPECT_EQ(service.loadMenuBarSnapshot().summary.rxBytes, 0);
    EXPECT_EQ(service.loadOverview(P::daily, std::nullopt).summary.rxBytes, 0);
    rig.traffic(1000, 10);
    rig.tick();
    ASSERT_TRUE(rig.mainQueue->pumpUntil([&] { return calls.size() == 3; }, 10s));
    EXPECT_EQ(calls, std::vector<std::thread::id>(3, std::this_thread::get_id()));
    const auto menuBar = service.loadMenuBarSnapshot();
    EXPECT_EQ(menuBar.summary, (UsageSummary{1000, 10}));
    EXPECT_EQ(menuBar.topAppToday, "Browser");
    EXPECT_EQ(menuBar.topNetworkToday, "Ethernet");
    EXPECT_EQ(service.loadOverview(P::daily, std::nullopt).summary.rxBytes, 0);
}

// The real sampler in a network namespace of the test's own: traffic across a veth pair reaches
// the store, and every observer hears of it on the main queue.
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
    pair.sendUdp(true, 200, 1000);  // after the start's baseline: the next tick counts it
    ASSERT_TRUE(rig.mainQueue->pumpUntil([&] { return calls.size() >= 3; }, 10s));
    EXPECT_EQ(std::vector<std::thread::id>(calls.begin(), calls.begin() + 3),
              std::vector<std::thread::id>(3, std::this_thread::get_id()));
    const auto menuBar = rig.service->loadMenuBarSnapshot();
    EXPECT_GE(menuBar.summary.rxBytes, 200 * 1000);
    EXPECT_EQ(menuBar.activeNetwork, "ostv0");
    EXPECT_TRUE(rig.log->lines().empty()) << rig.log->lines().front();
}

}  // namespace
}  // namespace ostrel
