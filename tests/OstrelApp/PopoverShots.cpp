// Renders the real popover (header and tabs with their screens) with demonstration data to PNG
// files, for looking at it: every tab in a light and a dark palette and in a real desktop theme's
// dark palette (Breeze Dark, with Qt's Fusion style as the program gets it), the Overview in each
// timeframe, the Networks and Apps screens before and after a choice, the header in each display
// mode, an empty store, and names that are not well-behaved text (very long, with line breaks, with
// a right-to-left override, for an application, a network and an interface).
//   ostrel_popover_shots [folder]     (default /tmp/ostrel-popover-shots)
#include <QAbstractScrollArea>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QScrollBar>
#include <QStyle>
#include <QStyleFactory>
#include <cstdio>
#include <functional>

#include "OstrelApp/PopoverRootView.hpp"
#include "Services/support/DataServiceRig.hpp"
#include "UI/support/DesktopPalettes.hpp"
#include "ViewModels/AppsViewModel.hpp"
#include "ViewModels/MenuBarViewModel.hpp"
#include "ViewModels/NetworksViewModel.hpp"
#include "ViewModels/OverviewViewModel.hpp"
#include "ViewModels/QtMainQueue.hpp"

using namespace ostrel;
using namespace std::chrono_literals;

namespace {

QPalette darkPalette() {
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(40, 40, 44));
    palette.setColor(QPalette::WindowText, QColor(236, 236, 236));
    palette.setColor(QPalette::Base, QColor(30, 30, 32));
    palette.setColor(QPalette::AlternateBase, QColor(46, 46, 50));
    palette.setColor(QPalette::Text, QColor(236, 236, 236));
    palette.setColor(QPalette::Button, QColor(58, 58, 62));
    palette.setColor(QPalette::ButtonText, QColor(236, 236, 236));
    palette.setColor(QPalette::Light, QColor(70, 70, 76));
    palette.setColor(QPalette::Midlight, QColor(62, 62, 68));
    palette.setColor(QPalette::Mid, QColor(50, 50, 54));
    palette.setColor(QPalette::Dark, QColor(24, 24, 26));
    palette.setColor(QPalette::Shadow, QColor(10, 10, 10));
    palette.setColor(QPalette::Highlight, QColor(80, 150, 255));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::ToolTipBase, QColor(50, 50, 54));
    palette.setColor(QPalette::ToolTipText, QColor(236, 236, 236));
    return palette;
}

