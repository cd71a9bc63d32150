#pragma once

#include <QWidget>

#include "Model/Enums.hpp"

class QButtonGroup;

namespace ostrel {

// The segmented "Timeframe" picker: one checkable button per preset, "Daily" to "Custom", each
// named after its preset's raw string. It shows the preset it is told and reports the user's
// choice; the choice is the caller's to apply.
class TimeframePicker final : public QWidget {
    Q_OBJECT

public:
    explicit TimeframePicker(QWidget* parent = nullptr);

    void setTimeframe(TimeframePreset timeframe);

protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

signals:
    void timeframeChosen(ostrel::TimeframePreset timeframe);

private:
    QButtonGroup* group_;
};

}  // namespace ostrel
