// Renders the Preferences screen with demonstration data to PNG files, for looking at it:
//   ostrel_preferences_shots [folder]     (default /tmp/ostrel-shots-preferences)
// For each palette: the popover's content area as it first shows (880 x 560), and the whole
// scrolled content.
#include <QApplication>
#include <QDir>
#include <QScrollArea>
#include <QStyle>
#include <QStyleFactory>

#include "Features/Preferences/PreferencesView.hpp"
#include "Platform/FakeLocationManager.hpp"
#include "Services/support/DataServiceRig.hpp"
#include "ViewModels/PreferencesViewModel.hpp"
#include "ViewModels/QtMainQueue.hpp"

using namespace ostrel;

namespace {

QPalette darkPalette() {
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(40, 40, 44));
    palette.setColor(QPalette::WindowText, QColor(236, 236, 236));
    palette.setColor(QPalette::Base, QColor(30, 30, 32));
    palette.setColor(QPalette::AlternateBase, QColor(50, 50, 54));
    palette.setColor(QPalette::Text, QColor(236, 236, 236));
    palette.setColor(QPalette::Button, QColor(58, 58, 62));
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
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : "/tmp/ostrel-shots-preferences";
    QDir().mkpath(folder);

    testing::DataServiceRig data;
    data.start();
    data.sampler->stop();
    data.service->updateSettings([](OstrelSettings& settings) {
        settings.warningThresholdBytes = 25LL << 30;
        settings.dangerThresholdBytes = 120LL << 30;
    });
    const NetworkIdentity home{
        "wifi-home", "Home Wi-Fi", NetworkType::wifi, true, "wlp2s0", NetworkResolutionState::resolved, "nl80211", 1.0};
    data.repository()->setActiveNetwork(home, data.now());
    const auto queue = std::make_shared<QtMainQueue>(&app);
    const auto location = LocationPermissionService::create(
        std::make_shared<FakeLocationManager>(LocationManager::notDetermined), BundleInfo{}, queue);
    PreferencesViewModel viewModel(data.service, location, queue);

    const auto shoot = [&](const QString& name, const QPalette& palette) {
        QApplication::setPalette(palette);
        PreferencesView view(viewModel, true, BundleInfo::parse(R"({"OstrelSupportURL": "mailto:support@ostrel.app",
            "OstrelDeveloperURL": "https://ostrel.app"})"));
        view.resize(880, 560);
        view.show();
        QCoreApplication::processEvents();
        bool saved = view.grab().save(folder + "/" + name + ".png");
        QWidget* content = view.findChild<QScrollArea*>("scrollArea")->widget();
        content->resize(content->width(), content->sizeHint().height());
        saved = content->grab().save(folder + "/" + name + "-whole.png") && saved;
        if (!saved) qWarning("could not write %s", qPrintable(name));
        return saved;
    };
    bool saved = shoot("light", QApplication::style()->standardPalette());
    viewModel.updateNotificationsEnabled(false);
    viewModel.clearData();  // shows the information line
    while (viewModel.isClearingData()) QCoreApplication::processEvents();
    // The clear took the network with it; an announcement has the view model read it again.
    data.repository()->setActiveNetwork(home, data.now());
    data.service->updateSettings([](OstrelSettings&) {});
    while (!viewModel.activeNetwork()) QCoreApplication::processEvents();
    saved = shoot("dark", darkPalette()) && saved;
    return saved ? 0 : 1;
}
