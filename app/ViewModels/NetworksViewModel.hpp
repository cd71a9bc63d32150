#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "Model/Date.hpp"
#include "Model/Enums.hpp"
#include "Model/Records.hpp"
#include "Model/ScreenModels.hpp"
#include "Platform/MainQueue.hpp"
#include "Services/OstrelDataService.hpp"
#include "ViewModels/WorkerQueue.hpp"

namespace ostrel {

// The state behind the Networks screen: the chosen timeframe, the networks with their sparklines,
// the selected network and its detail. The list and the detail each publish only the newest
// request's answer, and a detail only while its network is still the selected one. Main thread
// only; loads nothing until asked.
// Releasing it waits for the loads already queued, whose answers are then dropped.
class NetworksViewModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(ostrel::TimeframePreset timeframe READ timeframe NOTIFY timeframeChanged)
    // Fixed at construction: the custom preset always asks for the seven days before it.
    Q_PROPERTY(QDateTime customRangeStart READ customRangeStart NOTIFY customRangeChanged)
    Q_PROPERTY(QDateTime customRangeEnd READ customRangeEnd NOTIFY customRangeChanged)
    Q_PROPERTY(std::vector<ostrel::NetworkListItem> networks READ networks NOTIFY networksChanged)
    Q_PROPERTY(
        std::optional<ostrel::NetworkDetailModel> selectedDetail READ selectedDetail NOTIFY selectedDetailChanged)
    // The null string when no network is selected.
    Q_PROPERTY(QString selectedNetworkID READ selectedNetworkID NOTIFY selectedNetworkIDChanged)
    Q_PROPERTY(bool isLoadingList READ isLoadingList NOTIFY isLoadingListChanged)
    Q_PROPERTY(bool isLoadingDetail READ isLoadingDetail NOTIFY isLoadingDetailChanged)
    // The null string when there is no error.
    Q_PROPERTY(QString errorMessage READ errorMessage NOTIFY errorMessageChanged)

public:
    static constexpr const char* workerQueueLabel = "ostrel.networks.viewmodel.queue";

    // `clock` gives the moment the custom range ends.
    NetworksViewModel(std::shared_ptr<OstrelDataService> dataService, std::shared_ptr<MainQueue> mainQueue,
                      std::function<Date()> clock = currentDate, QObject* parent = nullptr);

    TimeframePreset timeframe() const { return timeframe_; }
    const DateRange& customRange() const { return customRange_; }
    QDateTime customRangeStart() const;
    QDateTime customRangeEnd() const;
    const std::vector<NetworkListItem>& networks() const { return networks_; }
    const std::optional<NetworkDetailModel>& selectedDetail() const { return selectedDetail_; }
    const QString& selectedNetworkID() const { return selectedNetworkID_; }
    bool isLoadingList() const { return isLoadingList_; }
    bool isLoadingDetail() const { return isLoadingDetail_; }
    const QString& errorMessage() const { return errorMessage_; }

    // Another timeframe clears the detail and forces a reload; the current one does nothing.
    void setTimeframe(TimeframePreset timeframe);
    // Reloads the list; once it arrives, the detail of the network selected then, with the same flag.
    void refresh(bool forceRefresh);
    // Selects the network and loads its detail afresh, also when it was selected already.
    void selectNetwork(const QString& networkID);

signals:
    void timeframeChanged();
    void customRangeChanged();
    void networksChanged();
    void selectedDetailChanged();
    void selectedNetworkIDChanged();
    void isLoadingListChanged();
    void isLoadingDetailChanged();
    void errorMessageChanged();

private:
    void loadSelectedDetail(const QString& networkID, bool forceRefresh);

    std::shared_ptr<OstrelDataService> dataService_;
    std::shared_ptr<MainQueue> mainQueue_;
    TimeframePreset timeframe_ = TimeframePreset::weekly;
    DateRange customRange_;
    std::vector<NetworkListItem> networks_;
    std::optional<NetworkDetailModel> selectedDetail_;
    QString selectedNetworkID_;
    bool isLoadingList_ = false;
    bool isLoadingDetail_ = false;
    QString errorMessage_;
    std::uint64_t listGeneration_ = 0;
    std::uint64_t detailGeneration_ = 0;
    // Released without waiting: loads still queued run on, and their answers are dropped.
    WorkerQueue workerQueue_{workerQueueLabel};
};

}  // namespace ostrel
