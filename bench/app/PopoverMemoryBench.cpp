// The popover's memory over many tab and timeframe switches on a heavy month (HeavyMonth.hpp):
// the program's parts are built as at launch, the popover is opened, and each cycle moves to the
// next of Overview, Networks and Apps and picks the next of the daily, yearly and custom (the last
// seven days) timeframes there, waiting for the screen's data and its paint. Every 50 cycles it prints the
// resident set, the heap in use and the CPU time the last cycles took. Run it on a display:
//   scripts/gui-rig.sh --tray none -- build-release/bin/ostrel_popover_memory_bench [cycles] [folder]
// (400 cycles by default; the month is built once, a few minutes, and kept; by default in the
// build folder's bench-data; each run works on a copy of it)
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "HeavyMonth.hpp"
#include "Model/Enums.hpp"
#include "OstrelApp/PopoverRootView.hpp"
#include "OstrelApp/PopoverWindow.hpp"
#include "Services/OstrelDataService.hpp"
#include "UI/SegmentedPicker.hpp"
#include "ViewModels/AppsViewModel.hpp"
#include "ViewModels/MenuBarViewModel.hpp"
#include "ViewModels/NetworksViewModel.hpp"
#include "ViewModels/OverviewViewModel.hpp"
#include "ViewModels/QtMainQueue.hpp"
#include "support/BenchScratch.hpp"

namespace {

using namespace ostrel;

constexpr int kReportEvery = 50;
// Today, this year and the last seven days: on any day but New Year's, each covers other days of
// the month than the one before, so each pick publishes new figures. (On a Monday a week is a day,
// and on the 1st a month.)
constexpr std::array kTimeframes{TimeframePreset::daily, TimeframePreset::yearly, TimeframePreset::custom};

double megabytes(double bytes) {
    return bytes / (1024.0 * 1024.0);
}

double residentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE));
}

// What the program holds from malloc: the chunks in use and the blocks mapped on their own.
double heapInUseBytes() {
    const struct mallinfo2 info = ::mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd);
}

double cpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Notes paints of the popover's screens after it is armed.
struct PaintWatch final : QObject {
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted = true;
        return false;
    }
};

