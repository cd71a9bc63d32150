// Times the data service on a heavy month: 30 heavy days (216,000 samples each, 5 applications
// on 2 networks, every 2 seconds), ending with "today". Each load is computed afresh (forced),
// with the core library and without it, beside the work it cannot avoid: stepping the range's
// raw rows for the raw path, the roll-up SUM for the roll-up path. Then start-up to a running
// sampler, with the roll-up rebuild skipped and after a time-zone change.
// Usage: ostrel_service_bench [folder]  (the month is built once, about two minutes, and kept)
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "Model/Iso8601.hpp"
#include "Model/LocalKeys.hpp"
#include "Model/TimeframeRange.hpp"
#include "Model/Uuid.hpp"
#include "Platform/FakeLoginItem.hpp"
#include "Platform/FakeNotificationCenter.hpp"
#include "Services/OstrelDataService.hpp"
#include "Services/SamplingPipeline.hpp"
#include "support/BenchScratch.hpp"

namespace {

using namespace ostrel;
using Clock = std::chrono::steady_clock;
using P = TimeframePreset;

constexpr int kApps = 5;
constexpr int kDays = 30;
constexpr int kSamplesPerDay = 86400 / 2 * kApps;
const date::local_days kToday{date::year{2026} / 3 / 31};

double msOf(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Median and best of five runs, in milliseconds.
std::string timed(const std::function<void()>& work) {
    std::vector<double> runs;
    for (int run = 0; run < 5; ++run) runs.push_back(msOf(work));
    std::sort(runs.begin(), runs.end());
    char text[64];
    std::snprintf(text, sizeof text, "%8.1f (best %6.1f)", runs[2], runs[0]);
    return text;
}

Date dayStart(date::local_days day) {
    return *Calendar::current().startOfDay(day);
}

std::vector<UsageSampleRecord> heavyDay(Date start) {
    const char* apps[kApps] = {"org.mozilla.firefox", "com.spotify.Client", "org.gnome.Evolution", "code",
                               "com.valvesoftware.Steam"};
    std::vector<UsageSampleRecord> samples;
    samples.reserve(kSamplesPerDay);
    for (int tick = 0; tick < 86400 / 2; ++tick) {
        const bool office = (tick * 2 / 3600) % 2 == 1;  // the laptop moves between two networks hourly
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

// Today as one batch, the 29 days before it copied from it in SQL, then the roll-ups rebuilt.
void buildHeavyMonth(const std::string& path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    auto repository = std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(path));
    const Date today = dayStart(kToday);
    std::printf("building the month: today, %.0f ms\n", msOf([&] { repository->insertSamples(heavyDay(today)); }));
    SQLiteDatabase database(path);
    for (int back = 1; back < kDays; ++back) {
        database.execute(
            "INSERT INTO usage_samples SELECT id || '-' || ?, strftime('%Y-%m-%dT%H:%M:%f', timestamp, ?) || 'Z', "
            "network_id, app_id, rx_bytes, tx_bytes, source, attribution_confidence FROM usage_samples "
            "WHERE timestamp >= ?;",
            {std::int64_t{back}, '-' + std::to_string(back) + " days", ostrelISO8601String(today)});
    }
    std::printf("building the month: roll-ups, %.0f ms\n", msOf([&] { repository->repairRollupsIfNeeded(); }));
    database.execute("PRAGMA wal_checkpoint(TRUNCATE);");
}

struct Bench {
    std::string folder;
    Date now = dayStart(kToday + date::days{1}) - std::chrono::milliseconds(1);
    std::shared_ptr<PumpableMainQueue> mainQueue = std::make_shared<PumpableMainQueue>();
    std::shared_ptr<CapturingLogSink> log = std::make_shared<CapturingLogSink>();

    std::shared_ptr<OstrelDataService> start(bool core) {
        OstrelDataService::Dependencies dependencies;
        dependencies.dataHome = folder;
        dependencies.mainQueue = mainQueue;
        dependencies.log = log;
        dependencies.notificationCenter = std::make_shared<FakeNotificationCenter>();
        dependencies.loginItem = std::make_shared<FakeLoginItem>();
        const std::string nowhere = folder + "/nowhere.so";
        dependencies.vellCore = [core, nowhere, this] {
            return core ? VellCoreBridge::shared()
                        : std::make_shared<const VellCoreBridge>(std::vector<std::string>{nowhere}, log);
        };
        dependencies.makeSampler = [](auto repository, auto queue, auto samplerLog) {
            return makeSamplingPipeline(repository, queue, samplerLog, OSTREL_BUILD_LIBEXEC_DIR);
        };
        dependencies.clock = [this] { return now; };
        return OstrelDataService::create(std::move(dependencies));
    }
};

void setZone(const char* zone) {
    ::setenv("TZ", zone, 1);
    ::tzset();
}

}  // namespace

int main(int argc, char** argv) {
    // Before any thread starts; the per-process tool keeps its state in it.
    const ostrel::bench::BenchScratch scratch("ostrel-service-bench-state");
    setZone("UTC");
    Bench bench;
    bench.folder = argc > 1 ? argv[1] : (std::filesystem::temp_directory_path() / "ostrel-service-bench").string();
    const std::string path = bench.folder + "/Ostrel/ostrel.sqlite";
    if (!std::filesystem::exists(path)) buildHeavyMonth(path);

    auto repository = std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(path));
    SQLiteDatabase bare(path);
    const auto calendar = Calendar::current();
    const DateRange today = resolvedRange(P::daily, std::nullopt, bench.now, calendar);
    std::int64_t stored = 0;
    bare.query("SELECT COUNT(*) FROM usage_samples;", {}, [&](const SQLiteRow& row) { stored = row.int64(0); });
    std::printf("heavy month: %lld samples, %zu today\n", static_cast<long long>(stored),
                repository->fetchSamples(today).size());

    const auto rawRows = [&](const DateRange& range) {
        return timed([&] {
            std::int64_t sum = 0;
            bare.query(
                "SELECT id, timestamp, network_id, app_id, rx_bytes, tx_bytes, source, attribution_confidence "
                "FROM usage_samples WHERE timestamp >= ? AND timestamp <= ?;",
                {ostrelISO8601String(range.start), ostrelISO8601String(range.end)}, [&](const SQLiteRow& row) {
                    for (int column : {0, 1, 2, 3, 6}) sum += static_cast<std::int64_t>(row.text(column).size());
                    sum += row.int64(4) + row.int64(5) + static_cast<std::int64_t>(row.real(7));
                });
        });
    };
    const auto rollupSum = [&](const DateRange& range) {
        return timed([&] {
            bare.query(
                "SELECT COALESCE(SUM(rx_bytes), 0), COALESCE(SUM(tx_bytes), 0) FROM daily_usage "
                "WHERE date >= ? AND date <= ?;",
                {dayKey(range.start, calendar), dayKey(range.end, calendar)}, [](const SQLiteRow&) {});
        });
    };

    // The work each path cannot avoid, for the range of its load.
    const std::string rawToday = rawRows(today);
    const std::string sumWeekly = rollupSum(resolvedRange(P::weekly, std::nullopt, bench.now, calendar));
    const std::string sumMonthly = rollupSum(resolvedRange(P::monthly, std::nullopt, bench.now, calendar));
    const auto query = [&](const char* sql) {
        return timed([&] {
            bare.query(sql, {ostrelISO8601String(today.start), ostrelISO8601String(today.end)},
                       [](const SQLiteRow&) {});
        });
    };
    std::printf("\ntoday's heavy day (median of 5, ms)\n");
    std::printf("  fetchSamples                   %s\n", timed([&] { repository->fetchSamples(today); }).c_str());
    std::printf("  raw rows stepped               %s\n", rawToday.c_str());
    std::printf("  fetchSummary                   %s\n", timed([&] { repository->fetchSummary(today); }).c_str());
    std::printf("  fetchTopApplications(1)        %s\n",
                timed([&] { repository->fetchTopApplications(today, 1); }).c_str());
    std::printf("  fetchTopNetworks(1)            %s\n",
                timed([&] { repository->fetchTopNetworks(today, 1); }).c_str());
    std::printf("  its rows, summed               %s\n",
                query("SELECT SUM(rx_bytes) FROM usage_samples WHERE timestamp >= ? AND timestamp <= ?;").c_str());
    std::printf("  its rows, grouped by app_id    %s\n",
                query("SELECT app_id, SUM(rx_bytes) FROM usage_samples WHERE timestamp >= ? AND timestamp <= ? "
                      "GROUP BY app_id;")
                    .c_str());

    struct Load {
        const char* name;
        std::function<void(OstrelDataService&)> run;
        const std::string* bare;
    };
    const std::vector<Load> loads{
        {"loadOverview daily", [](auto& s) { s.loadOverview(P::daily, std::nullopt, true); }, &rawToday},
        {"loadOverview weekly", [](auto& s) { s.loadOverview(P::weekly, std::nullopt, true); }, &sumWeekly},
        {"loadOverview monthly", [](auto& s) { s.loadOverview(P::monthly, std::nullopt, true); }, &sumMonthly},
        {"loadNetworks daily", [](auto& s) { s.loadNetworks(P::daily, std::nullopt, true); }, &rawToday},
        {"loadNetworks monthly", [](auto& s) { s.loadNetworks(P::monthly, std::nullopt, true); }, &sumMonthly},
        {"loadApplications daily", [](auto& s) { s.loadApplications(P::daily, std::nullopt, true); }, &rawToday},
        {"loadApplications monthly", [](auto& s) { s.loadApplications(P::monthly, std::nullopt, true); }, &sumMonthly},
        {"loadNetworkDetail daily", [](auto& s) { s.loadNetworkDetail("eth-home", P::daily, std::nullopt, true); },
         &rawToday},
        {"loadNetworkDetail monthly", [](auto& s) { s.loadNetworkDetail("eth-home", P::monthly, std::nullopt, true); },
         &sumMonthly},
        {"loadApplicationDetail daily", [](auto& s) { s.loadApplicationDetail("code", P::daily, std::nullopt, true); },
         &rawToday},
        {"loadApplicationDetail monthly",
         [](auto& s) { s.loadApplicationDetail("code", P::monthly, std::nullopt, true); }, &sumMonthly},
    };
    std::vector<std::string> columns[2];
    for (bool core : {true, false}) {
        auto service = bench.start(core);
        if (service->vellCoreAvailable() != core) std::printf("core library: not as asked\n");
        for (const auto& load : loads) columns[core].push_back(timed([&] { load.run(*service); }));
    }
    std::printf("\nloads, forced (median of 5, ms)  with core library       without               bare work\n");
    for (std::size_t i = 0; i < loads.size(); ++i) {
        std::printf("  %-30s %s %s %s\n", loads[i].name, columns[1][i].c_str(), columns[0][i].c_str(),
                    loads[i].bare->c_str());
    }

    std::printf("\nstart-up to a running sampler (ms)\n");
    const auto startUp = [&](const char* zone, const char* what) {
        setZone(zone);
        std::shared_ptr<OstrelDataService> service;
        std::printf("  %-44s %8.1f\n", what, msOf([&] { service = bench.start(true); }));
    };
    startUp("UTC", "same zone, rebuild skipped");
    startUp("UTC", "same zone, rebuild skipped (again)");
    // A network that was active without traffic has no sample: the purge's delete of orphans runs.
    bare.execute(
        "INSERT OR REPLACE INTO networks (id, name, type, last_seen_at) VALUES ('idle', 'Idle', 'other', '');");
    startUp("UTC", "same zone, rebuild skipped, an orphaned network");
    startUp("Asia/Kolkata", "zone changed to Asia/Kolkata: rebuild");
    startUp("Asia/Kolkata", "same zone again, rebuild skipped");
    startUp("UTC", "back to UTC: rebuild");
    for (const auto& line : bench.log->lines()) std::printf("log: %s\n", line.c_str());
    return 0;
}
