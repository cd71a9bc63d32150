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

// The state behind the Apps screen: the chosen timeframe, the applications with their shares and
// sparklines, the selected application and its detail. A refresh loads the list and the detail of
// the application selected when it was issued as one unit, and only the newest refresh is
// published; a detail asked for by a selection is published whenever its application is still
// the selected one. Main thread only; loads nothing until asked.
// Releasing it waits for the loads already queued, whose answers are then dropped.
class AppsViewModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(ostrel::TimeframePreset timeframe READ timeframe NOTIFY timeframeChanged)
    // Fixed at construction: the custom preset always asks for the seven days before it.
    Q_PROPERTY(QDateTime customRangeStart READ customRangeStart NOTIFY customRangeChanged)
    Q_PROPERTY(QDateTime customRangeEnd READ customRangeEnd NOTIFY customRangeChanged)
    Q_PROPERTY(std::vector<ostrel::ApplicationListItem> applications READ applications NOTIFY applicationsChanged)
    Q_PROPERTY(
        std::optional<ostrel::ApplicationDetailModel> selectedDetail READ selectedDetail NOTIFY selectedDetailChanged)
    // The null string when no application is selected.
    Q_PROPERTY(QString selectedAppID READ selectedAppID NOTIFY selectedAppIDChanged)
    // The null string when there is no error.
    Q_PROPERTY(QString errorMessage READ errorMessage NOTIFY errorMessageChanged)

public:
    static constexpr const char* workerQueueLabel = "ostrel.apps.viewmodel.queue";

    // `clock` gives the moment the custom range ends.
    AppsViewModel(std::shared_ptr<OstrelDataService> dataService, std::shared_ptr<MainQueue> mainQueue,
                  std::function<Date()> clock = currentDate, QObject* parent = nullptr);

    TimeframePreset timeframe() const { return timeframe_; }
    const DateRange& customRange() const { return customRange_; }
    QDateTime customRangeStart() const;
    QDateTime customRangeEnd() const;
    const std::vector<ApplicationListItem>& applications() const { return applications_; }
    const std::optional<ApplicationDetailModel>& selectedDetail() const { return selectedDetail_; }
    const QString& selectedAppID() const { return selectedAppID_; }
    const QString& errorMessage() const { return errorMessage_; }

    // Another timeframe clears the detail and forces a reload; the current one does nothing.
    void setTimeframe(TimeframePreset timeframe);
    // Reloads the list and, with an application selected, its detail; a failure of either
    // publishes neither.
    void refresh(bool forceRefresh);
    // Selects the application and loads its detail afresh, also when it was selected already.
    void selectApplication(const QString& appID);

signals:
    void timeframeChanged();
    void customRangeChanged();
    void applicationsChanged();
    void selectedDetailChanged();
    void selectedAppIDChanged();
    void errorMessageChanged();

private:
    void loadSelectedDetail(const QString& appID, bool forceRefresh);

    std::shared_ptr<OstrelDataService> dataService_;
    std::shared_ptr<MainQueue> mainQueue_;
    TimeframePreset timeframe_ = TimeframePreset::weekly;
    DateRange customRange_;
    std::vector<ApplicationListItem> applications_;
    std::optional<ApplicationDetailModel> selectedDetail_;
    QString selectedAppID_;
    QString errorMessage_;
    std::uint64_t refreshGeneration_ = 0;
    // Released without waiting: loads still queued run on, and their answers are dropped.
    WorkerQueue workerQueue_{workerQueueLabel};
};

}  // namespace ostrel
