#pragma once

#include <QPointer>
#include <QWidget>
#include <chrono>

namespace ostrel {

class ContentUnavailableView;
class ListDetailView;
class NetworkDetailView;
class NetworksViewModel;
class ProgressIndicator;
class RowList;
class SegmentedPicker;

// The Networks tab: beside each other (ListDetailView), the list of the timeframe's networks and
// the detail of the one the user picks. It only reads the view model and calls its operations.
//
// The view model is not owned: the popover's root creates it with the screen and keeps it for the
// life of the process, so that list, selection and detail survive switching tabs and closing the
// popover. The screen loads nothing until it is first shown; shown with an empty list, it asks for
// one at once. While shown it reloads the list every `liveRefreshInterval` (LiveRefresh), the
// first time one interval after it appears.
class NetworksView final : public QWidget {
    Q_OBJECT

public:
    NetworksView(NetworksViewModel* viewModel, std::chrono::nanoseconds liveRefreshInterval, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showList();
    void showDetailColumn();
    void showTimeframe();
    void showError();

    QPointer<NetworksViewModel> viewModel_;
    SegmentedPicker* timeframePicker_;
    RowList* networkList_;
    ProgressIndicator* listLoading_;
    ListDetailView* layout_;
    QWidget* detailLoading_;
    NetworkDetailView* detailView_;
    ContentUnavailableView* noSelection_;
};

}  // namespace ostrel
