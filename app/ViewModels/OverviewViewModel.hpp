#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "Model/Date.hpp"
#include "Model/Enums.hpp"
#include "Model/Records.hpp"
#include "Model/ScreenModels.hpp"
#include "Platform/MainQueue.hpp"
#include "Services/OstrelDataService.hpp"
#include "ViewModels/WorkerQueue.hpp"

namespace ostrel {

// The state behind the Overview screen: the chosen timeframe and custom range, the last overview
// and whether a request runs. Loads run on a worker queue of its own; only the newest request's
// answer is published. Main thread only; loads nothing until asked.
// Releasing it waits for the loads already queued, whose answers are then dropped.
class OverviewViewModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(ostrel::TimeframePreset timeframe READ timeframe NOTIFY timeframeChanged)
    // Both ends of the one custom range, which changes as a whole.
    Q_PROPERTY(QDateTime customRangeStart READ customRangeStart NOTIFY customRangeChanged)
    Q_PROPERTY(QDateTime customRangeEnd READ customRangeEnd NOTIFY customRangeChanged)
    Q_PROPERTY(std::optional<ostrel::OverviewSnapshot> snapshot READ snapshot NOTIFY snapshotChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    // The null string when there is no error.
    Q_PROPERTY(QString errorMessage READ errorMessage NOTIFY errorMessageChanged)

public:
    static constexpr const char* workerQueueLabel = "ostrel.overview.viewmodel.queue";

    // `clock` gives the moment the starting custom range ends.
    OverviewViewModel(std::shared_ptr<OstrelDataService> dataService, std::shared_ptr<MainQueue> mainQueue,
                      std::function<Date()> clock = currentDate, QObject* parent = nullptr);

    TimeframePreset timeframe() const { return timeframe_; }
    const DateRange& customRange() const { return customRange_; }
    QDateTime customRangeStart() const;
    QDateTime customRangeEnd() const;
    const std::optional<OverviewSnapshot>& snapshot() const { return snapshot_; }
    bool isLoading() const { return isLoading_; }
    const QString& errorMessage() const { return errorMessage_; }

    // A non-forced refresh, when there is no overview and no request runs.
    void loadIfNeeded();
    void refresh(bool forceRefresh);
    // Another timeframe empties the screen and forces a reload; the current one does nothing.
    void setTimeframe(TimeframePreset timeframe);
    // Stores the two dates in order, empties the screen and forces a reload, every time.
    void updateCustomRange(Date start, Date end);
    void updateCustomRange(const QDateTime& start, const QDateTime& end);

signals:
    void timeframeChanged();
    void customRangeChanged();
    void snapshotChanged();
    void isLoadingChanged();
    void errorMessageChanged();

private:
    void clearForReload();

    std::shared_ptr<OstrelDataService> dataService_;
    std::shared_ptr<MainQueue> mainQueue_;
    TimeframePreset timeframe_ = TimeframePreset::weekly;
    DateRange customRange_;
    std::optional<OverviewSnapshot> snapshot_;
    bool isLoading_ = false;
    QString errorMessage_;
    std::uint64_t refreshGeneration_ = 0;
    // Released without waiting: loads still queued run on, and their answers are dropped.
    WorkerQueue workerQueue_{workerQueueLabel};
};

}  // namespace ostrel