// Two minutes is far beyond any load here: a wait that long is a fault, and the figures would be
// false, so the run stops.
void waitFor(bench::BenchScratch& scratch, const std::function<bool()>& done, const char* what) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 120000) scratch.fail(std::string("timed out waiting for ") + what);
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Before any thread starts; the per-process tool keeps its state in it.
    bench::BenchScratch scratch("ostrel-popover-memory-bench");
    const int cycles = argc > 1 ? std::atoi(argv[1]) : 400;
    if (cycles < 1) scratch.fail("usage: ostrel_popover_memory_bench [cycles] [folder]");
    const std::filesystem::path folder = argc > 2 ? argv[2] : OSTREL_BENCH_DATA_DIR "/popover-month";
    const std::filesystem::path month = folder / "Ostrel" / "ostrel.sqlite";
    if (!std::filesystem::exists(month)) {
        QElapsedTimer building;
        building.start();
        bench::buildHeavyMonth(month.string());
        std::printf("built the heavy month in %.0f s\n", static_cast<double>(building.elapsed()) / 1000);
    }
    // Removed with the scratch folder, however the benchmark ends.
    const std::filesystem::path work = std::filesystem::path(scratch.folder()) / "work";
    std::filesystem::create_directories(work / "Ostrel");
    std::filesystem::copy_file(month, work / "Ostrel" / "ostrel.sqlite");
    ::setenv("XDG_DATA_HOME", work.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (work / "config").c_str(), 1);

    QApplication app(argc, argv);
    const auto queue = std::make_shared<QtMainQueue>(&app);
    const auto service = OstrelDataService::create(
        OstrelDataService::Dependencies::forThisProcess(queue, std::make_shared<CapturingLogSink>()));
    MenuBarViewModel model(service, queue);
    auto* root = new PopoverRootView(service, &model);
    PopoverWindow window(root);
    waitFor(scratch, [&] { return model.menuBarText() != "Ostrel"; }, "the first menu-bar text");
    window.showAt({QPoint(1200, 0), QSize(24, 24)});

    PaintWatch watch;
    std::map<PopoverTab, SegmentedPicker*> pickers;
    for (const PopoverTab tab : {PopoverTab::overview, PopoverTab::networks, PopoverTab::apps}) {
        QWidget* screen = root->tabs()->screen(tab);
        pickers[tab] = screen->findChild<SegmentedPicker*>("timeframePicker");
        if (pickers[tab] == nullptr) scratch.fail("a screen without its timeframe picker");
        screen->installEventFilter(&watch);
    }

    std::printf("%6s %10s %14s %22s\n", "cycle", "RSS (MB)", "heap in use", "CPU per 100 cycles (s)");
    double rssAt50 = 0, rssAt300 = 0;
    double cpuMark = cpuSeconds();
    int slowWaits = 0;
    for (int cycle = 0; cycle <= cycles; ++cycle) {
        if (cycle % kReportEvery == 0) {
            const double cpu = cpuSeconds();
            const double rss = megabytes(residentBytes());
            if (cycle == 50) rssAt50 = rss;
            if (cycle == 300) rssAt300 = rss;
            if (cycle == 0) {
                std::printf("%6d %10.1f %14.1f %22s\n", cycle, rss, megabytes(heapInUseBytes()), "-");
            } else {
                std::printf("%6d %10.1f %14.1f %22.1f\n", cycle, rss, megabytes(heapInUseBytes()),
                            (cpu - cpuMark) * 100.0 / kReportEvery);
            }
            std::fflush(stdout);
            cpuMark = cpu;
        }
        if (cycle == cycles) break;

        const PopoverTab tab = std::array{PopoverTab::overview, PopoverTab::networks, PopoverTab::apps}[cycle % 3];
        const int timeframe = static_cast<int>(kTimeframes[static_cast<std::size_t>(cycle / 3) % kTimeframes.size()]);
        root->tabs()->setCurrentIndex(static_cast<int>(tab));
        SegmentedPicker* picker = pickers[tab];
        if (picker->currentIndex() == timeframe) continue;  // the first visits, on the starting timeframe

        bool published = false;
        QMetaObject::Connection connection;
        switch (tab) {
            case PopoverTab::overview:
                connection = QObject::connect(root->overviewViewModel(), &OverviewViewModel::snapshotChanged,
                                              [&] { published = root->overviewViewModel()->snapshot().has_value(); });
                break;
            case PopoverTab::networks:
                connection = QObject::connect(root->networksViewModel(), &NetworksViewModel::isLoadingListChanged,
                                              [&] { published = !root->networksViewModel()->isLoadingList(); });
                break;
            case PopoverTab::apps:
                connection = QObject::connect(root->appsViewModel(), &AppsViewModel::applicationsChanged,
                                              [&] { published = true; });
                break;
            case PopoverTab::prefs:
                break;
        }
        picker->segment(timeframe)->click();
        // Figures equal to those shown publish nothing; a few seconds then stand for the load.
        QElapsedTimer waited;
        waited.start();
        waitFor(scratch, [&] { return published || waited.elapsed() > 10000; }, "the screen's figures");
        if (!published) ++slowWaits;
        QObject::disconnect(connection);
        watch.painted = false;
        root->tabs()->screen(tab)->update();
        waitFor(scratch, [&] { return watch.painted; }, "the screen's paint");
    }
    if (cycles >= 300) {
        std::printf("RSS growth from cycle 50 to cycle 300: %.1f MB\n", rssAt300 - rssAt50);
    }
    if (slowWaits > 0) std::printf("(%d switches published no new figures within 10 s)\n", slowWaits);
    scratch.exitNow(0);
}
