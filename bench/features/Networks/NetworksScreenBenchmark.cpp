// Times the Networks screen on a heavy month (30 days of 216,000 samples each: 5 applications on
// 2 networks, every 2 seconds, ending today), offscreen at the popover's size: from showing the
// tab, a click on a row or on a timeframe until the frame that shows the answer has been drawn.
// Every run uses a new view model and screen, and a data-service cache too old to answer.
// Usage: ostrel_networks_screen_bench [folder]  (the month is built once, about two minutes, and kept)
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
#include "Model/Iso8601.hpp"
#include "Model/Uuid.hpp"
#include "Platform/FakeLoginItem.hpp"
#include "Platform/FakeNotificationCenter.hpp"
#include "Services/OstrelDataService.hpp"
#include "Services/SamplingPipeline.hpp"
#include "UI/RowList.hpp"
#include "ViewModels/NetworksViewModel.hpp"
#include "ViewModels/QtMainQueue.hpp"
#include "support/BenchScratch.hpp"

namespace {

using namespace ostrel;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using P = TimeframePreset;

constexpr int kApps = 5;
constexpr int kDays = 30;
const date::local_days kToday{date::year{2026} / 3 / 31};

Date dayStart(date::local_days day) {
    return *Calendar::current().startOfDay(day);
}

std::vector<UsageSampleRecord> heavyDay(Date start) {
    const char* apps[kApps] = {"org.mozilla.firefox", "com.spotify.Client", "org.gnome.Evolution", "code",
                               "com.valvesoftware.Steam"};
    std::vector<UsageSampleRecord> samples;
    for (int tick = 0; tick < 86400 / 2; ++tick) {
        const bool office = (tick * 2 / 3600) % 2 == 1;  // the laptop moves between two networks hourly
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
    const Date today = dayStart(kToday);
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

// Median and best of five runs, in milliseconds; `run` returns its own measured time.
void report(const char* what, const std::function<double()>& run) {
    std::vector<double> runs;
    for (int i = 0; i < 5; ++i) runs.push_back(run());
    std::sort(runs.begin(), runs.end());
    std::printf("  %-44s %8.1f (best %6.1f)\n", what, runs[2], runs[0]);
}

}  // namespace

int main(int argc, char** argv) {
    // Before any thread starts; the per-process tool keeps its state in it.
    const ostrel::bench::BenchScratch scratch("ostrel-networks-bench");
    ::setenv("TZ", "UTC", 1), ::tzset();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication::setAttribute(Qt::AA_Use96Dpi);
    QApplication app(argc, argv);
    const std::string folder =
        argc > 1 ? argv[1] : (std::filesystem::temp_directory_path() / "ostrel-networks-bench").string();
    const std::string path = folder + "/Ostrel/ostrel.sqlite";
    if (!std::filesystem::exists(path)) {
        std::printf("building the heavy month in %s\n", folder.c_str());
        buildHeavyMonth(path);
    }

    Date now = dayStart(kToday + date::days{1}) - 1ms;
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
            now += 13s;
            NetworksViewModel vm(service, mainQueue, [&] { return now; });
            NetworksView view(&vm, std::chrono::seconds(4));
            view.resize(880, 560);
            prepare(vm, view);
            now += 13s;
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
