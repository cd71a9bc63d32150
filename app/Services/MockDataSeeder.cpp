#include "Services/MockDataSeeder.hpp"

#include <array>
#include <cmath>
#include <exception>
#include <random>
#include <utility>
#include <vector>

#include "Model/Records.hpp"
#include "Model/SaturatingAdd.hpp"
#include "Model/Uuid.hpp"

namespace ostrel {
namespace {

struct DemoNetwork {
    const char* id;
    const char* name;
    NetworkType type;
};
struct DemoApplication {
    const char* id;
    const char* name;
};

constexpr std::array<DemoNetwork, 3> demoNetworks{{
    {"net-home-wifi", "Home Wi-Fi", NetworkType::wifi},
    {"net-office-wifi", "Office Wi-Fi", NetworkType::wifi},
    {"net-iphone-hotspot", "iPhone Hotspot", NetworkType::hotspot},
}};
constexpr std::array<DemoApplication, 5> demoApplications{{
    {"com.apple.Safari", "Safari"},
    {"com.tinyspeck.slackmacgap", "Slack"},
    {"com.spotify.client", "Spotify"},
    {"com.google.Chrome", "Google Chrome"},
    {"com.ostrel.unknown", "Unattributed"},
}};

constexpr std::int64_t minimumTotal = 4000000;
constexpr std::int64_t maximumTotal = 120000000;
constexpr double minimumReceivedFraction = 0.55;
constexpr double maximumReceivedFraction = 0.9;
constexpr int skipBelow = 30;
constexpr double confidence = 0.55;
// 1 January 2000 00:00:00 UTC.
constexpr Date emptinessStart{std::chrono::seconds(946684800)};

std::vector<UsageSampleRecord> demonstrationRecords(Date now) {
    std::random_device source;
    std::seed_seq seed{source(), source(), source(), source()};
    std::mt19937_64 random(seed);
    std::uniform_int_distribution<std::size_t> pickNetwork(0, demoNetworks.size() - 1);
    std::uniform_int_distribution<std::int64_t> drawTotal(minimumTotal, maximumTotal);
    // Both ends included.
    std::uniform_real_distribution<double> drawFraction(minimumReceivedFraction,
                                                        std::nextafter(maximumReceivedFraction, 1.0));
    std::uniform_int_distribution<int> drawSkip(0, 100);

    std::vector<UsageSampleRecord> records;
    for (int hour = MockDataSeeder::lookBackHours; hour >= 0; --hour) {
        const Date instant = now - std::chrono::hours(hour);
        const auto& network = demoNetworks[pickNetwork(random)];
        for (const auto& application : demoApplications) {
            const std::int64_t total = drawTotal(random);
            const double fraction = drawFraction(random);
            const auto received = static_cast<std::int64_t>(fraction * static_cast<double>(total));
            if (drawSkip(random) < skipBelow) continue;
            records.push_back(UsageSampleRecord{makeUuidString(), instant, network.id, network.name, network.type,
                                                application.id, application.name, received, total - received, "mock",
                                                confidence});
        }
    }
    return records;
}

}  // namespace

MockDataSeeder::MockDataSeeder(std::shared_ptr<OstrelRepository> repositoryIn, std::shared_ptr<LogSink> log,
                               std::function<Date()> clock)
    : repository(std::move(repositoryIn)), log_(std::move(log)), clock_(std::move(clock)) {}

void MockDataSeeder::seedIfEmpty() {
    try {
        const auto existing = repository->fetchSummary(DateRange{emptinessStart, clock_()});
        if (saturatingAdd(existing.rxBytes, existing.txBytes) >= 1) return;
        repository->insertSamples(demonstrationRecords(clock_()));
    } catch (const std::exception& error) {
        log_->log(std::string("Mock data seeding failed: ") + error.what());
    }
}

}  // namespace ostrel
