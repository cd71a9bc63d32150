#pragma once

#include <QWidget>

class QPushButton;

namespace ostrel {

class PreferencesViewModel;
class StyledLabel;

// The "Network Name Access" card's content: the location permission's status with its message
// and the actions it offers, and the active network when there is one.
class LocationAccessPanel final : public QWidget {
    Q_OBJECT

public:
    // `viewModel` must outlive the panel.
    explicit LocationAccessPanel(PreferencesViewModel& viewModel, QWidget* parent = nullptr);

private:
    void showStatus();
    void showActiveNetwork();

    PreferencesViewModel& viewModel_;
    StyledLabel* statusTitle_;
    StyledLabel* statusMessage_;
    QPushButton* grantAccessButton_;
    QPushButton* openSettingsButton_;
    QPushButton* refreshStatusButton_;
    QWidget* activeNetwork_;
    StyledLabel* activeNetworkName_;
    StyledLabel* activeNetworkDetails_;
};

}  // namespace ostrel
