#pragma once

#include <QWidget>

class QCheckBox;

namespace ostrel {

class PreferencesViewModel;
class StyledLabel;
class SymbolView;
class ThresholdRow;

// The "Threshold Alerts" card's content: the warning and danger rows, the notifications switch
// with its bell, and the sentence that sums the thresholds up.
class ThresholdAlertsPanel final : public QWidget {
    Q_OBJECT

public:
    // `viewModel` must outlive the panel.
    explicit ThresholdAlertsPanel(PreferencesViewModel& viewModel, QWidget* parent = nullptr);

private:
    void showSettings();

    PreferencesViewModel& viewModel_;
    ThresholdRow* warningRow_;
    ThresholdRow* dangerRow_;
    SymbolView* bell_;
    QCheckBox* notificationsToggle_;
    StyledLabel* summary_;
};

}  // namespace ostrel
