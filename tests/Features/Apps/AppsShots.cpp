// Renders the Apps screen with a week of demonstration traffic to PNG files, for looking at it:
//   ostrel_apps_shots [folder]     (default /tmp/ostrel-shots-apps)
// Light and dark palettes, in the popover's content size below its header and tab bar.
#include <stdlib.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleFactory>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>

#include "Features/Apps/AppListRow.hpp"
#include "Features/Apps/AppsView.hpp"
#include "Services/support/DataServiceRig.hpp"
#include "ViewModels/AppsViewModel.hpp"
#include "ViewModels/QtMainQueue.hpp"

using namespace ostrel;
using namespace std::chrono;

namespace {

struct DemoApp {
    const char* id;
    const char* name;
    QColor colour;  // invalid: no icon, the placeholder shows
    double weight;
};

const DemoApp kApps[] = {
    {"org.mozilla.firefox", "Firefox", QColor(230, 96, 40), 1.0},
    {"com.spotify.Client", "Spotify", QColor(30, 185, 84), 0.55},
    {"org.mozilla.Thunderbird", "Thunderbird", QColor(40, 110, 210), 0.12},
    {"code", "Visual Studio Code", QColor(35, 130, 200), 0.3},
    {"com.valvesoftware.Steam", "Steam", QColor(25, 40, 70), 1.6},
    {"org.gnome.Software", "Software", QColor(150, 90, 200), 0.08},
    {"com.ostrel.unattributed", "Unattributed", QColor(), 0.05},
};

void writeIcon(const std::string& folder, const DemoApp& app) {
    const std::string path = folder + "/icons/" + app.id + ".png";
    QImage image(64, 64, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(app.colour);
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(2, 2, 60, 60), 14, 14);
    painter.setPen(Qt::white);
    QFont font;
    font.setPixelSize(36);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(QRectF(0, 0, 64, 64), Qt::AlignCenter, QString(QChar(app.name[0])));
    painter.end();
    image.save(QString::fromStdString(path));
    std::ofstream(folder + "/applications/" + app.id + ".desktop")
        << "[Desktop Entry]\nType=Application\nName=" << app.name << "\nIcon=" << path << "\n";
}

// Evenings at home, working hours at the office, now and then on the phone's hotspot.
void storeWeek(testing::DataServiceRig& data) {
    std::vector<UsageSampleRecord> samples;
    int serial = 0;
    const Date now = data.now();
    for (int hoursAgo = 24 * 7; hoursAgo >= 1; --hoursAgo) {
        const Date at = now - hours(hoursAgo);
        const auto local = Calendar::current().localTime(floor<seconds>(at));
        const auto hour = (local - date::floor<date::days>(local)) / hours(1);
        if (hour < 7) continue;
        const bool office = hour >= 9 && hour < 17 && (hoursAgo / 24) % 7 < 5;
        const bool hotspot = hoursAgo % 37 == 0;
        const char* network = hotspot ? "hotspot" : office ? "office" : "home";
        const char* name = hotspot ? "Pixel Hotspot" : office ? "Office Ethernet" : "Home Wi-Fi";
        const auto type = hotspot ? NetworkType::hotspot : office ? NetworkType::ethernet : NetworkType::wifi;
        for (const auto& app : kApps) {
            const double wave = 0.35 + 0.65 * std::abs(std::sin(hoursAgo * 0.37 + app.weight * 5));
            const auto rx = static_cast<std::int64_t>(app.weight * wave * 42e6 * (hour >= 19 ? 2.2 : 1.0));
            std::string id = "demo-";  // appended: GCC 12 warns falsely on a literal + string at -O3
            id += std::to_string(++serial);
            samples.push_back({id, at, network, name, type, app.id, app.name, rx, rx / 9, "nettop", 0.8});
        }
    }
    data.repository()->insertSamples(samples);
    for (const auto& app : kApps) {
        data.repository()->upsertApplication({app.id, app.id, app.name, std::nullopt, 0, 0, 0.8, "nettop"}, now);
    }
}

bool waitFor(const std::function<bool()>& done) {
    QDeadlineTimer deadline(10000);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

QPalette darkPalette() {
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(40, 40, 44));
    palette.setColor(QPalette::WindowText, QColor(236, 236, 236));
    palette.setColor(QPalette::Base, QColor(30, 30, 32));
    palette.setColor(QPalette::Text, QColor(236, 236, 236));
    palette.setColor(QPalette::Button, QColor(60, 60, 64));
    palette.setColor(QPalette::ButtonText, QColor(236, 236, 236));
    palette.setColor(QPalette::Light, QColor(70, 70, 76));
    palette.setColor(QPalette::Mid, QColor(60, 60, 64));
    palette.setColor(QPalette::Dark, QColor(24, 24, 26));
    palette.setColor(QPalette::Highlight, QColor(80, 150, 255));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    return palette;
}

}  // namespace

