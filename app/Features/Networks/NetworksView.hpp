#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <chrono>

class QStackedWidget;

namespace ostrel {

class ContentUnavailableView;
class NetworkDetailView;
class NetworkList;
class NetworksViewModel;
class ProgressIndicator;
class StyledLabel;
class TimeframePicker;

// The Networks tab: beside each other, the list of the timeframe's networks and the detail of
// the one the user picks. It only reads the view model and calls its operations.
//
// The view model is not owned: the popover keeps it for as long as its content lives, so that
// list, selection and detail survive switching tabs. While shown, the screen reloads the list
// every `liveRefreshInterval`, the first time one interval after it was shown.
class NetworksView final : public QWidget {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kLiveRefreshInterval{4000};

    explicit NetworksView(NetworksViewModel* viewModel,
                          std::chrono::milliseconds liveRefreshInterval = kLiveRefreshInterval,
                          QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* makeSidebar();
    QWidget* makeDetailColumn();
    void showList();
    void showDetailColumn();
    void showTimeframe();
    void showError();

    QPointer<NetworksViewModel> viewModel_;
    QTimer liveRefreshTimer_;
    TimeframePicker* timeframePicker_ = nullptr;
    StyledLabel* errorLabel_ = nullptr;
    NetworkList* networkList_ = nullptr;
    ProgressIndicator* listLoading_ = nullptr;
    QStackedWidget* detailColumn_ = nullptr;
    ProgressIndicator* detailLoading_ = nullptr;
    NetworkDetailView* detailView_ = nullptr;
    ContentUnavailableView* noSelection_ = nullptr;
};

}  // namespace ostrel
