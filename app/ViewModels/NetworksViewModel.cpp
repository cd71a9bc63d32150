#include "ViewModels/NetworksViewModel.hpp"

#include <utility>

#include "ViewModels/ScreenRequests.hpp"

namespace ostrel {

NetworksViewModel::NetworksViewModel(std::shared_ptr<OstrelDataService> dataService,
                                     std::shared_ptr<MainQueue> mainQueue, std::function<Date()> clock, QObject* parent)
    : QObject(parent),
      dataService_(std::move(dataService)),
      mainQueue_(std::move(mainQueue)),
      customRange_(initialCustomRange(clock ? clock() : currentDate())) {}

QDateTime NetworksViewModel::customRangeStart() const {
    return toQDateTime(customRange_.start);
}

QDateTime NetworksViewModel::customRangeEnd() const {
    return toQDateTime(customRange_.end);
}

void NetworksViewModel::setTimeframe(TimeframePreset timeframe) {
    if (timeframe == timeframe_) return;
    setPublished(this, timeframe_, timeframe, &NetworksViewModel::timeframeChanged);
    setPublished(this, selectedDetail_, std::nullopt, &NetworksViewModel::selectedDetailChanged);
    setPublished(this, errorMessage_, QString(), &NetworksViewModel::errorMessageChanged);
    refresh(true);
}

void NetworksViewModel::refresh(bool forceRefresh) {
    const std::uint64_t generation = ++listGeneration_;
    setPublished(this, isLoadingList_, true, &NetworksViewModel::isLoadingListChanged);
    loadInBackground(
        workerQueue_, mainQueue_, this,
        [service = dataService_, timeframe = timeframe_, range = requestedRange(timeframe_, customRange_),
         forceRefresh] { return service->loadNetworks(timeframe, range, forceRefresh); },
        [generation, forceRefresh](NetworksViewModel& self, LoadOutcome<std::vector<NetworkListItem>> outcome) {
            if (self.listGeneration_ != generation) return;
            setPublished(&self, self.isLoadingList_, false, &NetworksViewModel::isLoadingListChanged);
            if (!outcome.value) {
                setPublished(&self, self.errorMessage_, outcome.error, &NetworksViewModel::errorMessageChanged);
                return;
            }
            setPublished(&self, self.networks_, std::move(*outcome.value), &NetworksViewModel::networksChanged);
            setPublished(&self, self.errorMessage_, QString(), &NetworksViewModel::errorMessageChanged);
            // The selection as it is now, not as it was when the list was asked for.
            if (!self.selectedNetworkID_.isNull()) self.loadSelectedDetail(self.selectedNetworkID_, forceRefresh);
        });
}

void NetworksViewModel::selectNetwork(const QString& networkID) {
    setPublished(this, selectedNetworkID_, networkID, &NetworksViewModel::selectedNetworkIDChanged);
    loadSelectedDetail(networkID, true);
}

void NetworksViewModel::loadSelectedDetail(const QString& networkID, bool forceRefresh) {
    const std::uint64_t generation = ++detailGeneration_;
    setPublished(this, isLoadingDetail_, true, &NetworksViewModel::isLoadingDetailChanged);
    loadInBackground(
        workerQueue_, mainQueue_, this,
        [service = dataService_, id = networkID.toStdString(), timeframe = timeframe_,
         range = requestedRange(timeframe_, customRange_),
         forceRefresh] { return service->loadNetworkDetail(id, timeframe, range, forceRefresh); },
        [generation, networkID](NetworksViewModel& self, LoadOutcome<std::optional<NetworkDetailModel>> outcome) {
            if (self.detailGeneration_ != generation) return;
            if (self.selectedNetworkID_.isNull() || self.selectedNetworkID_ != networkID) return;
            setPublished(&self, self.isLoadingDetail_, false, &NetworksViewModel::isLoadingDetailChanged);
            if (outcome.value) {
                setPublished(&self, self.selectedDetail_, std::move(*outcome.value),
                             &NetworksViewModel::selectedDetailChanged);
                setPublished(&self, self.errorMessage_, QString(), &NetworksViewModel::errorMessageChanged);
            } else {
                setPublished(&self, self.errorMessage_, outcome.error, &NetworksViewModel::errorMessageChanged);
            }
        });
}

}  // namespace ostrel
