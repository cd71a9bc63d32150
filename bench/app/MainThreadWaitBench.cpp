// Times how long the main thread is held when the user changes a setting, picks the tray's
// display mode, opens or closes a screen or clears the data, and when the data service announces
// new data, while screens' loads keep the database busy: the Networks and Apps lists of a heavy
// today (216,000 samples), forced, one load after another on a worker, each one long statement on
// the database queue. Runs on a copy of the heavy month (HeavyMonth.hpp) in its scratch folder,
// since the clear deletes it.
// Usage: ostrel_main_thread_bench [folder]   (the month is built there once, a few minutes, and
// kept; by default in the build folder's bench-data)
#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "HeavyMonth.hpp"
#include "Platform/FakeLocationManager.hpp"
#include "Platform/FakeNotificationCenter.hpp"
#include "Platform/LogSink.hpp"
#include "Platform/XdgAutostartItem.hpp"
#include "Services/OstrelDataService.hpp"
#include "Services/SamplingPipeline.hpp"
#include "ViewModels/MenuBarViewModel.hpp"
#include "ViewModels/PreferencesViewModel.hpp"
#include "ViewModels/QtMainQueue.hpp"
#include "support/BenchScratch.hpp"

namespace {

using namespace ostrel;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Figures {
    std::vector<double> values;
    void print(const char* name) {
        std::sort(values.begin(), values.end());
        std::printf("  %-48s %8.2f %8.2f %8.2f\n", name, values[values.size() / 2],
                    values[(values.size() - 1) * 9 / 10], values.back());
    }
};

template <class F>
double timed(F&& work) {
    const auto start = Clock::now();
    work();
    return msSince(start);
}

}  // namespace

int main(int argc, char** argv) {
    // Before any thread starts; the per-process tool keeps its state in it.
    const ostrel::bench::BenchScratch scratch("ostrel-main-thread-bench");
    const std::filesystem::path folder = argc > 1 ? argv[1] : OSTREL_BENCH_DATA_DIR "/popover-month";
    const std::filesystem::path month = folder / "Ostrel" / "ostrel.sqlite";
    if (!std::filesystem::exists(month)) {
        const auto start = Clock::now();
        bench::buildHeavyMonth(month.string());
        std::printf("built the heavy month in %.0f s\n", msSince(start) / 1000);
    }
    // Removed with the scratch folder, however the benchmark ends.
    const std::filesystem::path work = std::filesystem::path(scratch.folder()) / "work";
    std::filesystem::create_directories(work / "Ostrel");
    std::filesystem::copy_file(month, work / "Ostrel" / "ostrel.sqlite");

    QCoreApplication app(argc, argv);
    const auto queue = std::make_shared<QtMainQueue>(&app);
    OstrelDataService::Dependencies dependencies;
    dependencies.dataHome = work.string();
    dependencies.mainQueue = queue;
    dependencies.log = std::make_shared<CapturingLogSink>();
    dependencies.notificationCenter = std::make_shared<FakeNotificationCenter>();
    dependencies.loginItem = std::make_shared<XdgAutostartItem>((work / "autostart").string(), "/usr/bin/ostrel");
    dependencies.makeSampler = [](auto repository, auto mainQueue, auto log) {
        return makeSamplingPipeline(repository, mainQueue, log, OSTREL_BUILD_LIBEXEC_DIR);
    };
    auto service = OstrelDataService::create(std::move(dependencies));
    const auto location = LocationPermissionService::create(
        std::make_shared<FakeLocationManager>(LocationManager::authorizedAlways), BundleInfo{}, queue);
    std::atomic<int> announced{0};
    service->addObserver([&] { ++announced; });
    const auto drain = [] {
        for (int turn = 0; turn < 3; ++turn) QCoreApplication::sendPostedEvents();
    };
    // Until the announcement of a change: its save is done.
    const auto waitForAnnouncement = [&](int before) {
        while (announced <= before) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        drain();
    };

    std::atomic<bool> stop{false};
    std::mutex readsMutex;
    Figures reads;
    std::thread reader([&] {
        for (bool networks = true; !stop; networks = !networks) {
            const double ms = timed([&] {
                if (networks) {
                    service->loadNetworks(TimeframePreset::daily, std::nullopt, true);
                } else {
                    service->loadApplications(TimeframePreset::daily, std::nullopt, true);
                }
            });
            std::lock_guard lock(readsMutex);
            reads.values.push_back(ms);
        }
    });

    auto preferences = std::make_unique<PreferencesViewModel>(service, location, queue);
    auto menuBar = std::make_unique<MenuBarViewModel>(service, queue);
    drain();
    Figures built, step, heard, picked, released;
    for (int round = 0; round < 15; ++round) {
        int before = announced;
        step.values.push_back(timed([&] { preferences->updateWarningThreshold(5 + round % 2); }));
        waitForAnnouncement(before);

        // An announcement from elsewhere: the screens' answer to it on the main thread.
        std::thread([&] { service->updateSettings([](OstrelSettings&) {}); }).join();
        heard.values.push_back(timed([] { QCoreApplication::sendPostedEvents(); }));
        drain();

        before = announced;
        const auto mode = round % 2 == 0 ? MenuBarDisplayMode::compactTotal : MenuBarDisplayMode::totalToday;
        picked.values.push_back(timed([&] { menuBar->updateDisplayMode(mode); }));
        waitForAnnouncement(before);

        // A tray model released with its first reload queued behind the busy database (the
        // change empties the caches).
        std::thread([&] { service->updateSettings([](OstrelSettings&) {}); }).join();
        auto model = std::make_unique<MenuBarViewModel>(service, queue);
        released.values.push_back(timed([&] { model.reset(); }));

        std::unique_ptr<PreferencesViewModel> screen;
        built.values.push_back(
            timed([&] { screen = std::make_unique<PreferencesViewModel>(service, location, queue); }));
        screen.reset();
        drain();
    }
    Figures cleared, clearedInAll;
    const auto clearStart = Clock::now();
    cleared.values.push_back(timed([&] { preferences->clearData(); }));
    while (preferences->isClearingData()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    clearedInAll.values.push_back(msSince(clearStart));

    stop = true;
    reader.join();
    std::printf("a forced list of a heavy today: median %.1f ms, on a worker, one after another\n", [&] {
        std::sort(reads.values.begin(), reads.values.end());
        return reads.values[reads.values.size() / 2];
    }());
    std::printf("\nms the main thread is held                         median      p90      max\n");
    step.print("a threshold step (Preferences)");
    heard.print("an announcement heard (both view models)");
    picked.print("a display mode picked (tray)");
    released.print("a tray view model released, its reload queued");
    built.print("a Preferences view model built");
    cleared.print("Clear Local Data");
    clearedInAll.print("Clear Local Data, until done (not held)");
    std::fflush(stdout);

    // Work the view models left queued still holds the service; it ends before the copy goes.
    preferences.reset(), menuBar.reset();
    while (service.use_count() > 1) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return 0;
}
