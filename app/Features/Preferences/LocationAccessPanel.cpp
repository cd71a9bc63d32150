#include "Features/Preferences/LocationAccessPanel.hpp"

#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "Features/Preferences/LocationStatusPresentation.hpp"
#include "UI/StyledLabel.hpp"
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
      statusTitle_(new StyledLabel(TextStyle::callout, Hierarchy::secondary, this)),
      statusMessage_(new StyledLabel(TextStyle::caption, Hierarchy::secondary, this)),
      grantAccessButton_(button("Grant Access", "grantAccessButton", this)),
      openSettingsButton_(button("Open Location Settings", "openLocationSettingsButton", this)),
      refreshStatusButton_(button("Refresh Status", "refreshStatusButton", this)),
      activeNetwork_(new QWidget(this)) {
    statusTitle_->setObjectName("locationStatusTitle");
    statusTitle_->setWeight(QFont::Medium);
    statusMessage_->setObjectName("locationStatusMessage");
    statusMessage_->setWordWrap(true);
    activeNetwork_->setObjectName("activeNetwork");

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* status = new QHBoxLayout;
    status->addWidget(new StyledLabel("Location Permission", TextStyle::body, Hierarchy::primary, this));
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
    auto* heading = new StyledLabel("Current Active Network", TextStyle::caption, Hierarchy::secondary, activeNetwork_);
    heading->setWeight(QFont::DemiBold);
    network->addWidget(heading);
    activeNetworkName_ = new StyledLabel(TextStyle::callout, Hierarchy::primary, activeNetwork_);
    activeNetworkName_->setObjectName("activeNetworkName");
    activeNetworkName_->setWeight(QFont::Medium);
    network->addWidget(activeNetworkName_);
    activeNetworkDetails_ = new StyledLabel(TextStyle::caption, Hierarchy::secondary, activeNetwork_);
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
    statusTitle_->setTint(shown.color);
    statusMessage_->setText(shown.message);
    grantAccessButton_->setVisible(shown.grantAccess);
    openSettingsButton_->setVisible(shown.openLocationSettings);
    refreshStatusButton_->setVisible(shown.refreshStatus);
}

void LocationAccessPanel::showActiveNetwork() {
    const auto& network = viewModel_.activeNetwork();
    activeNetwork_->setVisible(network.has_value());
    if (!network) return;
    activeNetworkName_->setName(network->name);
    activeNetworkDetails_->setName(network->interfaceName.value_or("-"), activeNetworkDetailsPrefix(*network));
}

}  // namespace ostrel
