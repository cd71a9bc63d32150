// Times the Apps screen's first frames with data over a heavy month: 30 days of 216,000 samples
// each (5 applications on 2 networks, every 2 seconds), on the offscreen platform with the core
// library. Each run starts from caches aged out; a frame counts once the list (or the detail) has
// arrived and the whole screen has been drawn. Works on a copy of the month cached in the build
// folder, in a temporary folder it removes.
// Usage: ostrel_apps_screen_bench
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
#include "Platform/FakeLoginItem.hpp"
#include "Platform/FakeNotificationCenter.hpp"
#include "Services/OstrelDataService.hpp"
#include "Services/SamplingPipeline.hpp"
#include "ViewModels/AppsViewModel.hpp"
#include "ViewModels/QtMainQueue.hpp"
#include "support/BenchStore.hpp"

namespace {

using namespace ostrel;
using namespace std::chrono;
using Clock = steady_clock;

constexpr std::size_t kApps = 5;
const date::local_days kToday = bench::HeavyStoreShape::month().lastDay;

Date dayStart(date::local_days day) {
    return *Calendar::current().startOfDay(day);
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

int run(int argc, char** argv) {
    bench::ExitCleanup cleanup;
    bench::ScratchFolder scratch(cleanup, "ostrel-apps-bench");
    const std::string folder = bench::workingHeavyMonth(cleanup, scratch);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication::setAttribute(Qt::AA_Use96Dpi);
    QApplication app(argc, argv);

    // The end of the heavy day; each run empties the data service's caches.
    const Date now = dayStart(kToday + date::days{1}) - milliseconds(1);
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
            service->updateSettings([](OstrelSettings&) {});  // no answer from the caches
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
            service->updateSettings([](OstrelSettings&) {});  // no answer from the caches
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
        service->updateSettings([](OstrelSettings&) {});  // no answer from the caches
        const auto start = Clock::now();
        vm.selectApplication("code");
        return frame(view, start, [&] { return vm.selectedDetail().has_value(); });
    };
    const auto dailyTap = [&](AppsViewModel& vm, AppsView& view) {
        segment("daily", TimeframePreset::daily)(vm, view);
        service->updateSettings([](OstrelSettings&) {});  // no answer from the caches
        const auto start = Clock::now();
        vm.selectApplication("code");
        return frame(view, start, [&] { return vm.selectedDetail().has_value(); });
    };

    std::printf("\nApps screen, first frame with data (median of 5, ms)\n");
    report("shown, weekly (roll-ups)", run(shown));
    report("Monthly chosen (roll-ups)", run(segment("monthly", TimeframePreset::monthly)));
    report("Daily chosen (today's raw samples)", run(segment("daily", TimeframePreset::daily)));
    report("row tapped, weekly detail (roll-ups)", run(tap));
    report("row tapped, daily detail (today's raw samples)", run(dailyTap));
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

}  // namespace

int main(int argc, char** argv) {
    return ostrel::bench::reportingFailures([&] { return run(argc, argv); });
}
