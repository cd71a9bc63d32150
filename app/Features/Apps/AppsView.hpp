#pragma once

#include <QPointer>
#include <QWidget>
#include <chrono>

namespace ostrel {

class AppDetailView;
class AppsViewModel;
class ContentUnavailableView;
class ListDetailView;
class RowList;
class SegmentedPicker;

// The Apps tab: a sidebar with the timeframe picker above the applications, beside a detail column
// with the chosen application or "Select an app" (ListDetailView). It only shows the view model's
// state and calls its operations.
//
// The view model is not owned: the popover's root creates it with the screen and keeps it for the
// life of the process, so that list, selection and timeframe survive tab switches and closing the
// popover. The screen loads nothing until it is first shown; shown with no applications, it asks
// for them at once. While shown it reloads every `liveRefreshInterval` (LiveRefresh), the first
// time one interval after it appears.
class AppsView final : public QWidget {
    Q_OBJECT

public:
    AppsView(AppsViewModel* viewModel, std::chrono::nanoseconds liveRefreshInterval, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showTimeframe();
    void showApplications();
    void showDetail();
    void showError();

    QPointer<AppsViewModel> viewModel_;
    SegmentedPicker* timeframePicker_;
    RowList* appList_;
    ListDetailView* layout_;
    ContentUnavailableView* selectPlaceholder_;
    AppDetailView* appDetail_;
};

}  // namespace ostrel
