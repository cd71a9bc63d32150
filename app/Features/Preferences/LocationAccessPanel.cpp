#include "Features/Preferences/LocationAccessPanel.hpp"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "Features/Preferences/LocationStatusPresentation.hpp"
#include "Features/Preferences/PreferencesStyle.hpp"
#include "ViewModels/PreferencesViewModel.hpp"

namespace ostrel {
namespace {

QPushButton* button(const QString& text, const char* name, QWidget* parent) {
    auto* result = new QPushButton(text, parent);
    result->setObjectName(name);
    return result;
}

}  // namespace

LocationAccessPanel::LocationAccessPanel(PreferencesViewModel& viewModel, QWidget* parent)
    : QWidget(parent),
      viewModel_(viewModel),
      statusTitle_(
          styledLabel({}, weighted(platformFont(TextStyle::callout, QApplication::font()), QFont::Medium), {}, this)),
      statusTint_(new Tint(statusTitle_, {QPalette::WindowText}, colorRule(SystemColor::secondary))),
      statusMessage_(captionLabel({}, this)),
      grantAccessButton_(button("Grant Access", "grantAccessButton", this)),
      openSettingsButton_(button("Open Location Settings", "openLocationSettingsButton", this)),
      refreshStatusButton_(button("Refresh Status", "refreshStatusButton", this)),
      activeNetwork_(new QWidget(this)) {
    statusTitle_->setObjectName("locationStatusTitle");
    statusMessage_->setObjectName("locationStatusMessage");
    activeNetwork_->setObjectName("activeNetwork");

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* status = new QHBoxLayout;
    status->addWidget(new QLabel("Location Permission", this));
    status->addStretch();
    status->addWidget(statusTitle_);
    layout->addLayout(status);
    layout->addWidget(statusMessage_);
    auto* actions = new QHBoxLayout;
    actions->setSpacing(8);
    for (QPushButton* action : {grantAccessButton_, openSettingsButton_, refreshStatusButton_}) {
        actions->addWidget(action);
    }
    actions->addStretch();
    layout->addLayout(actions);

    auto* network = new QVBoxLayout(activeNetwork_);
    network->setContentsMargins(0, 0, 0, 0);
    auto* divider = new QFrame(activeNetwork_);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    network->addWidget(divider);
    const QFont body = QApplication::font();
    network->addWidget(styledLabel("Current Active Network",
                                   weighted(platformFont(TextStyle::caption, body), QFont::DemiBold),
                                   colorRule(SystemColor::secondary), activeNetwork_));
    activeNetworkName_ =
        styledLabel({}, weighted(platformFont(TextStyle::callout, body), QFont::Medium), {}, activeNetwork_);
    activeNetworkName_->setObjectName("activeNetworkName");
    network->addWidget(activeNetworkName_);
    activeNetworkDetails_ = captionLabel({}, activeNetwork_);
    activeNetworkDetails_->setObjectName("activeNetworkDetails");
    network->addWidget(activeNetworkDetails_);
    layout->addWidget(activeNetwork_);

    connect(grantAccessButton_, &QPushButton::clicked, &viewModel_, &PreferencesViewModel::requestLocationAccess);
    connect(openSettingsButton_, &QPushButton::clicked, &viewModel_, &PreferencesViewModel::openLocationSettings);
    connect(refreshStatusButton_, &QPushButton::clicked, &viewModel_, &PreferencesViewModel::refreshLocationStatus);
    connect(&viewModel_, &PreferencesViewModel::locationPermissionStatusChanged, this,
            &LocationAccessPanel::showStatus);
    connect(&viewModel_, &PreferencesViewModel::activeNetworkIdentityChanged, this,
            &LocationAccessPanel::showActiveNetwork);
    showStatus();
    showActiveNetwork();
}

void LocationAccessPanel::showStatus() {
    const LocationStatusPresentation shown = presentationOf(viewModel_.permissionStatus());
    statusTitle_->setText(shown.title);
    statusTint_->setRule(colorRule(shown.color));
    statusMessage_->setText(shown.message);
    grantAccessButton_->setVisible(shown.grantAccess);
    openSettingsButton_->setVisible(shown.openLocationSettings);
    refreshStatusButton_->setVisible(shown.refreshStatus);
}

void LocationAccessPanel::showActiveNetwork() {
    const auto& network = viewModel_.activeNetwork();
    activeNetwork_->setVisible(network.has_value());
    if (!network) return;
    activeNetworkName_->setText(QString::fromStdString(network->name));
    activeNetworkDetails_->setText(activeNetworkDetails(*network));
}

}  // namespace ostrel
