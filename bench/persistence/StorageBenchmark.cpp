// Times the storage layer on a heavy day of traffic: 216,000 samples (5 applications on 2
// networks, every 2 seconds), stored in flush-sized batches and as one batch, and read back; then
// the roll-ups rebuilt over the heavy month (6.48 million samples) after a change of time zone,
// beside the rebuild statements alone on the same store. With --year also over a year of 24.6
// million samples (generated once, several minutes, and kept in the build folder).
// Every file it writes is in a temporary folder that it removes, also when interrupted.
// Usage: ostrel_storage_bench [--year]
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Model/Calendar.hpp"
#include "Persistence/OstrelRepository.hpp"
#include "support/BenchStore.hpp"

namespace {

using namespace ostrel;
using namespace ostrel::bench;

constexpr std::size_t kFlushBatch = 240;

std::uintmax_t storedBytes(const std::string& path) {
    std::uintmax_t total = 0;
    for (const char* suffix : {"", "-wal", "-shm"}) {
        std::error_code error;
        const auto size = std::filesystem::file_size(path + suffix, error);
        if (!error) total += size;
    }
    return total;
}

std::shared_ptr<OstrelRepository> open(const std::string& path) {
    return std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(path));
}

void setZone(const char* zone) {
    ::setenv("TZ", zone, 1);
    ::tzset();
}

// The two rebuild statements on their own, in a transaction that is rolled back.
double statementsAlone(const std::string& path) {
    SQLiteDatabase database(path);
    database.execute("BEGIN IMMEDIATE TRANSACTION;");
    const double ms = millisecondsOf([&] {
        database.execute("DELETE FROM daily_usage;");
        database.execute("DELETE FROM hourly_usage;");
        database.execute(
            "INSERT INTO daily_usage (date, network_id, app_id, rx_bytes, tx_bytes)\n"
            "SELECT strftime('%Y-%m-%d', timestamp, 'localtime') AS day_key,\n"
            "       network_id,\n       app_id,\n       COALESCE(SUM(rx_bytes), 0),\n"
            "       COALESCE(SUM(tx_bytes), 0)\nFROM usage_samples\nGROUP BY day_key, network_id, app_id;");
        database.execute(
            "INSERT INTO hourly_usage (date_hour, network_id, app_id, rx_bytes, tx_bytes)\n"
            "SELECT strftime('%Y-%m-%dT%H:00:00', timestamp, 'localtime') AS hour_key,\n"
            "       network_id,\n       app_id,\n       COALESCE(SUM(rx_bytes), 0),\n"
            "       COALESCE(SUM(tx_bytes), 0)\nFROM usage_samples\nGROUP BY hour_key, network_id, app_id;");
    });
    database.execute("ROLLBACK;");
    return ms;
}

// A start in another zone than the roll-ups' rebuilds them; the statements alone for comparison.
void rebuilds(const char* what, const std::string& path) {
    const auto samples = [&] {
        std::int64_t count = 0;
        SQLiteDatabase(path).query("SELECT MAX(rowid) FROM usage_samples;", {},
                                   [&](const SQLiteRow& row) { count = row.int64(0); });
        return static_cast<double>(count);
    }();
    for (const char* zone : {"Asia/Kolkata", "UTC"}) {
        setZone(zone);
        auto repository = open(path);
        bool rebuilt = false;
        const double ms = millisecondsOf([&] {
            rebuilt = repository->purgeMockData();
            repository->repairRollupsIfNeeded();
        });
        std::printf("%s, start in %s: purge and repair %s: %.0f ms, %.0f samples/s\n", what, zone,
                    rebuilt ? "rebuilt the roll-ups" : "DID NOT REBUILD", ms, samples / ms * 1e3);
    }
    std::printf("%s, the two rebuild statements alone: %.0f ms\n", what, statementsAlone(path));
}

int run(bool year) {
    ExitCleanup cleanup;
    const std::string month = cachedHeavyStore(cleanup, HeavyStoreShape::month());
    const std::string yearStore = year ? cachedHeavyStore(cleanup, HeavyStoreShape::year()) : std::string();
    ScratchFolder scratch(cleanup, "ostrel-storage-bench");

    const auto shape = HeavyStoreShape::month();
    const Date dayStart = *Calendar::current().startOfDay(date::local_days{date::year{2026} / 3 / 2});
    const DateRange day{dayStart, dayStart + std::chrono::hours(24) - std::chrono::milliseconds(1)};
    const auto samples = heavyDay(shape, dayStart);
    std::printf("heavy day: %zu samples, 5 applications, 2 networks\n", samples.size());

    // One batch at a time, as the sampler flushes.
    auto repository = open(scratch.path() + "/batched.sqlite");
    const double batched = millisecondsOf([&] {
        for (std::size_t at = 0; at < samples.size(); at += kFlushBatch) {
            const auto from = samples.begin() + static_cast<std::ptrdiff_t>(at);
            repository->insertSamples(
                {from, from + static_cast<std::ptrdiff_t>(std::min(kFlushBatch, samples.size() - at))});
        }
    });
    std::printf("insertSamples, batches of %zu: %.0f ms, %.0f samples/s\n", kFlushBatch, batched,
                samples.size() / batched * 1e3);
    {
        const std::string single = scratch.path() + "/single.sqlite";
        auto once = open(single);
        const double ms = millisecondsOf([&] { once->insertSamples(samples); });
        std::printf("insertSamples, one batch: %.0f ms, %.0f samples/s\n", ms, samples.size() / ms * 1e3);
        once.reset();
        SQLiteDatabase(single).execute("PRAGMA wal_checkpoint(TRUNCATE);");
        std::printf("database size, one day: %ju bytes, %.1f bytes per sample\n", storedBytes(single),
                    static_cast<double>(storedBytes(single)) / samples.size());
    }
    std::size_t fetched = 0;
    const std::string fetching = timed(5, [&] { fetched = repository->fetchSamples(day).size(); });
    std::printf("fetchSamples of the day: %s ms for %zu samples\n", fetching.c_str(), fetched);
    std::printf("fetchSummary of the day: %s ms\n", timed(5, [&] { repository->fetchSummary(day); }).c_str());
    repository.reset();

    std::printf("\nheavy month: %d days, %.1f million samples, %ju bytes\n", shape.days,
                shape.days * shape.samplesPerDay() / 1e6, storedBytes(month));
    rebuilds("month", copyHeavyStore(month, scratch.path() + "/month"));
    if (year) {
        const auto yearShape = HeavyStoreShape::year();
        std::printf("\nyear: %d days, %.1f million samples, %ju bytes (rebuilt in place)\n", yearShape.days,
                    yearShape.days * yearShape.samplesPerDay() / 1e6, storedBytes(yearStore));
        rebuilds("year", yearStore);
        SQLiteDatabase(yearStore).execute("PRAGMA wal_checkpoint(TRUNCATE);");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    return ostrel::bench::reportingFailures([&] { return run(argc > 1 && std::strcmp(argv[1], "--year") == 0); });
}
