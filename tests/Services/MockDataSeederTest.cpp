#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

#include "Persistence/SQLiteDatabase.hpp"
#include "Platform/support/TempTree.hpp"
#include "Services/MockDataSeeder.hpp"

using namespace std::chrono;

namespace ostrel {
namespace {

const std::map<std::string, std::pair<std::string, NetworkType>> demoNetworks{
    {"net-home-wifi", {"Home Wi-Fi", NetworkType::wifi}},
    {"net-office-wifi", {"Office Wi-Fi", NetworkType::wifi}},
    {"net-iphone-hotspot", {"iPhone Hotspot", NetworkType::hotspot}}};
const std::map<std::string, std::string> demoApplications{{"com.apple.Safari", "Safari"},
                                                          {"com.tinyspeck.slackmacgap", "Slack"},
                                                          {"com.spotify.client", "Spotify"},
                                                          {"com.google.Chrome", "Google Chrome"},
                                                          {"com.ostrel.unknown", "Unattributed"}};
const Date now = Date{sys_days{year{2026} / 3 / 1}} + 14h + 5min + 9s + 123ms;

void insertTraffic(OstrelRepository& repository, std::int64_t bytes) {
    repository.insertSamples({{"A1B2C3D4-0000-4000-8000-000000000001", now - 1h, "net-x", "X", NetworkType::ethernet,
                               "app.x", "X", 0, bytes, "nettop", 1.0}});
}

TEST(MockDataSeederTest, OnlyAStoreWithoutTrafficIsSeededAndAFailureKeepsNothing) {
    struct Case {
        std::function<void(OstrelRepository&, SQLiteDatabase&)> prepare;
        std::size_t otherSamples;
        const char* logged;  // the end of the one line logged
        bool seeded;
    };
    const Case cases[] = {
        {[](auto&, auto&) {}, 0, nullptr, true},
        {[](auto& r, auto&) { insertTraffic(r, 0); }, 1, nullptr, true},
        {[](auto& r, auto&) { insertTraffic(r, 1); }, 1, nullptr, false},
        {[](auto&, auto& db) {
             db.execute(
                 "CREATE TRIGGER refuse BEFORE INSERT ON usage_samples WHEN NEW.source = 'mock' "
                 "BEGIN SELECT RAISE(ABORT, 'refused'); END;");
         },
         0, "refused", false},
        {[](auto&, auto& db) { db.execute("DROP TABLE usage_samples;"); }, 0, "no such table: usage_samples", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        testing::TempTree tree;
        auto repository = std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(tree.root + "/o.sqlite"));
        SQLiteDatabase other(tree.root + "/o.sqlite");
        c.prepare(*repository, other);
        auto log = std::make_shared<CapturingLogSink>();
        MockDataSeeder seeder(repository, log, [] { return now; });
        seeder.seedIfEmpty();
        const auto lines = log->lines();
        ASSERT_EQ(lines.size(), c.logged ? 1u : 0u);
        if (c.logged) {
            EXPECT_TRUE(lines[0].starts_with("Mock data seeding failed: SQLite ") && lines[0].ends_with(c.logged));
            EXPECT_FALSE(repository->fetchNetworkIdentity("net-home-wifi"));
            continue;
        }
        const auto samples = repository->fetchSamples({now - 400h, now});
        seeder.seedIfEmpty();  // a store with traffic stays as it is
        EXPECT_EQ(repository->fetchSamples({now - 400h, now}), samples);

        std::map<Date, std::string> networkOfHour;
        std::set<std::pair<Date, std::string>> hourAndApplication;
        std::set<std::string> networks;
        for (const auto& s : samples) {
            if (s.source != "mock") continue;
            const auto age = now - s.timestamp;
            const auto total = s.rxBytes + s.txBytes;
            EXPECT_TRUE(age >= 0h && age <= 336h && age % 1h == 0h) << age.count();
            EXPECT_TRUE(total >= 4000000 && total <= 120000000) << total;
            // Received is a fraction 0.55 to 0.9 of the total, truncated.
            EXPECT_TRUE(10 * s.txBytes >= total && 100 * s.txBytes <= 45 * total + 100);
            EXPECT_EQ(s.attributionConfidence, 0.55);
            EXPECT_EQ(demoNetworks.at(s.networkID), std::pair(s.networkName, s.networkType));
            EXPECT_EQ(demoApplications.at(s.appID), s.appName);
            EXPECT_EQ(networkOfHour.emplace(s.timestamp, s.networkID).first->second, s.networkID);
            EXPECT_TRUE(hourAndApplication.emplace(s.timestamp, s.appID).second);
            networks.insert(s.networkID);
        }
        EXPECT_EQ(samples.size() - hourAndApplication.size(), c.otherSamples);
        EXPECT_EQ(hourAndApplication.empty(), !c.seeded);
        if (!c.seeded) continue;
        // Over 337 hours every network is all but certain to appear; the insert writes their rows.
        EXPECT_EQ(networks.size(), 3u);
        for (const auto& [id, network] : demoNetworks)
            EXPECT_EQ(repository->fetchNetworkIdentity(id)->name, network.first);
        for (const auto& [id, name] : demoApplications) EXPECT_EQ(repository->fetchApplication(id)->name, name);
    }
}

}  // namespace
}  // namespace ostrel
