// Times the popover on a heavy month: 30 heavy days (216,000 samples each, 5 applications on 2
// networks, every 2 seconds) ending today. The program's parts are built as at launch (data
// service, menu-bar model, popover); then the time from activation to the first paint of the
// header with today's figures, the first time and again, and the menu-bar model's reload of a
// heavy today, which each sampler batch starts. Run it on a display: scripts/gui-rig.sh.
// Usage: ostrel_popover_bench [folder]   (the month is built once, a few minutes, and kept)
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "Model/Calendar.hpp"
#include "Model/Iso8601.hpp"
#include "Model/Uuid.hpp"
#include "OstrelApp/PopoverRootView.hpp"
#include "OstrelApp/PopoverWindow.hpp"
#include "Persistence/OstrelRepository.hpp"
#include "Services/OstrelDataService.hpp"
#include "ViewModels/MenuBarViewModel.hpp"
#include "ViewModels/QtMainQueue.hpp"
#include "support/BenchScratch.hpp"

namespace {

using namespace ostrel;

constexpr int kApps = 5;
constexpr int kDays = 30;

std::vector<UsageSampleRecord> heavyDay(Date start) {
    const char* apps[kApps] = {"org.mozilla.firefox", "com.spotify.Client", "org.gnome.Evolution", "code",
                               "com.valvesoftware.Steam"};
    std::vector<UsageSampleRecord> samples;
    samples.reserve(86400 / 2 * kApps);
    for (int tick = 0; tick < 86400 / 2; ++tick) {
        const bool office = (tick * 2 / 3600) % 2 == 1;
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
    const auto calendar = Calendar::current();
    const Date today = *calendar.startOfDay(calendar.localDay(currentDate()));
    repository->insertSamples(heavyDay(today));
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

void waitFor(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 120000) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace

int main(int argc, char** argv) {
    // Before any thread starts; the per-process tool keeps its state in it.
    const ostrel::bench::BenchScratch scratch("ostrel-popover-bench-state");
    const std::string folder =
        argc > 1 ? argv[1] : (std::filesystem::temp_directory_path() / "ostrel-popover-bench").string();
    const std::string path = folder + "/Ostrel/ostrel.sqlite";
    if (!std::filesystem::exists(path)) {
        QElapsedTimer building;
        building.start();
        buildHeavyMonth(path);
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
    waitFor([&] { return model.menuBarText() != "Ostrel"; });
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
        waitFor([&] { return watch.painted; });
        activations.push_back(elapsedMs(shown));
        watch.armed = false;
        window.hide();
        QElapsedTimer pause;  // past the guard against a show right after a hide
        pause.start();
        waitFor([&] { return pause.elapsed() > 300; });
    }
    std::vector<double> later(activations.begin() + 1, activations.end());
    std::sort(later.begin(), later.end());
    std::printf("activation to the header painted with data: first %.1f ms, then median %.1f ms (max %.1f)\n",
                activations[0], later[later.size() / 2], later.back());

    std::vector<double> reloads;
    for (int round = 0; round < 5; ++round) {
        QElapsedTimer aged;  // past the menu-bar cache's time to live
        aged.start();
        waitFor([&] { return aged.elapsed() > 2100; });
        QElapsedTimer reload;
        reload.start();
        bool published = false;
        const auto connection =
            QObject::connect(&model, &MenuBarViewModel::todaySummaryChanged, [&] { published = true; });
        model.refresh();
        waitFor([&] { return published; });
        QObject::disconnect(connection);
        reloads.push_back(elapsedMs(reload));
    }
    std::sort(reloads.begin(), reloads.end());
    std::printf("menu-bar reload of a heavy today: median %.1f ms (best %.1f)\n", reloads[2], reloads[0]);
    std::fflush(stdout);
    std::_Exit(0);
}
