#include "Features/Preferences/ThresholdAlertsPanel.hpp"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "Features/Preferences/ThresholdRow.hpp"
#include "UI/ReadableControlStyle.hpp"
#include "UI/StyledLabel.hpp"
#include "UI/Symbols.hpp"
#include "ViewModels/PreferencesViewModel.hpp"

namespace ostrel {

ThresholdAlertsPanel::ThresholdAlertsPanel(PreferencesViewModel& viewModel, QWidget* parent)
    : QWidget(parent),
      viewModel_(viewModel),
      warningRow_(new ThresholdRow("Warning", "Soft limit", Symbol::warning, StatusColor::orange, this)),
      dangerRow_(new ThresholdRow("Danger", "Hard limit", Symbol::flame, StatusColor::red, this)),
      bell_(new SymbolView(Symbol::bellBadge, StatusColor::green, ThresholdRow::kSymbolSize, this)),
      notificationsToggle_(new QCheckBox("Notifications", this)),
      summary_(new StyledLabel(TextStyle::caption, Hierarchy::secondary, this)) {
    warningRow_->setObjectName("warningRow");
    dangerRow_->setObjectName("dangerRow");
    bell_->setObjectName("bell");
    useReadableStyle(notificationsToggle_);
    notificationsToggle_->setObjectName("notificationsToggle");
    summary_->setObjectName("thresholdSummary");
    summary_->setWordWrap(true);

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
        bell_->setSymbol(Symbol::bellBadge, StatusColor::green);
    } else {
        bell_->setSymbol(Symbol::bellSlash, Hierarchy::secondary);
    }
    summary_->setText(QString("Alerts are local only. Warning at %1 GB, danger at %2 GB.")
                          .arg(wholeGigabytes(warning))
                          .arg(wholeGigabytes(danger)));
}

}  // namespace ostrel
