// Times the data service on the heavy month (30 days of 216,000 samples each: 5 applications on 2
// networks, every 2 seconds, ending "today" at 23:59:59.999). Each load is computed afresh
// (forced), with the core library and without it, beside the work it cannot avoid: stepping the
// range's raw rows for the raw path, the roll-up SUM for the roll-up path. Then start-up to a
// running sampler, to today's figures and to the end of the roll-ups' repair, with the rebuild
// skipped and after a time-zone change; and today's figures for the menu bar as usual, after the
// clock was set back and after a change of zone during the day, while its rebuild runs and after.
// Works on a copy of the month cached in the build folder, in a temporary folder it removes.
// With --year only the start-ups, on the year of 24.6 million samples: in place through a link
// rather than on a copy of 6.7 GB, as the last start, back in UTC, rebuilds what the first changed.
// Usage: ostrel_service_bench [--year]
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "Model/Iso8601.hpp"
#include "Model/LocalKeys.hpp"
#include "Model/TimeframeRange.hpp"
#include "Platform/FakeLoginItem.hpp"
#include "Platform/FakeNotificationCenter.hpp"
#include "Services/OstrelDataService.hpp"
#include "Services/SamplingPipeline.hpp"
#include "support/BenchStore.hpp"

namespace {

using namespace ostrel;
using namespace ostrel::bench;
using namespace std::chrono_literals;
using P = TimeframePreset;

void setZone(const char* zone) {
    ::setenv("TZ", zone, 1);
    ::tzset();
}

Date dayStart(date::local_days day) {
    return *Calendar::current().startOfDay(day);
}

struct Bench {
    explicit Bench(const HeavyStoreShape& shape) : now(dayStart(shape.lastDay + date::days{1}) - 1ms) {}

    std::string dataHome;
    // The last millisecond of the store's last day.
    Date now;
    std::shared_ptr<PumpableMainQueue> mainQueue = std::make_shared<PumpableMainQueue>();
    std::shared_ptr<CapturingLogSink> log = std::make_shared<CapturingLogSink>();

    // The data service over the copy; its sampler is stopped at once, so that only the month is read.
    std::shared_ptr<OstrelDataService> start(bool core) {
        OstrelDataService::Dependencies dependencies;
        dependencies.dataHome = dataHome;
        dependencies.mainQueue = mainQueue;
        dependencies.log = log;
        dependencies.notificationCenter = std::make_shared<FakeNotificationCenter>();
        dependencies.loginItem = std::make_shared<FakeLoginItem>();
        const std::string nowhere = dataHome + "/nowhere.so";
        dependencies.vellCore = [core, nowhere, this] {
            return core ? VellCoreBridge::shared()
                        : std::make_shared<const VellCoreBridge>(std::vector<std::string>{nowhere}, log);
        };
        std::shared_ptr<SamplingCoordinator> sampler;
        dependencies.makeSampler = [&sampler](auto repository, auto queue, auto samplerLog) {
            return sampler = makeSamplingPipeline(repository, queue, samplerLog, OSTREL_BUILD_LIBEXEC_DIR);
        };
        dependencies.clock = [this] { return now; };
        auto service = OstrelDataService::create(std::move(dependencies));
        sampler->stop();
        return service;
    }
};

void printStartUpHeading() {
    std::printf(
        "\nstart-up (ms)                                    running sampler, today's figures, roll-ups repaired\n");
}

// Start-up in `zone` until the sampler runs, until the menu bar's today is read and until the
// roll-ups' repair (a rebuild after a change of zone) has ended.
void startUp(Bench& bench, const char* zone, const char* what) {
    setZone(zone);
    std::shared_ptr<OstrelDataService> service;
    const double started = millisecondsOf([&] { service = bench.start(true); });
    const double figures = millisecondsOf([&] { service->loadMenuBarSnapshot(); });
    const double repaired = millisecondsOf([&] { service->repository().fetchSummaryFromDailyRollup({}); });
    std::printf("  %-48s %8.1f %8.1f %8.1f\n", what, started, started + figures, started + figures + repaired);
    std::fflush(stdout);
}

int run() {
    ExitCleanup cleanup;
    const std::string cached = cachedHeavyStore(cleanup, HeavyStoreShape::month());
    ScratchFolder scratch(cleanup, "ostrel-service-bench");
    scratch.holdToolState();
    setZone("UTC");
    Bench bench(HeavyStoreShape::month());
    bench.dataHome = scratch.path();
    const std::string path = copyHeavyStore(cached, bench.dataHome);

    auto repository = std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(path));
    SQLiteDatabase bare(path);
    const auto calendar = Calendar::current();
    const DateRange today = resolvedRange(P::daily, std::nullopt, bench.now, calendar);
    std::int64_t stored = 0;
    bare.query("SELECT COUNT(*) FROM usage_samples;", {}, [&](const SQLiteRow& row) { stored = row.int64(0); });
    std::printf("heavy month: %lld samples, %zu today\n", static_cast<long long>(stored),
                repository->fetchSamples(today).size());

