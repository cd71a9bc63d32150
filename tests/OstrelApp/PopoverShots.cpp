// Renders the popover with demonstration data to PNG files, for looking at it: the header with
// each tab, each display mode, and the overview in a dark palette.
//   ostrel_popover_shots [folder]     (default /tmp/ostrel-popover-shots)
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QStyleFactory>
#include <cstdio>

#include "OstrelApp/PopoverRootView.hpp"
#include "Services/support/DataServiceRig.hpp"
#include "ViewModels/MenuBarViewModel.hpp"
#include "ViewModels/QtMainQueue.hpp"

using namespace ostrel;

namespace {

QPalette darkPalette() {
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(40, 40, 44));
    palette.setColor(QPalette::WindowText, QColor(236, 236, 236));
    palette.setColor(QPalette::Base, QColor(30, 30, 32));
    palette.setColor(QPalette::Text, QColor(236, 236, 236));
    palette.setColor(QPalette::Button, QColor(52, 52, 56));
    palette.setColor(QPalette::ButtonText, QColor(236, 236, 236));
    palette.setColor(QPalette::Light, QColor(70, 70, 76));
    palette.setColor(QPalette::Highlight, QColor(80, 150, 255));
    return palette;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication::setAttribute(Qt::AA_Use96Dpi);
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : "/tmp/ostrel-popover-shots";
    QDir().mkpath(folder);

    // The demonstration data, on a data folder of its own that goes with the program.
    testing::DataServiceRig rig;
    rig.mockData = true;
    rig.programQueue = std::make_shared<QtMainQueue>(&app);
    rig.start();
    rig.sampler->stop();
    rig.repository()->setActiveNetwork(
        {"mock-wifi-home", "Home Wi-Fi", NetworkType::wifi, true, "wlan0", NetworkResolutionState::resolved, "mock", 1},
        rig.now());
    MenuBarViewModel model(rig.service, rig.programQueue);
    PopoverRootView root(rig.service, &model);
    QElapsedTimer waited;
    waited.start();
    while (model.menuBarText() == "Ostrel" && waited.elapsed() < 30000) QApplication::processEvents();

    int failures = 0;
    const auto shoot = [&](const QString& name) {
        QApplication::processEvents();
        const QString path = folder + "/" + name + ".png";
        if (!root.grab().save(path)) ++failures;
        std::printf("%s\n", qPrintable(path));
    };
    const char* tabs[] = {"overview", "networks", "apps", "prefs"};
    for (int tab = 0; tab < 4; ++tab) {
        root.tabs()->setCurrentIndex(tab);
        shoot(QString("popover-%1").arg(tabs[tab]));
    }
    root.tabs()->setCurrentIndex(0);
    for (const MenuBarDisplayMode mode : allMenuBarDisplayModes) {
        model.updateDisplayMode(mode);
        shoot(QString("header-%1").arg(QString::fromLatin1(rawValue(mode).data())));
        std::printf("  tray text: %s\n", qPrintable(model.menuBarText()));
    }
    QApplication::setPalette(darkPalette());
    shoot("popover-overview-dark");
    return failures == 0 ? 0 : 1;
}
