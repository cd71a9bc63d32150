#include "HeavyMonth.hpp"

#include <filesystem>
#include <memory>
#include <vector>

#include "Model/Calendar.hpp"
#include "Model/Iso8601.hpp"
#include "Model/Uuid.hpp"
#include "Persistence/OstrelRepository.hpp"

namespace ostrel::bench {
namespace {

constexpr int kApps = 5;
constexpr int kDays = 30;

std::vector<UsageSampleRecord> heavyDay(Date start) {
    const char* apps[kApps] = {"org.mozilla.firefox", "com.spotify.Client", "org.gnome.Evolution", "code",
                               "com.valvesoftware.Steam"};
    std::vector<UsageSampleRecord> samples;
    samples.reserve(86400 / 2 * kApps);
    for (int tick = 0; tick < 86400 / 2; ++tick) {
        const bool office = (tick * 2 / 3600) % 2 == 1;
        for (int app = 0; app < kApps; ++app) {
            samples.push_back(
                {makeUuidString(), start + std::chrono::seconds(tick * 2) + std::chrono::milliseconds(app),
                 office ? "wifi-office" : "eth-home", office ? "Office" : "Home",
                 office ? NetworkType::wifi : NetworkType::ethernet, apps[app], apps[app],
                 1000 + (tick * 37 + app * 101) % 50000, 200 + (tick * 13 + app * 17) % 9000, "nettop", 0.8});
        }
    }
    return samples;
}

}  // namespace

// Today as one batch, the 29 days before it copied from it in SQL, then the roll-ups rebuilt.
void buildHeavyMonth(const std::string& path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    auto repository = std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(path));
    const auto calendar = Calendar::current();
    const Date today = *calendar.startOfDay(calendar.localDay(currentDate()));
    repository->insertSamples(heavyDay(today));
    SQLiteDatabase database(path);
    for (int back = 1; back < kDays; ++back) {
        database.execute(
            "INSERT INTO usage_samples SELECT id || '-' || ?, strftime('%Y-%m-%dT%H:%M:%f', timestamp, ?) || 'Z', "
            "network_id, app_id, rx_bytes, tx_bytes, source, attribution_confidence FROM usage_samples "
            "WHERE timestamp >= ?;",
            {std::int64_t{back}, '-' + std::to_string(back) + " days", ostrelISO8601String(today)});
    }
    repository->repairRollupsIfNeeded();
    database.execute("PRAGMA wal_checkpoint(TRUNCATE);");
}

}  // namespace ostrel::bench
