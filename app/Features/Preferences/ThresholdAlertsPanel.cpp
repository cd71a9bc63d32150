#include "Features/Preferences/ThresholdAlertsPanel.hpp"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "Features/Preferences/SymbolView.hpp"
#include "Features/Preferences/ThresholdRow.hpp"
#include "ViewModels/PreferencesViewModel.hpp"

namespace ostrel {

ThresholdAlertsPanel::ThresholdAlertsPanel(PreferencesViewModel& viewModel, QWidget* parent)
    : QWidget(parent),
      viewModel_(viewModel),
      warningRow_(new ThresholdRow("Warning", "Soft limit", PreferencesSymbol::warning, SystemColor::orange, this)),
      dangerRow_(new ThresholdRow("Danger", "Hard limit", PreferencesSymbol::flame, SystemColor::red, this)),
      bell_(new SymbolView(PreferencesSymbol::bellBadge, colorRule(SystemColor::green), this)),
      notificationsToggle_(new QCheckBox("Notifications", this)),
      summary_(captionLabel({}, this)) {
    warningRow_->setObjectName("warningRow");
    dangerRow_->setObjectName("dangerRow");
    bell_->setObjectName("bell");
    notificationsToggle_->setObjectName("notificationsToggle");
    summary_->setObjectName("thresholdSummary");

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    layout->addWidget(warningRow_);
    layout->addWidget(dangerRow_);
    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    layout->addWidget(divider);
    auto* notifications = new QHBoxLayout;
    notifications->addWidget(bell_);
    notifications->addWidget(notificationsToggle_);
    notifications->addStretch();
    layout->addLayout(notifications);
    layout->addWidget(summary_);

    // Each step of a slider saves; the rows then show what the view model holds, which stays
    // the previous value when the save failed.
    connect(warningRow_, &ThresholdRow::gigabytesChosen, this, [this](double gigabytes) {
        viewModel_.updateWarningThreshold(gigabytes);
        showSettings();
    });
    connect(dangerRow_, &ThresholdRow::gigabytesChosen, this, [this](double gigabytes) {
        viewModel_.updateDangerThreshold(gigabytes);
        showSettings();
    });
    connect(notificationsToggle_, &QCheckBox::clicked, this, [this](bool enabled) {
        viewModel_.updateNotificationsEnabled(enabled);
        showSettings();
    });
    for (const auto signal :
         {&PreferencesViewModel::warningThresholdBytesChanged, &PreferencesViewModel::dangerThresholdBytesChanged,
          &PreferencesViewModel::notificationsEnabledChanged}) {
        connect(&viewModel_, signal, this, &ThresholdAlertsPanel::showSettings);
    }
    showSettings();
}

void ThresholdAlertsPanel::showSettings() {
    const double warning = gigabytesOf(viewModel_.warningThresholdBytes());
    const double danger = gigabytesOf(viewModel_.dangerThresholdBytes());
    warningRow_->setGigabytes(warning);
    dangerRow_->setGigabytes(danger);
    const bool enabled = viewModel_.notificationsEnabled();
    notificationsToggle_->setChecked(enabled);
    if (enabled) {
        bell_->setSymbol(PreferencesSymbol::bellBadge, colorRule(SystemColor::green));
    } else {
        bell_->setSymbol(PreferencesSymbol::bellSlash, colorRule(SystemColor::secondary));
    }
    summary_->setText(QString("Alerts are local only. Warning at %1 GB, danger at %2 GB.")
                          .arg(wholeGigabytes(warning))
                          .arg(wholeGigabytes(danger)));
}

}  // namespace ostrel
