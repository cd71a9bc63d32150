#pragma once

#include <QScrollArea>

#include "Model/ScreenModels.hpp"

namespace ostrel {

class SectionCard;
class StyledLabel;
class UsageTrendChart;

// One network's detail, four cards in a scroll view: its totals, its trend, the applications
// that used it most and its busiest periods. A new model updates the cards in place.
class NetworkDetailView final : public QScrollArea {
    Q_OBJECT

public:
    explicit NetworkDetailView(QWidget* parent = nullptr);

    const NetworkDetailModel& model() const { return model_; }
    void setModel(const NetworkDetailModel& model);

private:
    void showTrend();
    void showTopApps();
    void showBusiestPeriods();

    NetworkDetailModel model_;
    SectionCard* summaryCard_;
    StyledLabel* type_;
    StyledLabel* total_;
    StyledLabel* split_;
    SectionCard* trendCard_;
    SectionCard* topAppsCard_;
    SectionCard* busiestPeriodsCard_;
};

}  // namespace ostrel
