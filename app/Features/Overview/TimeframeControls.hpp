#pragma once

#include <QPointer>
#include <QWidget>

#include "ViewModels/OverviewViewModel.hpp"

class QDateEdit;

namespace ostrel {

class SegmentedPicker;

// The timeframe picker, one segment per preset, and while the timeframe is custom the
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
    SegmentedPicker* picker_;
    QWidget* customRange_;
    QDateEdit* from_;
    QDateEdit* to_;
};

}  // namespace ostrel