    const auto rawRows = [&](const DateRange& range) {
        return timed(5, [&] {
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
        return timed(5, [&] {
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
    std::printf("\ntoday's heavy day (median of 5, ms)\n");
    std::printf("  raw rows stepped (the bare read)  %s\n", rawToday.c_str());
    std::printf("  fetchSamples                      %s\n", timed(5, [&] { repository->fetchSamples(today); }).c_str());
    std::printf("  fetchSummary                      %s\n", timed(5, [&] { repository->fetchSummary(today); }).c_str());
    std::printf("  fetchTopApplications(1)           %s\n",
                timed(5, [&] { repository->fetchTopApplications(today, 1); }).c_str());
    std::printf("  fetchTopNetworks(1)               %s\n",
                timed(5, [&] { repository->fetchTopNetworks(today, 1); }).c_str());
    repository.reset();

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
        service->repository().fetchSummaryFromDailyRollup({});  // a rebuild the start began
        if (service->vellCoreAvailable() != core) std::printf("core library: not as asked\n");
        for (const auto& load : loads) columns[core ? 0 : 1].push_back(timed(5, [&] { load.run(*service); }));
    }
    std::printf("\nloads, forced (median of 5, ms)  with core library       without               bare work\n");
    for (std::size_t i = 0; i < loads.size(); ++i) {
        std::printf("  %-30s %s %s %s\n", loads[i].name, columns[0][i].c_str(), columns[1][i].c_str(),
                    loads[i].bare->c_str());
    }
    // The current hour is read from the samples until it has passed: worst a second before its end.
    {
        const Date lastHourNow = bench.now;
        bench.now -= 1s;
        auto service = bench.start(true);
        service->repository().fetchSummaryFromDailyRollup({});
        std::printf("\ndaily loads with 59:59 of the current hour read from the samples (median of 5, ms)\n");
        for (const auto& load : loads) {
            if (std::string(load.name).ends_with("daily")) {
                std::printf("  %-30s %s\n", load.name, timed(5, [&] { load.run(*service); }).c_str());
            }
        }
        bench.now = lastHourNow;
    }

    printStartUpHeading();
    startUp(bench, "UTC", "same zone, rebuild skipped");
    startUp(bench, "UTC", "same zone, rebuild skipped (again)");
    startUp(bench, "Etc/UTC", "TZ=Etc/UTC: the same rules");
    // A network that was active without traffic has no sample: the purge's delete of orphans runs.
    bare.execute(
        "INSERT OR REPLACE INTO networks (id, name, type, last_seen_at) VALUES ('idle', 'Idle', 'other', '');");
    startUp(bench, "UTC", "same zone, rebuild skipped, an orphaned network");
    startUp(bench, "Asia/Kolkata", "zone changed to Asia/Kolkata: rebuild");
    startUp(bench, "Asia/Kolkata", "same zone again, rebuild skipped");
    startUp(bench, "UTC", "back to UTC: rebuild");
    bare.execute("DELETE FROM usage_samples WHERE rowid = (SELECT MAX(rowid) FROM usage_samples);");
    startUp(bench, "UTC", "a sample deleted by another program: rebuild");
    // The menu bar's today at each batch, and today's leaders of a weekly overview: as usual, then
    // with a sample stamped after now (the clock was set back), then after a batch written in
    // another zone today, while running.
    std::printf("\ntoday's figures (median of 5, ms)         menu bar      weekly overview (today's leaders)\n");
    setZone("UTC");
    const Date usualNow = bench.now;
    auto service = bench.start(true);
    service->repository().fetchSummaryFromDailyRollup({});
    const auto todays = [&](const char* what) {
        std::vector<double> runs;
        for (int run = 0; run < 5; ++run) {
            service->updateSettings([](OstrelSettings&) {});  // empties the caches
            runs.push_back(millisecondsOf([&] { service->loadMenuBarSnapshot(); }));
        }
        std::sort(runs.begin(), runs.end());
        const std::string overview = timed(5, [&] { service->loadOverview(P::weekly, std::nullopt, true); });
        std::printf("  %-36s %8.1f (best %6.1f) %s\n", what, runs[2], runs[0], overview.c_str());
    };
    todays("as usual");
    service->repository().insertSamples(
        {{"late", usualNow - 1h, "eth-home", "Home", NetworkType::ethernet, "code", "code", 100, 0, "nettop", 0.8}});
    bench.now = usualNow - 2h;
    todays("a sample an hour after now");
    bench.now = usualNow;
    // The zone changes while running (New York: 19 hours of today's samples). The first refresh
    // notices it and reads the samples while the roll-ups are rebuilt in steps; then whole hours come
    // from them again.
    setZone("America/New_York");
    service->updateSettings([](OstrelSettings&) {});
    std::printf("  %-36s %8.1f\n", "zone changed: first refresh, rebuilding",
                millisecondsOf([&] { service->loadMenuBarSnapshot(); }));
    service->updateSettings([](OstrelSettings&) {});
    std::printf("  %-36s %8.1f\n", "zone changed: next refresh, rebuilding",
                millisecondsOf([&] { service->loadMenuBarSnapshot(); }));
    std::printf("  %-36s %8.1f\n", "zone changed: until the rebuild ends",
                millisecondsOf([&] { service->repository().fetchSummaryFromDailyRollup({}); }));
    todays("zone changed: after the rebuild");
    std::printf("\ndaily loads after the change of zone and its rebuild (median of 5, ms)\n");
    for (const auto& load : loads) {
        if (std::string(load.name).ends_with("daily")) {
            std::printf("  %-30s %s %s\n", load.name, timed(5, [&] { load.run(*service); }).c_str(), rawToday.c_str());
        }
    }
    for (const auto& line : bench.log->lines()) std::printf("log: %s\n", line.c_str());
    return 0;
}

// The start-ups on the year, whose roll-ups are left keyed in UTC as the storage benchmark expects
// them (a run stopped between the two rebuilds leaves them in Kolkata's days until the next one);
// the planner statistics the service writes are taken out again when the store had none.
int runYear() {
    ExitCleanup cleanup;
    const auto shape = HeavyStoreShape::year();
    const std::string cached = cachedHeavyStore(cleanup, shape);
    ScratchFolder scratch(cleanup, "ostrel-service-bench");
    scratch.holdToolState();
    Bench bench(shape);
    bench.dataHome = scratch.path();
    linkHeavyStore(cached, bench.dataHome);
    bool hadStatistics = false;
    std::int64_t stored = 0;
    {
        SQLiteDatabase bare(cached);
        bare.query("SELECT COUNT(*) FROM sqlite_master WHERE name = 'sqlite_stat1';", {},
                   [&](const SQLiteRow& row) { hadStatistics = row.int64(0) > 0; });
        bare.query("SELECT MAX(rowid) FROM usage_samples;", {}, [&](const SQLiteRow& row) { stored = row.int64(0); });
    }
    std::printf("heavy year: %lld samples, %lld a day (in place)\n", static_cast<long long>(stored),
                static_cast<long long>(shape.samplesPerDay()));
    printStartUpHeading();
    startUp(bench, "UTC", "same zone, rebuild skipped");
    startUp(bench, "Asia/Kolkata", "zone changed to Asia/Kolkata: rebuild");
    startUp(bench, "Asia/Kolkata", "same zone again, rebuild skipped");
    startUp(bench, "UTC", "back to UTC: rebuild");
    for (const auto& line : bench.log->lines()) std::printf("log: %s\n", line.c_str());
    SQLiteDatabase bare(cached);
    if (!hadStatistics) bare.execute("DROP TABLE IF EXISTS sqlite_stat1;");
    bare.execute("PRAGMA wal_checkpoint(TRUNCATE);");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const bool year = argc > 1 && std::strcmp(argv[1], "--year") == 0;
    return ostrel::bench::reportingFailures(year ? runYear : run);
}
