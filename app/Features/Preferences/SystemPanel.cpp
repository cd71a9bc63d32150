#include "Features/Preferences/SystemPanel.hpp"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "Features/Preferences/MessageBoxPrompt.hpp"
#include "UI/ReadableControlStyle.hpp"
#include "UI/StyledLabel.hpp"
#include "ViewModels/PreferencesViewModel.hpp"

namespace ostrel {

SystemPanel::SystemPanel(PreferencesViewModel& viewModel, bool vellCoreAvailable, MessageBoxPrompt& prompt,
                         QWidget* parent)
    : QWidget(parent),
      viewModel_(viewModel),
      prompt_(prompt),
      launchAtLoginToggle_(new QCheckBox("Launch at login", this)),
      clearDataButton_(new QPushButton("Clear Local Data", this)),
      infoLine_(new StyledLabel(TextStyle::caption, StatusColor::green, this)) {
    useReadableStyle(launchAtLoginToggle_);
    launchAtLoginToggle_->setObjectName("launchAtLoginToggle");
    clearDataButton_->setObjectName("clearDataButton");
    infoLine_->setObjectName("infoLine");
    infoLine_->setWordWrap(true);
    new TintedRoles(clearDataButton_, {QPalette::ButtonText}, StatusColor::red);
    auto* core = new StyledLabel(vellCoreAvailable ? "Vell core active" : "Vell core unavailable, using Mirel fallback",
                                 TextStyle::caption, Hierarchy::secondary, this);
    core->setObjectName("coreLibraryLabel");

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(launchAtLoginToggle_, 0, Qt::AlignLeft);
    auto* row = new QHBoxLayout;
    row->addWidget(clearDataButton_);
    row->addStretch();
    row->addWidget(core);
    layout->addLayout(row);
    layout->addWidget(infoLine_);

    connect(launchAtLoginToggle_, &QCheckBox::clicked, this, [this](bool enabled) {
        viewModel_.updateLaunchAtLogin(enabled);
        showSettings();
    });
    connect(clearDataButton_, &QPushButton::clicked, this, &SystemPanel::clearDataAfterConfirmation);
    connect(&viewModel_, &PreferencesViewModel::launchAtLoginChanged, this, &SystemPanel::showSettings);
    connect(&viewModel_, &PreferencesViewModel::isClearingDataChanged, this, &SystemPanel::showSettings);
    connect(&viewModel_, &PreferencesViewModel::infoMessageChanged, this, &SystemPanel::showInfo);
    showSettings();
    showInfo();
}

std::unique_ptr<QMessageBox> SystemPanel::makeClearDataConfirmation(QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(QMessageBox::Warning, "Clear Local Data", "Clear all local usage data?",
                                             QMessageBox::NoButton, parent);
    box->setInformativeText("All usage history recorded on this computer will be deleted. This cannot be undone.");
    box->addButton("Clear", QMessageBox::DestructiveRole);
    QPushButton* cancel = box->addButton("Cancel", QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    return box;
}

void SystemPanel::clearDataAfterConfirmation() {
    const auto box = makeClearDataConfirmation(this);
    QAbstractButton* answer = prompt_.exec(*box);
    if (answer == nullptr || box->buttonRole(answer) != QMessageBox::DestructiveRole) return;
    viewModel_.clearData();
}

void SystemPanel::showSettings() {
    launchAtLoginToggle_->setChecked(viewModel_.launchAtLogin());
    clearDataButton_->setEnabled(!viewModel_.isClearingData());
}

void SystemPanel::showInfo() {
    infoLine_->setText(viewModel_.infoMessage());
    infoLine_->setVisible(!viewModel_.infoMessage().isNull());
}

}  // namespace ostrel
