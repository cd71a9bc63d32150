#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "Persistence/SQLiteDatabase.hpp"
#include "Platform/LogSink.hpp"
#include "Platform/support/TempTree.hpp"
#include "Services/MockDataSeeder.hpp"

using namespace std::chrono_literals;

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

// 2026-03-01T14:05:09.123Z
const Date now = Date{std::chrono::sys_days{std::chrono::year{2026} / 3 / 1}} + 14h + 5min + 9s + 123ms;

UsageSampleRecord traffic(std::int64_t rx, std::int64_t tx) {
    return UsageSampleRecord{"A1B2C3D4-0000-4000-8000-000000000001",
                             now - 1h,
                             "net-x",
                             "X",
                             NetworkType::ethernet,
                             "app.x",
                             "X",
                             rx,
                             tx,
                             "nettop",
                             1.0};
}

// Every mock record against the demonstration tables; the records of one hour share a network.
void expectDemonstrationData(OstrelRepository& repository) {
    std::vector<UsageSampleRecord> mock;
    for (auto& sample : repository.fetchSamples({now - 400h, now + 1h})) {
        if (sample.source == "mock") mock.push_back(std::move(sample));
    }
    ASSERT_FALSE(mock.empty());
    EXPECT_LE(mock.size(), 337u * 5);
    std::map<Date, std::string> networkOfHour;
    std::set<std::pair<Date, std::string>> hourAndApp;
    std::set<std::string> networks, applications;
    for (const auto& sample : mock) {
        const auto age = now - sample.timestamp;
        EXPECT_TRUE(age >= 0h && age <= 336h && age % 1h == 0h) << age.count();
        EXPECT_EQ(sample.attributionConfidence, 0.55);
        const auto total = sample.rxBytes + sample.txBytes;
        EXPECT_TRUE(total >= 4000000 && total <= 120000000) << total;
        // Received is a fraction of 0.55 to 0.9 of the total, truncated.
        EXPECT_TRUE(10 * sample.txBytes >= total && 100 * sample.txBytes <= 45 * total + 100) << sample.txBytes;
        EXPECT_EQ(demoNetworks.at(sample.networkID), std::pair(sample.networkName, sample.networkType));
        EXPECT_EQ(demoApplications.at(sample.appID), sample.appName);
        EXPECT_EQ(networkOfHour.emplace(sample.timestamp, sample.networkID).first->second, sample.networkID);
        EXPECT_TRUE(hourAndApp.emplace(sample.timestamp, sample.appID).second);
        networks.insert(sample.networkID);
        applications.insert(sample.appID);
    }
    // Over 337 hours every network and application is all but certain to appear.
    EXPECT_EQ(networks.size(), 3u);
    EXPECT_EQ(applications.size(), 5u);
    for (const auto& [id, network] : demoNetworks) EXPECT_EQ(repository.fetchNetworkIdentity(id)->name, network.first);
    for (const auto& [id, name] : demoApplications) EXPECT_EQ(repository.fetchApplication(id)->name, name);
}

TEST(MockDataSeederTest, OnlyAStoreWithoutTrafficIsSeededAndAFailureKeepsNothing) {
    struct Case {
        const char* name;
        std::function<void(OstrelRepository&, SQLiteDatabase&)> prepare;
        bool seeded;
        std::size_t keptSamples;
        const char* logged;  // the end of the one line logged
    };
    const Case cases[] = {
        {"empty", [](auto&, auto&) {}, true, 0, nullptr},
        {"only zero-byte samples", [](auto& r, auto&) { r.insertSamples({traffic(0, 0)}); }, true, 1, nullptr},
        {"one byte", [](auto& r, auto&) { r.insertSamples({traffic(0, 1)}); }, false, 1, nullptr},
        {"a write that fails",
         [](auto&, auto& db) {
             db.execute(
                 "CREATE TRIGGER refuse BEFORE INSERT ON usage_samples WHEN NEW.source = 'mock' "
                 "BEGIN SELECT RAISE(ABORT, 'refused'); END;");
         },
         false, 0, "refused"},
        {"a total that cannot be read", [](auto&, auto& db) { db.execute("DROP TABLE usage_samples;"); }, false, 0,
         "no such table: usage_samples"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TempTree tree;
        const auto path = tree.root + "/ostrel.sqlite";
        auto repository = std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(path));
        SQLiteDatabase other(path);
        c.prepare(*repository, other);
        auto log = std::make_shared<CapturingLogSink>();
        MockDataSeeder seeder(repository, log, [] { return now; });
        seeder.seedIfEmpty();

        const auto lines = log->lines();
        EXPECT_EQ(lines.size(), c.logged ? 1u : 0u);
        for (const auto& line : lines) {
            EXPECT_TRUE(line.starts_with("Mock data seeding failed: SQLite ") && line.ends_with(c.logged)) << line;
        }
        if (!c.seeded) {
            if (c.logged) {
                EXPECT_FALSE(repository->fetchNetworkIdentity("net-home-wifi").has_value());
            } else {
                EXPECT_EQ(repository->fetchSamples({now - 400h, now}).size(), c.keptSamples);
            }
            continue;
        }
        expectDemonstrationData(*repository);
        const auto samples = repository->fetchSamples({now - 400h, now});
        seeder.seedIfEmpty();  // a store with traffic is left as it is
        EXPECT_EQ(repository->fetchSamples({now - 400h, now}), samples);
        EXPECT_EQ(std::count_if(samples.begin(), samples.end(), [](auto& s) { return s.source != "mock"; }),
                  static_cast<long>(c.keptSamples));
    }
}

}  // namespace
}  // namespace ostrel
