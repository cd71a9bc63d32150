#include "ViewModels/AppsViewModel.hpp"

#include <utility>

#include "ViewModels/ScreenRequests.hpp"

namespace ostrel {
namespace {

struct ListWithDetail {
    std::vector<ApplicationListItem> applications;
    std::optional<ApplicationDetailModel> detail;
};

}  // namespace

AppsViewModel::AppsViewModel(std::shared_ptr<OstrelDataService> dataService, std::shared_ptr<MainQueue> mainQueue,
                             std::function<Date()> clock, QObject* parent)
    : QObject(parent),
      dataService_(std::move(dataService)),
      mainQueue_(std::move(mainQueue)),
      customRange_(initialCustomRange(clock ? clock() : currentDate())) {}

QDateTime AppsViewModel::customRangeStart() const {
    return toQDateTime(customRange_.start);
}

QDateTime AppsViewModel::customRangeEnd() const {
    return toQDateTime(customRange_.end);
}

void AppsViewModel::setTimeframe(TimeframePreset timeframe) {
    if (timeframe == timeframe_) return;
    setPublished(this, timeframe_, timeframe, &AppsViewModel::timeframeChanged);
    setPublished(this, selectedDetail_, std::nullopt, &AppsViewModel::selectedDetailChanged);
    setPublished(this, errorMessage_, QString(), &AppsViewModel::errorMessageChanged);
    refresh(true);
}

void AppsViewModel::refresh(bool forceRefresh) {
    const std::uint64_t generation = ++refreshGeneration_;
    std::optional<std::string> selected;
    if (!selectedAppID_.isNull()) selected = selectedAppID_.toStdString();
    loadInBackground(
        workerQueue_, mainQueue_, this,
        [service = dataService_, timeframe = timeframe_, range = requestedRange(timeframe_, customRange_), forceRefresh,
         selected] {
            ListWithDetail answer{service->loadApplications(timeframe, range, forceRefresh), std::nullopt};
            if (selected) answer.detail = service->loadApplicationDetail(*selected, timeframe, range, forceRefresh);
            return answer;
        },
        [generation](AppsViewModel& self, LoadOutcome<ListWithDetail> outcome) {
            if (self.refreshGeneration_ != generation) return;
            if (!outcome.value) {
                setPublished(&self, self.errorMessage_, outcome.error, &AppsViewModel::errorMessageChanged);
                return;
            }
            // The detail of the application selected when the refresh was issued, whatever is
            // selected now; a selection made since brings its own detail right after.
            setPublished(&self, self.applications_, std::move(outcome.value->applications),
                         &AppsViewModel::applicationsChanged);
            setPublished(&self, self.selectedDetail_, std::move(outcome.value->detail),
                         &AppsViewModel::selectedDetailChanged);
            setPublished(&self, self.errorMessage_, QString(), &AppsViewModel::errorMessageChanged);
        });
}

void AppsViewModel::selectApplication(const QString& appID) {
    setPublished(this, selectedAppID_, appID, &AppsViewModel::selectedAppIDChanged);
    loadSelectedDetail(appID, true);
}

void AppsViewModel::loadSelectedDetail(const QString& appID, bool forceRefresh) {
    loadInBackground(
        workerQueue_, mainQueue_, this,
        [service = dataService_, id = appID.toStdString(), timeframe = timeframe_,
         range = requestedRange(timeframe_, customRange_),
         forceRefresh] { return service->loadApplicationDetail(id, timeframe, range, forceRefresh); },
        [appID](AppsViewModel& self, LoadOutcome<std::optional<ApplicationDetailModel>> outcome) {
            // No generation: every answer for the still selected application is published.
            if (self.selectedAppID_.isNull() || self.selectedAppID_ != appID) return;
            if (outcome.value) {
                setPublished(&self, self.selectedDetail_, std::move(*outcome.value),
                             &AppsViewModel::selectedDetailChanged);
                setPublished(&self, self.errorMessage_, QString(), &AppsViewModel::errorMessageChanged);
            } else {
                setPublished(&self, self.errorMessage_, outcome.error, &AppsViewModel::errorMessageChanged);
            }
        });
}

}  // namespace ostrel
