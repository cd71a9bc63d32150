// Times the popover on a heavy month: 30 heavy days (216,000 samples each, 5 applications on 2
// networks, every 2 seconds) ending today. The program's parts are built as at launch (data
// service, menu-bar model, popover); then the time from activation to the first paint of the
// header with today's figures, the first time and again, and the menu-bar model's reload of a
// heavy today, which each sampler batch starts. Run it on a display: scripts/gui-rig.sh.
// Usage: ostrel_popover_bench [folder]   (the month is built once, a few minutes, and kept; by
// default in the build folder's bench-data)
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "HeavyMonth.hpp"
#include "OstrelApp/PopoverRootView.hpp"
#include "OstrelApp/PopoverWindow.hpp"
#include "Services/OstrelDataService.hpp"
#include "ViewModels/MenuBarViewModel.hpp"
#include "ViewModels/QtMainQueue.hpp"
#include "support/BenchScratch.hpp"

namespace {

using namespace ostrel;

// Notes the header's first paint after it is armed.
struct PaintWatch final : QObject {
    bool armed = false, painted = false;
    bool eventFilter(QObject*, QEvent* event) override {
        if (armed && event->type() == QEvent::Paint) painted = true;
        return false;
    }
};

double elapsedMs(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// Two minutes is far beyond anything timed here: a wait that long is a fault, and the figures
// would be false, so the run stops.
void waitFor(ostrel::bench::BenchScratch& scratch, const std::function<bool()>& done, const char* what) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 120000) {
            scratch.fail(std::string("timed out waiting for ") + what);
        }
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Before any thread starts; the per-process tool keeps its state in it.
    ostrel::bench::BenchScratch scratch("ostrel-popover-bench-state");
    // Absolute: a relative XDG_DATA_HOME is ignored, for the user's own.
    const std::string folder =
        std::filesystem::absolute(argc > 1 ? argv[1] : OSTREL_BENCH_DATA_DIR "/popover-month").string();
    const std::string path = folder + "/Ostrel/ostrel.sqlite";
    if (!std::filesystem::exists(path)) {
        QElapsedTimer building;
        building.start();
        bench::buildHeavyMonth(path);
        std::printf("built the heavy month in %.0f s\n", elapsedMs(building) / 1000);
    }
    ::setenv("XDG_DATA_HOME", folder.c_str(), 1);

    QApplication app(argc, argv);
    const auto queue = std::make_shared<QtMainQueue>(&app);
    QElapsedTimer launch;
    launch.start();
    const auto service = OstrelDataService::create(
        OstrelDataService::Dependencies::forThisProcess(queue, std::make_shared<CapturingLogSink>()));
    const double serviceMs = elapsedMs(launch);
    MenuBarViewModel model(service, queue);
    auto* root = new PopoverRootView(service, &model);
    PopoverWindow window(root);
    waitFor(scratch, [&] { return model.menuBarText() != "Ostrel"; }, "the first menu-bar text");
    std::printf("launch: data service %.1f ms; to the first menu-bar text %.1f ms (%s)\n", serviceMs, elapsedMs(launch),
                qPrintable(model.menuBarText()));

    PaintWatch watch;
    root->header()->installEventFilter(&watch);
    std::vector<double> activations;
    for (int round = 0; round < 11; ++round) {
        watch.armed = true, watch.painted = false;
        QElapsedTimer shown;
        shown.start();
        window.toggle({QPoint(1200, 0), QSize(24, 24)});
        waitFor(scratch, [&] { return watch.painted; }, "the header's paint");
        activations.push_back(elapsedMs(shown));
        watch.armed = false;
        window.hide();
        QElapsedTimer pause;  // past the guard against a show right after a hide
        pause.start();
        waitFor(scratch, [&] { return pause.elapsed() > 300; }, "a pause");
    }
    std::vector<double> later(activations.begin() + 1, activations.end());
    std::sort(later.begin(), later.end());
    std::printf("activation to the header painted with data: first %.1f ms, then median %.1f ms (max %.1f)\n",
                activations[0], later[later.size() / 2], later.back());

    std::vector<double> reloads;
    for (int round = 0; round < 5; ++round) {
        QElapsedTimer aged;  // past the menu-bar cache's time to live
        aged.start();
        waitFor(scratch, [&] { return aged.elapsed() > 2100; }, "the cache to age");
        QElapsedTimer reload;
        reload.start();
        // Announced for every answer, also when today's figures have not moved since the last one.
        bool finished = false;
        const auto connection = QObject::connect(&model, &MenuBarViewModel::refreshFinished, [&] { finished = true; });
        model.refresh();
        waitFor(scratch, [&] { return finished; }, "the menu-bar reload");
        QObject::disconnect(connection);
        reloads.push_back(elapsedMs(reload));
    }
    std::sort(reloads.begin(), reloads.end());
    std::printf("menu-bar reload of a heavy today: median %.1f ms (best %.1f)\n", reloads[2], reloads[0]);
    scratch.exitNow(0);
}