int main(int argc, char** argv) {
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : "/tmp/ostrel-shots-apps";
    const std::string tree = folder.toStdString() + "/tree";
    QDir().mkpath(QString::fromStdString(tree + "/icons"));
    QDir().mkpath(QString::fromStdString(tree + "/applications"));
    ::setenv("XDG_DATA_DIRS", tree.c_str(), 1);  // before the icon lookup reads it
    QApplication::setAttribute(Qt::AA_Use96Dpi);
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    for (const auto& demo : kApps) {
        if (demo.colour.isValid()) writeIcon(tree, demo);
    }

    testing::DataServiceRig data;
    // This evening, so that today has traffic too.
    const auto calendar = Calendar::current();
    data.setNow(*calendar.startOfDay(calendar.localDay(currentDate())) + hours(18) + minutes(20));
    data.start();
    data.sampler->stop();
    storeWeek(data);
    AppsViewModel vm(data.service, std::make_shared<QtMainQueue>(&app), [&] { return data.now(); });
    AppsView view(&vm);
    view.resize(880, 560);
    bool ok = true;
    const auto shoot = [&](const char* name, const QPalette& palette) {
        QApplication::setPalette(palette);
        for (int pass = 0; pass < 5; ++pass) QApplication::processEvents();  // nested layouts settle in turns
        ok = view.grab().save(folder + "/" + name + ".png") && ok;
    };
    const QPalette light = QApplication::style()->standardPalette();

    view.show();
    ok = waitFor([&] { return vm.applications().size() == std::size(kApps); }) && ok;
    shoot("list-light", light);
    vm.selectApplication("org.mozilla.firefox");
    ok = waitFor([&] { return vm.selectedDetail().has_value(); }) && ok;
    shoot("detail-weekly-light", light);
    shoot("detail-weekly-dark", darkPalette());
    vm.setTimeframe(TimeframePreset::daily);
    ok = waitFor([&] { return vm.selectedDetail().has_value(); }) && ok;
    shoot("detail-daily-dark", darkPalette());
    shoot("detail-daily-light", light);
    // Scrolled to the end of the detail: the networks and the busiest periods.
    if (auto* detail = view.findChild<QAbstractScrollArea*>("appDetail")) {
        detail->verticalScrollBar()->setValue(detail->verticalScrollBar()->maximum());
    }
    shoot("detail-daily-scrolled-light", light);
    data.repository()->upsertApplication(
        {"com.example.Idle", "com.example.Idle", "Idle", std::nullopt, 0, 0, 0.8, "nettop"}, data.now());
    vm.selectApplication("com.example.Idle");
    ok = waitFor([&] { return vm.selectedDetail() && vm.selectedDetail()->appID == "com.example.Idle"; }) && ok;
    shoot("detail-idle-light", light);
    SQLiteDatabase(data.databasePath).execute("ALTER TABLE daily_usage RENAME TO daily_usage_away");
    vm.setTimeframe(TimeframePreset::monthly);
    ok = waitFor([&] { return !vm.errorMessage().isNull(); }) && ok;
    shoot("error-light", light);
    std::printf("%s: %s\n", ok ? "written" : "FAILED", qPrintable(folder));
    return ok ? 0 : 1;
}
