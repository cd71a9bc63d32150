#pragma once

#include <QPointer>
#include <QWidget>
#include <chrono>

class QStackedWidget;
class QTimer;

namespace ostrel {

class AppDetailView;
class AppListView;
class AppsViewModel;
class ContentUnavailableView;
class StyledLabel;
class TimeframePicker;

// The Apps tab: a sidebar with the timeframe picker above the applications, and a detail column
// with the chosen application or "Select an app". It only shows the view model's state and calls
// its operations. While shown it reloads every `liveRefreshInterval`, the first time one interval
// after it appears; when it appears with no applications yet, it asks for them at once.
//
// The view model is not owned and must outlive the view: the popover's root creates it first and
// keeps it for the popover's lifetime, so that list, selection and timeframe survive tab switches.
class AppsView final : public QWidget {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kLiveRefreshInterval{4000};

    explicit AppsView(AppsViewModel* viewModel, std::chrono::milliseconds liveRefreshInterval = kLiveRefreshInterval,
                      QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void showTimeframe();
    void showApplications();
    void showDetail();
    void showError();

    QPointer<AppsViewModel> viewModel_;
    QTimer* liveRefreshTimer_;
    TimeframePicker* timeframePicker_;
    StyledLabel* errorLabel_;
    AppListView* appList_;
    QStackedWidget* detailColumn_;
    ContentUnavailableView* selectPlaceholder_;
    AppDetailView* appDetail_;
};

}  // namespace ostrel
