// Renders the Overview screen over demonstration data to PNG files, in the popover's content size,
// for looking at it:  ostrel_overview_shots [folder]   (default /tmp/ostrel-shots-overview)
#include <stdlib.h>
#include <time.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QStyle>
#include <QStyleFactory>
#include <functional>

#include "Features/Overview/OverviewView.hpp"
#include "Services/support/DataServiceRig.hpp"
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
    palette.setColor(QPalette::Button, QColor(56, 56, 60));
    palette.setColor(QPalette::ButtonText, QColor(236, 236, 236));
    palette.setColor(QPalette::Light, QColor(70, 70, 76));
    palette.setColor(QPalette::Mid, QColor(90, 90, 96));
    palette.setColor(QPalette::Highlight, QColor(80, 150, 255));
    return palette;
}

void rename(testing::DataServiceRig& data, const char* from, const char* to) {
    SQLiteDatabase(data.databasePath).execute(std::string("ALTER TABLE ") + from + " RENAME TO " + to);
}

}  // namespace

int main(int argc, char** argv) {
    ::setenv("TZ", "UTC", 1), ::tzset();
    QApplication::setAttribute(Qt::AA_Use96Dpi);
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : "/tmp/ostrel-shots-overview";
    QDir().mkpath(folder);

    testing::DataServiceRig data;
    data.mockData = true;  // two weeks of demonstration traffic up to the rig's clock
    data.start();
    data.sampler->stop();
    const auto mainQueue = std::make_shared<QtMainQueue>(&app);
    const QPalette light = QApplication::style()->standardPalette();

    // Each picture from a new view model, left to settle unless `settle` is false.
    const auto shoot = [&](const QString& name, const QPalette& palette,
                           const std::function<void(OverviewViewModel&)>& setUp, bool settle = true) {
        QApplication::setPalette(palette);
        OverviewViewModel vm(data.service, mainQueue, [&data] { return data.now(); });
        OverviewView view(&vm);
        view.resize(880, 560);
        view.show();
        setUp(vm);
        QElapsedTimer waited;
        waited.start();
        while (settle && (vm.isLoading() || (!vm.snapshot() && vm.errorMessage().isNull())) &&
               waited.elapsed() < 10000) {
            app.processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        app.processEvents();
        return view.grab().save(folder + "/" + name + ".png");
    };
    const auto none = [](OverviewViewModel&) {};
    bool ok = shoot("weekly-light", light, none) && shoot("weekly-dark", darkPalette(), none) &&
              shoot("daily-light", light, [](auto& vm) { vm.setTimeframe(TimeframePreset::daily); }) &&
              shoot("custom-dark", darkPalette(), [](auto& vm) { vm.setTimeframe(TimeframePreset::custom); }) &&
              shoot("loading-light", light, none, false) && shoot("empty-light", light, [&](auto& vm) {
                  vm.setTimeframe(TimeframePreset::custom);
                  vm.updateCustomRange(data.now() - 24h * 400, data.now() - 24h * 390);
              });
    rename(data, "daily_usage", "daily_usage_away");
    ok = ok && shoot("error-light", light, [](auto& vm) { vm.setTimeframe(TimeframePreset::monthly); });
    rename(data, "daily_usage_away", "daily_usage");
    return ok ? 0 : 1;
}