bool waitFor(const std::function<bool()>& done) {
    QDeadlineTimer deadline(30000);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// The odd names, beside the demonstration's own applications and networks.
const std::string kLongName = [] {
    std::string name = "Long";
    for (int i = 0; i < 1000; ++i) name += "name";
    return name + "End";
}();
const std::string kOverridden =
    "\u202E"
    "exe.eviltxt";
const std::string kTwoLines = "Two\nLines";

// The id of a demonstration's odd network or application: the prefix and its name's length.
std::string idOf(const char* prefix, const std::string& name) {
    std::string id = prefix;  // appended: GCC 12 warns falsely (-Wrestrict) on a literal + string at -O3
    id += std::to_string(name.size());
    return id;
}

void storeOddNames(testing::DataServiceRig& rig) {
    const Date now = rig.now();
    std::vector<UsageSampleRecord> samples;
    int serial = 0;
    const auto add = [&](const std::string& network, const std::string& app, std::int64_t rx) {
        std::string id = "odd-";  // appended: GCC 12 warns falsely on a literal + string at -O3
        id += std::to_string(++serial);
        samples.push_back({id, now - 30min, idOf("net-", network), network, NetworkType::wifi, idOf("app-", app), app,
                           rx, rx / 8, "nettop", 0.8});
    };
    add(kOverridden, kLongName, 900 * 1024 * 1024);
    add(kLongName, kOverridden, 700 * 1024 * 1024);
    add(kTwoLines, kTwoLines, 500 * 1024 * 1024);
    rig.repository()->insertSamples(samples);
    rig.repository()->setActiveNetwork({idOf("net-", kOverridden), kOverridden, NetworkType::wifi, true, kOverridden,
                                        NetworkResolutionState::resolved, "mock", 1},
                                       now);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication::setAttribute(Qt::AA_Use96Dpi);
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : "/tmp/ostrel-popover-shots";
    QDir().mkpath(folder);
    const QPalette light = QApplication::style()->standardPalette();
    int failures = 0;
    const auto check = [&](bool ok, const char* what) {
        if (!ok) std::fprintf(stderr, "timed out waiting for %s\n", what), ++failures;
    };

    // An empty store first: the screens' placeholders and empty states.
    {
        testing::DataServiceRig rig;
        rig.programQueue = std::make_shared<QtMainQueue>(&app);
        rig.start();
        rig.sampler->stop();
        MenuBarViewModel model(rig.service, rig.programQueue);
        PopoverRootView root(rig.service, &model);
        root.show();
        check(waitFor([&] { return root.overviewViewModel()->snapshot().has_value(); }), "the empty overview");
        const auto shoot = [&](const QString& name) {
            for (int pass = 0; pass < 5; ++pass) QApplication::processEvents();  // nested layouts settle in turns
            const QString path = folder + "/" + name + ".png";
            if (!root.grab().save(path)) ++failures;
            std::printf("%s\n", qPrintable(path));
        };
        shoot("empty-overview");
        root.tabs()->setCurrentIndex(1);
        check(waitFor([&] { return !root.networksViewModel()->isLoadingList(); }), "the empty network list");
        shoot("empty-networks");
        root.tabs()->setCurrentIndex(2);
        QDeadlineTimer settle(500);
        waitFor([&] { return settle.hasExpired(); });
        shoot("empty-apps");
        root.hide();
        QCoreApplication::sendPostedEvents();  // queued tasks hold the data service
    }

    // The demonstration data, and the odd names beside it.
    testing::DataServiceRig rig;
    rig.setNow(currentDate());  // the screens' custom ranges end now
    rig.mockData = true;
    rig.programQueue = std::make_shared<QtMainQueue>(&app);
    rig.start();
    rig.sampler->stop();
    rig.repository()->setActiveNetwork(
        {"net-home-wifi", "Home Wi-Fi", NetworkType::wifi, true, "wlan0", NetworkResolutionState::resolved, "mock", 1},
        rig.now());
    MenuBarViewModel model(rig.service, rig.programQueue);
    PopoverRootView root(rig.service, &model);
    root.show();
    check(waitFor([&] { return model.menuBarText() != "Ostrel"; }), "the menu-bar text");

    const auto shoot = [&](const QString& name) {
        for (int pass = 0; pass < 5; ++pass) QApplication::processEvents();
        const QString path = folder + "/" + name + ".png";
        if (!root.grab().save(path)) ++failures;
        std::printf("%s\n", qPrintable(path));
    };
    const auto scroll = [&](bool toEnd) {
        QWidget* screen = root.tabs()->screen(static_cast<PopoverTab>(root.tabs()->currentIndex()));
        for (auto* area : screen->findChildren<QAbstractScrollArea*>()) {
            QScrollBar* bar = area->verticalScrollBar();
            if (area->isVisible()) bar->setValue(toEnd ? bar->maximum() : bar->minimum());
        }
    };
    const auto showTab = [&](int index) {
        root.tabs()->setCurrentIndex(index);
        scroll(false);
    };
    OverviewViewModel& overview = *root.overviewViewModel();
    NetworksViewModel& networks = *root.networksViewModel();
    AppsViewModel& apps = *root.appsViewModel();

    for (const auto& [palette, suffix] : {std::pair{light, QString("light")}, std::pair{darkPalette(), QString("dark")},
                                          std::pair{testing::breezeDarkPalette(), QString("breeze-dark")}}) {
        QApplication::setPalette(palette);
        showTab(0);
        for (const TimeframePreset preset : allTimeframePresets) {
            overview.setTimeframe(preset);
            check(waitFor([&] { return overview.snapshot() && overview.snapshot()->timeframe == preset; }),
                  "an overview");
            shoot(QString("overview-%1-%2").arg(QString::fromLatin1(rawValue(preset).data())).arg(suffix));
        }
        overview.setTimeframe(TimeframePreset::weekly);
        check(waitFor([&] { return overview.snapshot().has_value(); }), "the weekly overview");
        scroll(true);
        shoot("overview-weekly-scrolled-" + suffix);

        showTab(1);
        check(waitFor([&] { return !networks.networks().empty(); }), "the networks");
        shoot("networks-list-" + suffix);
        networks.selectNetwork(QString::fromStdString(networks.networks().front().id));
        check(waitFor([&] { return networks.selectedDetail().has_value(); }), "a network's detail");
        shoot("networks-detail-" + suffix);
        scroll(true);
        shoot("networks-detail-scrolled-" + suffix);

        showTab(2);
        check(waitFor([&] { return !apps.applications().empty(); }), "the applications");
        shoot("apps-list-" + suffix);
        apps.selectApplication(QString::fromStdString(apps.applications().front().id));
        check(waitFor([&] { return apps.selectedDetail().has_value(); }), "an application's detail");
        shoot("apps-detail-" + suffix);

        showTab(3);
        shoot("prefs-" + suffix);
        scroll(true);
        shoot("prefs-scrolled-" + suffix);
    }
    QApplication::setPalette(light);

    // The daily timeframe of the two list screens.
    showTab(1);
    networks.setTimeframe(TimeframePreset::daily);
    check(waitFor([&] { return networks.selectedDetail().has_value(); }), "a network's daily detail");
    shoot("networks-daily-light");
    showTab(2);
    apps.setTimeframe(TimeframePreset::daily);
    check(waitFor([&] { return apps.selectedDetail().has_value(); }), "an application's daily detail");
    shoot("apps-daily-light");

    showTab(0);
    for (const MenuBarDisplayMode mode : allMenuBarDisplayModes) {
        model.updateDisplayMode(mode);
        shoot(QString("header-%1").arg(QString::fromLatin1(rawValue(mode).data())));
        std::printf("  tray text: %s\n", qPrintable(model.menuBarText()));
    }

    // Names that are not well-behaved text, in every place a name shows.
    storeOddNames(rig);
    rig.setNow(rig.now() + 13s);                          // past the caches' time to live
    rig.service->updateSettings([](OstrelSettings&) {});  // announces new data: the header reloads
    overview.setTimeframe(TimeframePreset::daily);
    check(waitFor([&] { return overview.snapshot() && overview.snapshot()->topApplications.size() > 4; }),
          "the odd names' overview");
    check(waitFor([&] { return model.activeNetworkTitle().toStdString() == kOverridden; }), "the odd header");
    shoot("names-overview");
    showTab(1);
    networks.refresh(true);
    check(waitFor([&] { return networks.networks().size() > 3; }), "the odd networks");
    networks.selectNetwork(QString::fromStdString(idOf("net-", kLongName)));
    check(waitFor([&] { return networks.selectedDetail() && networks.selectedDetail()->name == kLongName; }),
          "the long network's detail");
    shoot("names-networks-long");
    networks.selectNetwork(QString::fromStdString(idOf("net-", kOverridden)));
    check(waitFor([&] { return networks.selectedDetail() && networks.selectedDetail()->name == kOverridden; }),
          "the overridden network's detail");
    shoot("names-networks-override");
    showTab(2);
    apps.refresh(true);
    check(waitFor([&] { return apps.applications().size() > 5; }), "the odd applications");
    apps.selectApplication(QString::fromStdString(idOf("app-", kLongName)));
    check(waitFor([&] { return apps.selectedDetail() && apps.selectedDetail()->name == kLongName; }),
          "the long application's detail");
    shoot("names-apps-long");
    apps.selectApplication(QString::fromStdString(idOf("app-", kTwoLines)));
    check(waitFor([&] { return apps.selectedDetail() && apps.selectedDetail()->name == kTwoLines; }),
          "the two-line application's detail");
    shoot("names-apps-two-lines");
    showTab(3);
    scroll(true);  // to the active network's lines
    shoot("names-prefs");

    root.hide();
    QCoreApplication::sendPostedEvents();
    return failures == 0 ? 0 : 1;
}
