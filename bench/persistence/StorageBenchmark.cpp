// Times the storage layer on a heavy day of traffic: 216,000 samples (5 applications on 2
// networks, every 2 seconds), stored in flush-sized batches and as one batch, read back,
// and the roll-ups rebuilt over 30 such days. Usage: ostrel_storage_bench [folder] [days]
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Model/Calendar.hpp"
#include "Model/Iso8601.hpp"
#include "Model/Uuid.hpp"
#include "Persistence/OstrelRepository.hpp"

namespace {

using namespace ostrel;
using Clock = std::chrono::steady_clock;

constexpr int kApps = 5;
constexpr int kTickSeconds = 2;
constexpr int kSamplesPerDay = 86400 / kTickSeconds * kApps;  // 216,000
constexpr std::size_t kFlushBatch = 240;

double secondsOf(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::vector<UsageSampleRecord> heavyDay(Date dayStart) {
    std::vector<UsageSampleRecord> samples;
    samples.reserve(kSamplesPerDay);
    const char* apps[kApps] = {"org.mozilla.firefox", "com.spotify.Client", "org.gnome.Evolution", "code",
                               "com.valvesoftware.Steam"};
    for (int tick = 0; tick < 86400 / kTickSeconds; ++tick) {
        const int second = tick * kTickSeconds;
        // The laptop moves between two networks every hour.
        const bool office = (second / 3600) % 2 == 1;
        for (int app = 0; app < kApps; ++app) {
            UsageSampleRecord sample;
            sample.id = makeUuidString();
            sample.timestamp = dayStart + std::chrono::seconds(second) + std::chrono::milliseconds(app * 7);
            sample.networkID = office ? "wifi-office" : "eth-home";
            sample.networkName = office ? "Office" : "Home";
            sample.networkType = office ? NetworkType::wifi : NetworkType::ethernet;
            sample.appID = apps[app];
            sample.appName = apps[app];
            sample.rxBytes = 1000 + (tick * 37 + app * 101) % 50000;
            sample.txBytes = 200 + (tick * 13 + app * 17) % 9000;
            sample.source = "nettop";
            sample.attributionConfidence = 0.8;
            samples.push_back(std::move(sample));
        }
    }
    return samples;
}

std::uintmax_t storedBytes(const std::string& path) {
    std::uintmax_t total = 0;
    for (const char* suffix : {"", "-wal", "-shm"}) {
        std::error_code error;
        const auto size = std::filesystem::file_size(path + suffix, error);
        if (!error) total += size;
    }
    return total;
}

void checkpoint(const std::string& path) {
    SQLiteDatabase database(path);
    database.execute("PRAGMA wal_checkpoint(TRUNCATE);");
}

std::shared_ptr<OstrelRepository> openFresh(const std::string& path) {
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
    return std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(path));
}

}  // namespace

int main(int argc, char** argv) {
    const std::string folder =
        argc > 1 ? argv[1] : (std::filesystem::temp_directory_path() / "ostrel-storage-bench").string();
    const int days = argc > 2 ? std::atoi(argv[2]) : 30;
    std::filesystem::create_directories(folder);

    const auto calendar = Calendar::current();
    const Date dayStart = *calendar.startOfDay(date::local_days{date::year{2026} / 3 / 2});
    const DateRange day{dayStart, dayStart + std::chrono::hours(24) - std::chrono::milliseconds(1)};
    const auto samples = heavyDay(dayStart);
    std::printf("heavy day: %zu samples, %d applications, 2 networks\n", samples.size(), kApps);

    // One batch at a time, as the sampler flushes.
    const std::string batchedPath = folder + "/batched.sqlite";
    auto repository = openFresh(batchedPath);
    const double batched = secondsOf([&] {
        for (std::size_t at = 0; at < samples.size(); at += kFlushBatch) {
            const auto end = samples.begin() + static_cast<std::ptrdiff_t>(std::min(at + kFlushBatch, samples.size()));
            repository->insertSamples(
                std::vector<UsageSampleRecord>(samples.begin() + static_cast<std::ptrdiff_t>(at), end));
        }
    });
    std::printf("insertSamples, batches of %zu: %.0f ms, %.0f samples/s\n", kFlushBatch, batched * 1e3,
                samples.size() / batched);

    {
        const std::string singlePath = folder + "/single.sqlite";
        auto single = openFresh(singlePath);
        const double once = secondsOf([&] { single->insertSamples(samples); });
        std::printf("insertSamples, one batch: %.0f ms, %.0f samples/s\n", once * 1e3, samples.size() / once);
        single.reset();
        checkpoint(singlePath);
        std::printf("database size, one day: %ju bytes, %.1f bytes per sample\n", storedBytes(singlePath),
                    static_cast<double>(storedBytes(singlePath)) / samples.size());
    }

    std::size_t fetched = 0;
    const double fetchTime = secondsOf([&] { fetched = repository->fetchSamples(day).size(); });
    std::printf("fetchSamples of the day: %.0f ms for %zu samples\n", fetchTime * 1e3, fetched);
    UsageSummary summary;
    const double summaryTime = secondsOf([&] { summary = repository->fetchSummary(day); });
    std::printf("fetchSummary of the day: %.1f ms (rx %lld, tx %lld)\n", summaryTime * 1e3,
                static_cast<long long>(summary.rxBytes), static_cast<long long>(summary.txBytes));

    // The other days are copies of the first, shifted by whole days, written straight in SQL.
    repository.reset();
    {
        SQLiteDatabase database(batchedPath);
        for (int extra = 1; extra < days; ++extra) {
            char shift[32];
            std::snprintf(shift, sizeof shift, "+%d days", extra);
            database.execute(
                "INSERT INTO usage_samples SELECT id || '-' || ?, "
                "strftime('%Y-%m-%dT%H:%M:%f', timestamp, ?) || 'Z', network_id, app_id, rx_bytes, tx_bytes, "
                "source, attribution_confidence FROM usage_samples WHERE timestamp <= ?;",
                {std::int64_t{extra}, std::string(shift), ostrelISO8601String(day.end)});
        }
        database.execute("PRAGMA wal_checkpoint(TRUNCATE);");
    }
    repository = std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(batchedPath));
    const double repair = secondsOf([&] { repository->repairRollupsIfNeeded(); });
    const double stored = static_cast<double>(days) * kSamplesPerDay;
    std::printf("repairRollupsIfNeeded, rebuild over %d days (%.0f samples): %.0f ms, %.0f samples/s\n", days, stored,
                repair * 1e3, stored / repair);
    repository.reset();
    checkpoint(batchedPath);
    std::printf("database size, %d days: %ju bytes, %.1f bytes per sample\n", days, storedBytes(batchedPath),
                static_cast<double>(storedBytes(batchedPath)) / stored);
    return 0;
}
