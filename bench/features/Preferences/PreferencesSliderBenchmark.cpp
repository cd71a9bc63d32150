// Times a step of a threshold slider on the Preferences screen over a heavy month (30 days of
// 216,000 samples each, 5 applications on 2 networks, every 2 seconds, ending with "today"),
// with the sampler running. First the data service's part of a step: the save, the emptied
// caches, the autostart entry and the observers. Then whole steps through the screen: the time to
// the slider's repaint, the main thread's time per step (the view model saves on its worker
// queue), and to the end of the save with all it brings (caches, autostart entry, observers).
// Steps come one at a time, and at 60 a second as while dragging, with and without the tray's
// view model, which reloads today's figures on its worker queue at every announcement and so
// holds the database while the next step wants to save.
// Usage: ostrel_preferences_bench [folder]  (the month is built once, about two minutes, and kept)
#include <stdlib.h>
#include <time.h>

#include <QAbstractSlider>
#include <QApplication>
#include <QEvent>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "Features/Preferences/PreferencesView.hpp"
#include "Model/Calendar.hpp"
#include "Model/Iso8601.hpp"
#include "Model/Uuid.hpp"
#include "Platform/FakeLocationManager.hpp"
#include "Platform/FakeNotificationCenter.hpp"
#include "Platform/LogSink.hpp"
#include "Platform/SerialQueue.hpp"
#include "Platform/XdgAutostartItem.hpp"
#include "Services/SamplingPipeline.hpp"
#include "ViewModels/PreferencesViewModel.hpp"
#include "ViewModels/QtMainQueue.hpp"
#include "support/BenchScratch.hpp"

namespace {

using namespace ostrel;
using Clock = std::chrono::steady_clock;

constexpr int kApps = 5;
constexpr int kDays = 30;
const date::local_days kToday{date::year{2026} / 3 / 31};

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

Date dayStart(date::local_days day) {
    return *Calendar::current().startOfDay(day);
}

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

// Today as one batch, the days before it copied from it in SQL, then the roll-ups rebuilt.
void buildHeavyMonth(const std::string& path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    auto repository = std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(path));
    const Date today = dayStart(kToday);
    std::printf("building the month...\n");
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

double ms(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

// When the watched widget was last painted.
struct PaintClock final : QObject {
    Clock::time_point last{};
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) last = Clock::now();
        return false;
    }
};

struct Figures {
    std::vector<double> values;
    std::string text() {
        std::sort(values.begin(), values.end());
        const auto at = [&](double q) { return values[static_cast<std::size_t>(q * double(values.size() - 1))]; };
        char line[96];
        std::snprintf(line, sizeof line, "%7.2f %7.2f %7.2f %7.2f", at(0.5), at(0.9), at(0.99), values.back());
        return line;
    }
};

}  // namespace

