// Renders the Networks screen over a data service with demonstration data to PNG files, in the
// popover's content size, for looking at it:
//   ostrel_networks_shots [folder]     (default /tmp/ostrel-shots-networks)
#include <QApplication>
#include <QDir>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>

#include "Features/Networks/NetworkDetailView.hpp"
#include "Features/Networks/NetworksView.hpp"
#include "Services/support/DataServiceRig.hpp"
#include "ViewModels/NetworksViewModel.hpp"
#include "ViewModels/QtMainQueue.hpp"

using namespace ostrel;

namespace {

QPalette darkPalette() {
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(40, 40, 44));
    palette.setColor(QPalette::WindowText, QColor(236, 236, 236));
    palette.setColor(QPalette::Base, QColor(30, 30, 32));
    palette.setColor(QPalette::Text, QColor(236, 236, 236));
    palette.setColor(QPalette::Button, QColor(55, 55, 60));
    palette.setColor(QPalette::ButtonText, QColor(236, 236, 236));
    palette.setColor(QPalette::Light, QColor(70, 70, 76));
    palette.setColor(QPalette::Highlight, QColor(80, 150, 255));
    palette.setColor(QPalette::HighlightedText, QColor(255, 255, 255));
    return palette;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication::setAttribute(Qt::AA_Use96Dpi);
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : "/tmp/ostrel-shots-networks";
    QDir().mkpath(folder);

    // Two weeks of demonstration traffic up to now, with Home Wi-Fi in use.
    testing::DataServiceRig data;
    data.mockData = true;
    data.setNow(currentDate());
    data.start();
    data.sampler->stop();
    SQLiteDatabase(data.databasePath).execute("DELETE FROM networks WHERE id NOT LIKE 'net-%'");
    data.repository()->setActiveNetwork(
        {"net-home-wifi", "Home Wi-Fi", NetworkType::wifi, true, "wlan0", NetworkResolutionState::resolved, "mock", 1},
        data.now());

    NetworksViewModel viewModel(data.service, std::make_shared<QtMainQueue>(&app), [&] { return data.now(); });
    NetworksView view(&viewModel);
    view.resize(880, 560);
    bool ok = true;
    const auto shoot = [&](const QString& name, QWidget* widget) {
        // Palette changes, shown children and the scroll bars' layout arrive as posted events.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        ok = widget->grab().save(folder + "/" + name + ".png") && ok;
    };
    const auto settle = [&](auto done) { ok = QTest::qWaitFor(done, 10000) && ok; };

    QApplication::setPalette(QApplication::style()->standardPalette());
    view.show();
    shoot("first-visit", &view);
    settle([&] { return !viewModel.networks().empty(); });
    shoot("list-light", &view);
    viewModel.selectNetwork("net-home-wifi");
    settle([&] { return !viewModel.isLoadingDetail() && viewModel.selectedDetail(); });
    shoot("weekly-light", &view);
    auto* detail = view.findChild<NetworkDetailView*>("detailView");
    shoot("detail-whole-light", detail->widget());
    QApplication::setPalette(darkPalette());
    shoot("weekly-dark", &view);
    shoot("detail-whole-dark", detail->widget());
    viewModel.setTimeframe(TimeframePreset::daily);
    settle([&] { return !viewModel.isLoadingDetail() && viewModel.selectedDetail(); });
    shoot("daily-dark", &view);
    shoot("detail-daily-dark", detail->widget());
    QApplication::setPalette(QApplication::style()->standardPalette());
    viewModel.selectNetwork("net-nowhere");
    settle([&] { return !viewModel.isLoadingDetail(); });
    shoot("no-selection-light", &view);
    return ok ? 0 : 1;
}
