#pragma once

#include <QWidget>

class QComboBox;
class QToolButton;

namespace ostrel {

class MenuBarViewModel;
class StyledLabel;

// The popover's top: today's total and active network, the traffic in each direction, the quit
// button and the display-mode picker. Its texts are the menu-bar model's; the network's name is
// elided and isolated as every name is. It redraws on every change of the model, and the picker
// always shows the model's mode, not a choice of its own.
class PopoverHeader final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kPadding = 12;
    static constexpr int kRowSpacing = 8;
    static constexpr int kPickerWidth = 220;

    explicit PopoverHeader(MenuBarViewModel* model, QWidget* parent = nullptr);

signals:
    void quitRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void showFigures();
    void showDisplayMode();
    void applyStyles();

    MenuBarViewModel* model_;
    StyledLabel* todayCaption_;
    StyledLabel* todayTotal_;
    StyledLabel* activeNetworkCaption_;
    StyledLabel* activeNetworkTitle_;
    StyledLabel* trafficLine_;
    QToolButton* quitButton_;
    QComboBox* displayModePicker_;
};

}  // namespace ostrel
