// Times the Apps screen's first frames with data over a heavy month: 30 days of 216,000 samples
// each (5 applications on 2 networks, every 2 seconds), on the offscreen platform with the core
// library. Each run starts from caches aged out; a frame counts once the list (or the detail) has
// arrived and the whole screen has been drawn.
// Usage: ostrel_apps_screen_bench [folder]  (the month is built once, about two minutes, and kept)
#include <stdlib.h>
#include <time.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "Features/Apps/AppsView.hpp"
#include "Model/Iso8601.hpp"
#include "Model/Uuid.hpp"
#include "Platform/FakeLoginItem.hpp"
#include "Platform/FakeNotificationCenter.hpp"
#include "Services/OstrelDataService.hpp"
#include "Services/SamplingPipeline.hpp"
#include "ViewModels/AppsViewModel.hpp"
#include "ViewModels/QtMainQueue.hpp"
#include "support/BenchScratch.hpp"

namespace {

using namespace ostrel;
using namespace std::chrono;
using Clock = steady_clock;

constexpr int kApps = 5;
constexpr int kDays = 30;
const date::local_days kToday{date::year{2026} / 3 / 31};
const char* const kAppIDs[kApps] = {"org.mozilla.firefox", "com.spotify.Client", "org.gnome.Evolution", "code",
                                    "com.valvesoftware.Steam"};

Date dayStart(date::local_days day) {
    return *Calendar::current().startOfDay(day);
}

// Today as one batch, the days before it copied from it in SQL, then the roll-ups rebuilt.
void buildHeavyMonth(const std::string& path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    auto repository = std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(path));
    const Date today = dayStart(kToday);
    std::vector<UsageSampleRecord> samples;
    for (int tick = 0; tick < 86400 / 2; ++tick) {
        const bool office = (tick * 2 / 3600) % 2 == 1;
        for (int app = 0; app < kApps; ++app) {
            samples.push_back({makeUuidString(), today + seconds(tick * 2) + milliseconds(app),
                               office ? "wifi-office" : "eth-home", office ? "Office" : "Home",
                               office ? NetworkType::wifi : NetworkType::ethernet, kAppIDs[app], kAppIDs[app],
                               1000 + (tick * 37 + app * 101) % 50000, 200 + (tick * 13 + app * 17) % 9000, "nettop",
                               0.8});
        }
    }
    repository->insertSamples(samples);
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

bool waitFor(const std::function<bool()>& done) {
    QDeadlineTimer deadline(60000);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Median and best of five runs, in milliseconds.
void report(const char* what, std::vector<double> runs) {
    std::sort(runs.begin(), runs.end());
    std::printf("  %-52s %8.1f (best %6.1f)\n", what, runs[runs.size() / 2], runs.front());
}

}  // namespace

int main(int argc, char** argv) {
    // Before any thread starts; the per-process tool keeps its state in it.
    const ostrel::bench::BenchScratch scratch("ostrel-apps-bench");
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    QApplication::setAttribute(Qt::AA_Use96Dpi);
    QApplication app(argc, argv);
    const std::string folder =
        argc > 1 ? argv[1] : (std::filesystem::temp_directory_path() / "ostrel-apps-bench").string();
    const std::string path = folder + "/Ostrel/ostrel.sqlite";
    if (!std::filesystem::exists(path)) {
        std::printf("building the heavy month in %s\n", folder.c_str());
        buildHeavyMonth(path);
    }

    Date now = dayStart(kToday) + hours(23);
    OstrelDataService::Dependencies dependencies;
    dependencies.dataHome = folder;
    dependencies.mainQueue = std::make_shared<QtMainQueue>(&app);
    dependencies.log = std::make_shared<CapturingLogSink>();
    dependencies.notificationCenter = std::make_shared<FakeNotificationCenter>();
    dependencies.loginItem = std::make_shared<FakeLoginItem>();
    dependencies.makeSampler = [](auto repository, auto queue, auto samplerLog) {
        return makeSamplingPipeline(repository, queue, samplerLog, OSTREL_BUILD_LIBEXEC_DIR);
    };
    dependencies.clock = [&now] { return now; };
    auto service = OstrelDataService::create(std::move(dependencies));
    std::printf("core library: %s\n", service->vellCoreAvailable() ? "in use" : "NOT FOUND, local fallback");
    const auto mainQueue = std::make_shared<QtMainQueue>(&app);

    bool ok = true;
    // One fresh screen per run, the data service's caches aged out first.
    const auto run = [&](const std::function<double(AppsViewModel&, AppsView&)>& measure) {
        std::vector<double> runs;
        for (int i = 0; i < 5; ++i) {
            now += seconds(13);
            AppsViewModel vm(service, mainQueue, [&now] { return now; });
            AppsView view(&vm, std::chrono::seconds(4));
            view.resize(880, 560);
            runs.push_back(measure(vm, view));
        }
        return runs;
    };
    const auto frame = [&](AppsView& view, Clock::time_point start, const std::function<bool()>& arrived) {
        ok = waitFor(arrived) && ok;
        view.grab();
        return duration<double, std::milli>(Clock::now() - start).count();
    };
    const auto shown = [&](AppsViewModel& vm, AppsView& view) {
        const auto start = Clock::now();
        view.show();
        return frame(view, start, [&] { return vm.applications().size() == kApps; });
    };
    const auto segment = [&](const char* name, TimeframePreset preset) {
        return [&, name, preset](AppsViewModel& vm, AppsView& view) {
            shown(vm, view);
            now += seconds(13);
            auto* button = view.findChild<QAbstractButton*>(name);
            bool listed = false;  // the list of the new timeframe, not the one still shown
            QObject::connect(&vm, &AppsViewModel::applicationsChanged, [&] { listed = vm.timeframe() == preset; });
            const auto start = Clock::now();
            button->click();
            return frame(view, start, [&] { return listed; });
        };
    };
    const auto tap = [&](AppsViewModel& vm, AppsView& view) {
        shown(vm, view);
        now += seconds(13);
        const auto start = Clock::now();
        vm.selectApplication("code");
        return frame(view, start, [&] { return vm.selectedDetail().has_value(); });
    };

    std::printf("\nApps screen, first frame with data (median of 5, ms)\n");
    report("shown, weekly (roll-ups)", run(shown));
    report("Monthly chosen (roll-ups)", run(segment("monthly", TimeframePreset::monthly)));
    report("Daily chosen (today's raw samples)", run(segment("daily", TimeframePreset::daily)));
    report("row tapped, weekly detail (roll-ups)", run(tap));
    std::vector<double> warm;
    for (int i = 0; i < 5; ++i) {
        AppsViewModel vm(service, mainQueue, [&now] { return now; });
        AppsView view(&vm, std::chrono::seconds(4));
        view.resize(880, 560);
        warm.push_back(shown(vm, view));
    }
    report("shown, weekly, answered from the cache", warm);

    // Where the time goes: the data service's loads alone (forced), and drawing a filled screen.
    std::printf("\nits parts (median of 5, ms)\n");
    const auto timedLoad = [&](const std::function<void()>& load) {
        std::vector<double> runs;
        for (int i = 0; i < 5; ++i) {
            const auto start = Clock::now();
            load();
            runs.push_back(duration<double, std::milli>(Clock::now() - start).count());
        }
        return runs;
    };
    report("loadApplications weekly, forced",
           timedLoad([&] { service->loadApplications(TimeframePreset::weekly, std::nullopt, true); }));
    report("loadApplications daily, forced",
           timedLoad([&] { service->loadApplications(TimeframePreset::daily, std::nullopt, true); }));
    report("loadApplicationDetail weekly, forced",
           timedLoad([&] { service->loadApplicationDetail("code", TimeframePreset::weekly, std::nullopt, true); }));
    {
        AppsViewModel vm(service, mainQueue, [&now] { return now; });
        AppsView view(&vm, std::chrono::seconds(4));
        view.resize(880, 560);
        shown(vm, view);
        vm.selectApplication("code");
        ok = waitFor([&] { return vm.selectedDetail().has_value(); }) && ok;
        report("one frame of the list and a detail, drawn", timedLoad([&] { view.grab(); }));
    }
    if (!ok) std::printf("a load did not arrive within a minute\n");
    return ok ? 0 : 1;
}
