#pragma once

#include <QPointer>
#include <QWidget>

#include "ViewModels/OverviewViewModel.hpp"

class QButtonGroup;
class QDateEdit;

namespace ostrel {

// The timeframe picker, one checkable button per preset, and while the timeframe is custom the
// "From" and "To" dates of the view model's range. Choices go to the view model, which orders
// the two dates; what is shown always follows the view model.
class TimeframeControls final : public QWidget {
    Q_OBJECT

public:
    explicit TimeframeControls(OverviewViewModel* viewModel, QWidget* parent = nullptr);

private:
    void showTimeframe();
    void showCustomRange();
    void chooseDate(bool start, QDate date);

    QPointer<OverviewViewModel> viewModel_;
    QButtonGroup* presets_;
    QWidget* customRange_;
    QDateEdit* from_;
    QDateEdit* to_;
};

}  // namespace ostrel