int main(int argc, char** argv) {
    // Before any thread starts; the per-process tool keeps its state in it.
    const ostrel::bench::BenchScratch scratch("ostrel-preferences-bench");
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    if (::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const std::string folder =
        argc > 1 ? argv[1] : (std::filesystem::temp_directory_path() / "ostrel-preferences-bench").string();
    const std::string path = folder + "/Ostrel/ostrel.sqlite";
    if (!std::filesystem::exists(path)) buildHeavyMonth(path);

    const auto queue = std::make_shared<QtMainQueue>(&app);
    const Date now = dayStart(kToday + date::days{1}) - std::chrono::milliseconds(1);
    OstrelDataService::Dependencies dependencies;
    dependencies.dataHome = folder;
    dependencies.mainQueue = queue;
    dependencies.log = std::make_shared<CapturingLogSink>();
    dependencies.notificationCenter = std::make_shared<FakeNotificationCenter>();
    dependencies.loginItem = std::make_shared<XdgAutostartItem>(folder + "/autostart", "/usr/bin/ostrel");
    dependencies.makeSampler = [](auto repository, auto mainQueue, auto log) {
        return makeSamplingPipeline(repository, mainQueue, log, OSTREL_BUILD_LIBEXEC_DIR);
    };
    dependencies.clock = [now] { return now; };
    const auto service = OstrelDataService::create(std::move(dependencies));

    // As the tray's view model: every announcement reloads today's figures on its worker queue.
    SerialQueue menuBarWorker("ostrel.menubar.viewmodel.queue");
    bool trayReloads = false;
    int reloads = 0;
    // The view model's saves are announced from its worker queue, each right after its save; the
    // sampler's batches and this program's own changes on the main thread.
    std::mutex savesMutex;
    std::vector<Clock::time_point> saveTimes;
    const auto savesSoFar = [&] {
        std::lock_guard lock(savesMutex);
        return saveTimes.size();
    };
    service->addObserver([&] {
        if (QThread::currentThread() != app.thread()) {
            std::lock_guard lock(savesMutex);
            saveTimes.push_back(Clock::now());
        }
        queue->async([&] {
            if (!trayReloads) return;
            ++reloads;
            menuBarWorker.async([&] {
                service->loadMenuBarSnapshot();
                (void)service->settings();
            });
        });
    });

    const auto location = LocationPermissionService::create(
        std::make_shared<FakeLocationManager>(LocationManager::authorizedAlways), BundleInfo{}, queue);
    PreferencesViewModel viewModel(service, location, queue);
    PreferencesView view(viewModel, service->vellCoreAvailable(), BundleInfo{});
    view.resize(880, 560);
    view.show();
    auto* slider = view.findChild<QWidget*>("warningRow")->findChild<QAbstractSlider*>("slider");
    PaintClock painted;
    slider->installEventFilter(&painted);
    // Runs what is queued for the main thread, repaints included, until a marker queued now.
    const auto drain = [&] {
        bool done = false;
        queue->async([&] { done = true; });
        while (!done) QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents();
    };
    // Also until the view model's worker queue is done with its saves and re-reads: its queued
    // work holds the service, which otherwise only this function and the view model hold.
    const auto quiet = [&] {
        drain();
        while (service.use_count() > 2) QCoreApplication::processEvents();
        menuBarWorker.sync([] {});
        drain();
    };
    quiet();

    std::printf("store: %s (%s)\n", path.c_str(), service->vellCoreAvailable() ? "core library" : "no core library");
    std::printf("\nms, on the main thread unless said            median     p90     p99     max\n");
    const auto row = [](const char* name, Figures& figures) {
        std::printf("  %-44s %s\n", name, figures.text().c_str());
    };
    Figures save, updateOff, updateOn, menuBar;
    for (int i = 0; i < 40; ++i) {
        quiet();
        auto start = Clock::now();
        service->repository().saveSettings(service->settings());
        save.values.push_back(msSince(start));
        for (bool launch : {false, true}) {
            quiet();
            start = Clock::now();
            service->updateSettings([launch](OstrelSettings& settings) { settings.launchAtLogin = launch; });
            (launch ? updateOn : updateOff).values.push_back(msSince(start));
        }
        quiet();
        start = Clock::now();
        service->loadMenuBarSnapshot();  // its cache was emptied by the save
        menuBar.values.push_back(msSince(start));
    }
    service->updateSettings([](OstrelSettings& settings) { settings.launchAtLogin = false; });
    row("settings saved, alone", save);
    row("updateSettings, launch at login off", updateOff);
    row("updateSettings, launch at login on (fsync)", updateOn);
    row("menu-bar figures rebuilt (its worker)", menuBar);

    // Slider steps as a drag or an arrow key makes them: to the slider's repaint, until the main
    // thread has run everything the step queued there, and, one step at a time, to its save.
    const auto steps = [&](int count, bool dragging, bool tray, const char* title) {
        trayReloads = tray;
        reloads = 0;
        Figures toPaint, toSaved, busy;
        const std::size_t savesBefore = savesSoFar();
        int value = slider->value();
        const auto began = Clock::now();
        auto next = began;
        for (int i = 0; i < count; ++i) {
            if (dragging) {
                next += std::chrono::microseconds(16667);
                while (Clock::now() < next) QCoreApplication::processEvents();
            } else {
                quiet();
            }
            value = value >= 80 ? 5 : value + 1;
            const auto start = Clock::now();
            painted.last = {};
            slider->setValue(value);
            drain();
            toPaint.values.push_back(painted.last > start ? ms(painted.last - start) : -1);
            busy.values.push_back(msSince(start));
            if (!dragging) {
                while (savesSoFar() < savesBefore + static_cast<std::size_t>(i) + 1) QCoreApplication::processEvents();
                std::lock_guard lock(savesMutex);
                toSaved.values.push_back(ms(saveTimes.back() - start));
            }
        }
        const double dragMs = msSince(began);
        const auto released = Clock::now();
        // Steps faster than the event loop turns are saved once, as the newest; the last is stored
        // once nothing of the view model's queued work is left.
        while (service->settings().warningThresholdBytes != std::int64_t{value} << 30) {
            QCoreApplication::processEvents();
        }
        quiet();
        std::printf("\n%s\n", title);
        row("step to the slider's repaint", toPaint);
        if (!dragging) row("step to saved (save, caches, observers)", toSaved);
        row("main thread per step", busy);
        const std::size_t saves = savesSoFar() - savesBefore;
        double lastSaved = 0;
        {
            std::lock_guard lock(savesMutex);
            lastSaved = std::max(0.0, ms(saveTimes.back() - released));
        }
        std::printf(
            "  %d steps in %.0f ms (%.0f planned), %zu saves, the last done %.0f ms after the last step; %d "
            "menu-bar reloads\n",
            count, dragMs, dragging ? count * 16.667 : 0.0, saves, lastSaved, reloads);
        trayReloads = false;
    };
    steps(60, false, true, "slider steps one at a time, store quiet, the tray reloading (60 steps)");
    steps(120, true, false, "slider dragged, 60 steps a second (120 steps)");
    steps(120, true, true, "slider dragged, 60 steps a second, the tray reloading (120 steps)");
    quiet();
    std::printf("\nwarning threshold now %lld bytes\n", static_cast<long long>(viewModel.warningThresholdBytes()));
    return 0;
}
