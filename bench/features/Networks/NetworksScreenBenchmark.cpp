// Times the Networks screen on a heavy month (30 days of 216,000 samples each: 5 applications on
// 2 networks, every 2 seconds, ending today), offscreen at the popover's size: from showing the
// tab, a click on a row or on a timeframe until the frame that shows the answer has been drawn.
// Every run uses a new view model and screen, and a data-service cache too old to answer. Works on
// a copy of the month cached in the build folder, in a temporary folder it removes.
// Usage: ostrel_networks_screen_bench
#include <stdlib.h>
#include <time.h>

#include <QAbstractButton>
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "Features/Networks/NetworkRow.hpp"
#include "Features/Networks/NetworksView.hpp"
#include "Platform/FakeLoginItem.hpp"
#include "Platform/FakeNotificationCenter.hpp"
#include "Services/OstrelDataService.hpp"
#include "Services/SamplingPipeline.hpp"
#include "UI/RowList.hpp"
#include "ViewModels/NetworksViewModel.hpp"
#include "ViewModels/QtMainQueue.hpp"
#include "support/BenchStore.hpp"

namespace {

using namespace ostrel;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using P = TimeframePreset;

const date::local_days kToday = bench::HeavyStoreShape::month().lastDay;

Date dayStart(date::local_days day) {
    return *Calendar::current().startOfDay(day);
}

// Median and best of five runs, in milliseconds; `run` returns its own measured time.
void report(const char* what, const std::function<double()>& run) {
    std::vector<double> runs;
    for (int i = 0; i < 5; ++i) runs.push_back(run());
    std::sort(runs.begin(), runs.end());
    std::printf("  %-44s %8.1f (best %6.1f)\n", what, runs[2], runs[0]);
}

int run(int argc, char** argv) {
    bench::ExitCleanup cleanup;
    bench::ScratchFolder scratch(cleanup, "ostrel-networks-bench");
    const std::string folder = bench::workingHeavyMonth(cleanup, scratch);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication::setAttribute(Qt::AA_Use96Dpi);
    QApplication app(argc, argv);

    // The end of the heavy day; each run empties the data service's caches.
    const Date now = dayStart(kToday + date::days{1}) - 1ms;
    std::shared_ptr<SamplingCoordinator> sampler;
    OstrelDataService::Dependencies d;
    d.dataHome = folder;
    d.mainQueue = std::make_shared<QtMainQueue>(&app);
    d.log = std::make_shared<CapturingLogSink>();
    d.notificationCenter = std::make_shared<FakeNotificationCenter>();
    d.loginItem = std::make_shared<FakeLoginItem>();
    d.vellCore = [] { return VellCoreBridge::shared(); };
    d.makeSampler = [&](auto repository, auto queue, auto log) {
        return sampler = makeSamplingPipeline(repository, queue, log, OSTREL_BUILD_LIBEXEC_DIR);
    };
    d.clock = [&] { return now; };
    const auto service = OstrelDataService::create(std::move(d));
    sampler->stop();  // only the month is measured
    std::printf("core library in use: %s\n", service->vellCoreAvailable() ? "yes" : "no");

    const auto mainQueue = std::make_shared<QtMainQueue>(&app);
    const auto waitFor = [](const std::function<bool()>& done) {
        while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    };
    // A fresh screen whose first answer the cache cannot give, past whatever `prepare` did first.
    const auto measure = [&](const std::function<void(NetworksViewModel&, NetworksView&)>& prepare,
                             const std::function<void(NetworksViewModel&, NetworksView&)>& act,
                             const std::function<bool(const NetworksViewModel&)>& shown) {
        return [&, prepare, act, shown] {
            service->updateSettings([](OstrelSettings&) {});  // no answer from the caches
            NetworksViewModel vm(service, mainQueue, [&] { return now; });
            NetworksView view(&vm, std::chrono::seconds(4));
            view.resize(880, 560);
            prepare(vm, view);
            service->updateSettings([](OstrelSettings&) {});  // no answer from the caches
            const auto start = Clock::now();
            act(vm, view);
            waitFor([&] { return shown(vm); });
            view.grab();  // the frame with the answer
            return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        };
    };
    const auto nothing = [](NetworksViewModel&, NetworksView&) {};
    const auto listShown = [](const NetworksViewModel& vm) { return !vm.isLoadingList() && !vm.networks().empty(); };
    const auto detailShown = [](const NetworksViewModel& vm) {
        return !vm.isLoadingList() && !vm.isLoadingDetail() && vm.selectedDetail().has_value();
    };
    const auto firstVisit = [&](NetworksViewModel& vm, NetworksView& view) {
        view.show();
        waitFor([&] { return listShown(vm); });
    };
    const auto clickFirstRow = [](NetworksViewModel&, NetworksView& view) {
        view.findChild<RowList*>("networkList")->rows().front()->click();
    };
    const auto selectHome = [&](NetworksViewModel& vm, NetworksView& view) {
        firstVisit(vm, view);
        vm.selectNetwork("eth-home");
        waitFor([&] { return detailShown(vm); });
    };
    const auto click = [](const char* segment) {
        return
            [segment](NetworksViewModel&, NetworksView& view) { view.findChild<QAbstractButton*>(segment)->click(); };
    };

    std::printf("\nNetworks screen on the heavy month, to the frame with the answer (median of 5, ms)\n");
    report("first visit, weekly (roll-ups)", measure(
                                                 nothing, [](auto&, auto& view) { view.show(); }, listShown));
    report("row clicked, weekly detail (roll-ups)", measure(firstVisit, clickFirstRow, detailShown));
    report("Monthly clicked, list and detail (roll-ups)", measure(selectHome, click("monthly"), detailShown));
    report("Daily clicked, list and detail (raw samples)", measure(selectHome, click("daily"), detailShown));
    report("row clicked, daily detail (raw samples)", measure(
                                                          [&](auto& vm, auto& view) {
                                                              firstVisit(vm, view), click("daily")(vm, view),
                                                                  waitFor([&] { return listShown(vm); });
                                                          },
                                                          clickFirstRow, detailShown));
    // The main thread's part alone: drawing a frame of a detail already shown.
    report("a frame of the weekly detail, drawn", [&] {
        NetworksViewModel vm(service, mainQueue, [&] { return now; });
        NetworksView view(&vm, std::chrono::seconds(4));
        view.resize(880, 560);
        selectHome(vm, view);
        const auto start = Clock::now();
        view.grab();
        return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    });
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    return ostrel::bench::reportingFailures([&] { return run(argc, argv); });
}
