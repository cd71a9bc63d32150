#pragma once

#include <QWidget>

#include "Model/Enums.hpp"

class QButtonGroup;

namespace ostrel {

// "Display" and one segment per menu-bar display mode, in their order: a row of checkable
// buttons of which one is checked.
class DisplayModePicker final : public QWidget {
    Q_OBJECT

public:
    explicit DisplayModePicker(QWidget* parent = nullptr);

    // Checks the mode's segment; announces nothing.
    void setMode(MenuBarDisplayMode mode);

signals:
    void modeChosen(MenuBarDisplayMode mode);

private:
    QButtonGroup* segments_;
};

}  // namespace ostrel
