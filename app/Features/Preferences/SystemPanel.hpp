#pragma once

#include <QWidget>
#include <memory>

class QCheckBox;
class QMessageBox;
class QPushButton;

namespace ostrel {

class MessageBoxPrompt;
class PreferencesViewModel;
class StyledLabel;

// The "System" card's content: launch at login, "Clear Local Data" and which analytics code is
// in use, and under the button the view model's information line ("Local usage data cleared."),
// where the user who pressed it looks.
class SystemPanel final : public QWidget {
    Q_OBJECT

public:
    // `viewModel` and `prompt` must outlive the panel.
    SystemPanel(PreferencesViewModel& viewModel, bool vellCoreAvailable, MessageBoxPrompt& prompt,
                QWidget* parent = nullptr);

    // Clearing deletes every recorded byte with no way back, so it is asked first: "Clear" is the
    // destructive button, "Cancel" the default and the escape.
    static std::unique_ptr<QMessageBox> makeClearDataConfirmation(QWidget* parent);

private:
    void clearDataAfterConfirmation();
    void showSettings();
    void showInfo();

    PreferencesViewModel& viewModel_;
    MessageBoxPrompt& prompt_;
    QCheckBox* launchAtLoginToggle_;
    QPushButton* clearDataButton_;
    StyledLabel* infoLine_;
};

}  // namespace ostrel
