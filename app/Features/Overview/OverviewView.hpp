#pragma once

#include <QPointer>
#include <QWidget>
#include <chrono>

#include "ViewModels/OverviewViewModel.hpp"

namespace ostrel {

class ProgressIndicator;
class RankedList;
class SectionCard;
class StyledLabel;
class SummaryCards;
class TimeframeControls;
class TrendCard;

// The Overview tab: the timeframe controls, then the summary cards, the trend and the top lists
// of the view model's overview; while there is none, the error or else a progress indicator.
// While shown it asks for the overview once (when none is held or loading) and then refreshes
// it every `liveRefreshInterval` (LiveRefresh), from the cache where that is young enough.
//
// The view model is not owned and must outlive the view; its state outlives the view too, so a
// view shown again shows the last overview at once.
class OverviewView final : public QWidget {
    Q_OBJECT

public:
    OverviewView(OverviewViewModel* viewModel, std::chrono::nanoseconds liveRefreshInterval, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showSnapshot();
    void showState();

    QPointer<OverviewViewModel> viewModel_;
    TimeframeControls* controls_;
    SummaryCards* summaryCards_;
    TrendCard* trendCard_;
    QWidget* topLists_;
    RankedList* topNetworks_;
    RankedList* topApplications_;
    SectionCard* errorCard_;
    StyledLabel* errorText_;
    ProgressIndicator* progress_;
};

}  // namespace ostrel
