// Times the Overview screen over the heavy month (30 days of 216,000 samples each): from showing
// the screen, or choosing a timeframe, to its first painted frame with data, computed afresh each
// time (the clock moves past the cache's time to live), and the part of it the main thread spends
// on the answer (applying it, layout and painting). Works on a copy of the month cached in the
// build folder, in a temporary folder it removes.
// Usage: ostrel_overview_bench
#include <stdlib.h>
#include <time.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "Features/Overview/OverviewView.hpp"
#include "Model/Calendar.hpp"
#include "Platform/FakeLoginItem.hpp"
#include "Platform/FakeNotificationCenter.hpp"
#include "Services/SamplingPipeline.hpp"
#include "ViewModels/QtMainQueue.hpp"
#include "support/BenchStore.hpp"

namespace {

using namespace ostrel;
using namespace std::chrono_literals;

struct Frame {
    double total;  // ms from the action to the painted frame
    double main;   // ms of it on the main thread after the answer arrived
};

// Median and best of the runs, total and main-thread part.
void report(const char* name, std::vector<Frame> runs) {
    const auto line = [&](double Frame::*field) {
        std::sort(runs.begin(), runs.end(), [&](const Frame& a, const Frame& b) { return a.*field < b.*field; });
        return std::pair{runs[runs.size() / 2].*field, runs.front().*field};
    };
    const auto [total, totalBest] = line(&Frame::total);
    const auto [main, mainBest] = line(&Frame::main);
    if (main == 0) {
        std::printf("  %-34s %8.1f (best %6.1f)\n", name, total, totalBest);
    } else {
        std::printf("  %-34s %8.1f (best %6.1f)   %6.1f (best %5.1f)\n", name, total, totalBest, main, mainBest);
    }
}

int run(int argc, char** argv) {
    bench::ExitCleanup cleanup;
    bench::ScratchFolder scratch(cleanup, "ostrel-overview-bench");
    const std::string folder = bench::workingHeavyMonth(cleanup, scratch);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication::setAttribute(Qt::AA_Use96Dpi);
    QApplication app(argc, argv);

    // Late on the heavy month's last day, so that every timeframe holds its data.
    const Date now = *Calendar::current().startOfDay(bench::HeavyStoreShape::month().lastDay + date::days{1}) - 1ms;
    auto mainQueue = std::make_shared<QtMainQueue>(&app);
    std::shared_ptr<SamplingCoordinator> sampler;
    OstrelDataService::Dependencies dependencies;
    dependencies.dataHome = folder;
    dependencies.mainQueue = mainQueue;
    dependencies.log = std::make_shared<CapturingLogSink>();
    dependencies.notificationCenter = std::make_shared<FakeNotificationCenter>();
    dependencies.loginItem = std::make_shared<FakeLoginItem>();
    dependencies.makeSampler = [&](auto repository, auto queue, auto log) {
        return sampler = makeSamplingPipeline(repository, queue, log, OSTREL_BUILD_LIBEXEC_DIR);
    };
    dependencies.clock = [&now] { return now; };
    const auto service = OstrelDataService::create(std::move(dependencies));
    sampler->stop();  // the month stays as it is
    std::printf("core library: %s\n", service->vellCoreAvailable() ? "in use" : "absent");

    // One run: a new view model and screen as the popover makes them, then `act` and the wait
    // for the painted overview.
    const auto run = [&](const std::function<void(OverviewViewModel&, OverviewView&)>& prepare,
                         const std::function<void(OverviewViewModel&, OverviewView&)>& act) {
        service->updateSettings([](OstrelSettings&) {});  // no answer from the caches
        OverviewViewModel vm(service, mainQueue, [&now] { return now; });
        QElapsedTimer clock;
        clock.start();
        qint64 answered = -1;
        // Connected before the screen's own slot, so it marks the moment the answer reaches it.
        QObject::connect(&vm, &OverviewViewModel::snapshotChanged, [&] {
            if (vm.snapshot()) answered = clock.nsecsElapsed();
        });
        OverviewView view(&vm, std::chrono::seconds(3));
        view.resize(880, 560);
        prepare(vm, view);
        clock.restart();
        answered = -1;
        act(vm, view);
        while (answered < 0) app.processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        view.repaint();
        const qint64 painted = clock.nsecsElapsed();
        return Frame{painted / 1e6, (painted - answered) / 1e6};
    };
    const auto repeat = [&](const char* name, auto prepare, auto act) {
        std::vector<Frame> runs;
        for (int i = 0; i < 7; ++i) runs.push_back(run(prepare, act));
        report(name, runs);
    };
    const auto nothing = [](OverviewViewModel&, OverviewView&) {};
    const auto show = [](OverviewViewModel&, OverviewView& view) { view.show(); };
    const auto shown = [&](OverviewViewModel& vm, OverviewView& view) {
        view.show();
        while (!vm.snapshot()) app.processEvents(QEventLoop::WaitForMoreEvents);
    };
    const auto choose = [](const char* preset) {
        return [preset](OverviewViewModel&, OverviewView& view) { view.findChild<QAbstractButton*>(preset)->click(); };
    };

    std::printf("\nfirst frame with data (median of 7, ms)    all       main thread after the answer\n");
    repeat("show, weekly (roll-ups)", nothing, show);
    repeat("choose monthly (roll-ups)", shown, choose("monthly"));
    repeat("choose yearly (roll-ups)", shown, choose("yearly"));
    repeat("choose custom, 7 days (roll-ups)", shown, choose("custom"));
    repeat("choose daily (raw samples)", shown, choose("daily"));

    // The data service's own part: the same loads, forced, without a screen.
    std::printf("\nloadOverview alone, forced (median of 7, ms)\n");
    for (const auto preset :
         {TimeframePreset::weekly, TimeframePreset::monthly, TimeframePreset::yearly, TimeframePreset::daily}) {
        std::vector<Frame> runs;
        for (int i = 0; i < 7; ++i) {
            QElapsedTimer clock;
            clock.start();
            service->loadOverview(preset, std::nullopt, true);
            runs.push_back({clock.nsecsElapsed() / 1e6, 0});
        }
        report(std::string(rawValue(preset)).c_str(), runs);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    return ostrel::bench::reportingFailures([&] { return run(argc, argv); });
}
