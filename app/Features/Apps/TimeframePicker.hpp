#pragma once

#include <QWidget>

#include "Model/Enums.hpp"

class QAbstractButton;
class QButtonGroup;

namespace ostrel {

// The segmented "Timeframe" picker: one checkable button per preset, Daily to Custom. It shows
// the preset it is given and reports the one the user picks; it never changes its own choice.
class TimeframePicker final : public QWidget {
    Q_OBJECT

public:
    explicit TimeframePicker(QWidget* parent = nullptr);

    void setTimeframe(TimeframePreset timeframe);

signals:
    void timeframeChosen(ostrel::TimeframePreset timeframe);

protected:
    void changeEvent(QEvent* event) override;

private:
    void markChoice(QAbstractButton* button);

    QButtonGroup* group_;
    TimeframePreset shown_ = TimeframePreset::weekly;
};

}  // namespace ostrel
