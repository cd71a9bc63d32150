#pragma once

#include <QPointer>
#include <QWidget>
#include <chrono>

#include "ViewModels/OverviewViewModel.hpp"

class QProgressBar;
class QTimer;

namespace ostrel {

class RankedList;
class SectionCard;
class StyledLabel;
class SummaryCards;
class TimeframeControls;
class TrendCard;

// The Overview tab: the timeframe controls, then the summary cards, the trend and the top lists
// of the view model's overview; while there is none, the error or else a progress indicator.
// While shown it asks for the overview once (when none is held or loading) and then refreshes
// it every `liveRefreshInterval`, from the cache where that is young enough.
//
// The view model is not owned and must outlive the view; its state outlives the view too, so a
// view shown again shows the last overview at once.
class OverviewView final : public QWidget {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kLiveRefreshInterval{3000};

    explicit OverviewView(OverviewViewModel* viewModel,
                          std::chrono::milliseconds liveRefreshInterval = kLiveRefreshInterval,
                          QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void showSnapshot();
    void showState();

    QPointer<OverviewViewModel> viewModel_;
    QTimer* liveRefresh_;
    TimeframeControls* controls_;
    SummaryCards* summaryCards_;
    TrendCard* trendCard_;
    QWidget* topLists_;
    RankedList* topNetworks_;
    RankedList* topApplications_;
    SectionCard* errorCard_;
    StyledLabel* errorText_;
    QProgressBar* progress_;
};

}  // namespace ostrel
