#include "ViewModels/OverviewViewModel.hpp"

#include <algorithm>
#include <utility>

#include "ViewModels/ScreenRequests.hpp"

namespace ostrel {

OverviewViewModel::OverviewViewModel(std::shared_ptr<OstrelDataService> dataService,
                                     std::shared_ptr<MainQueue> mainQueue, std::function<Date()> clock, QObject* parent)
    : QObject(parent),
      dataService_(std::move(dataService)),
      mainQueue_(std::move(mainQueue)),
      customRange_(initialCustomRange(clock ? clock() : currentDate())) {}

QDateTime OverviewViewModel::customRangeStart() const {
    return toQDateTime(customRange_.start);
}

QDateTime OverviewViewModel::customRangeEnd() const {
    return toQDateTime(customRange_.end);
}

void OverviewViewModel::loadIfNeeded() {
    if (!snapshot_ && !isLoading_) refresh(false);
}

void OverviewViewModel::refresh(bool forceRefresh) {
    const std::uint64_t generation = ++refreshGeneration_;
    setPublished(this, isLoading_, true, &OverviewViewModel::isLoadingChanged);
    loadInBackground(
        workerQueue_, mainQueue_, this,
        [service = dataService_, timeframe = timeframe_, range = requestedRange(timeframe_, customRange_),
         forceRefresh] { return service->loadOverview(timeframe, range, forceRefresh); },
        [generation](OverviewViewModel& self, LoadOutcome<OverviewSnapshot> outcome) {
            // A newer request owns the loading state.
            if (self.refreshGeneration_ != generation) return;
            setPublished(&self, self.isLoading_, false, &OverviewViewModel::isLoadingChanged);
            if (outcome.value) {
                setPublished(&self, self.snapshot_, std::move(outcome.value), &OverviewViewModel::snapshotChanged);
                setPublished(&self, self.errorMessage_, QString(), &OverviewViewModel::errorMessageChanged);
            } else {
                // The overview shown stays under the error.
                setPublished(&self, self.errorMessage_, outcome.error, &OverviewViewModel::errorMessageChanged);
            }
        });
}

void OverviewViewModel::setTimeframe(TimeframePreset timeframe) {
    if (timeframe == timeframe_) return;
    setPublished(this, timeframe_, timeframe, &OverviewViewModel::timeframeChanged);
    clearForReload();
}

void OverviewViewModel::updateCustomRange(Date start, Date end) {
    setPublished(this, customRange_, DateRange{std::min(start, end), std::max(start, end)},
                 &OverviewViewModel::customRangeChanged);
    clearForReload();
}

void OverviewViewModel::updateCustomRange(const QDateTime& start, const QDateTime& end) {
    updateCustomRange(toDate(start), toDate(end));
}

void OverviewViewModel::clearForReload() {
    setPublished(this, snapshot_, std::nullopt, &OverviewViewModel::snapshotChanged);
    setPublished(this, errorMessage_, QString(), &OverviewViewModel::errorMessageChanged);
    refresh(true);
}

}  // namespace ostrel
