#pragma once

#include <QScrollArea>

#include "Features/Apps/PeriodTextFormat.hpp"
#include "Model/ScreenModels.hpp"

namespace ostrel {

class AppIconView;
class SectionCard;
class StyledLabel;
class UsageRowsView;
class UsageTrendChart;

// The detail of one application, four cards in a vertical scroll: its name with icon, bundle
// identifier and totals; the trend; the networks it used most; its busiest periods.
class AppDetailView final : public QScrollArea {
    Q_OBJECT

public:
    explicit AppDetailView(QWidget* parent = nullptr);

    const ApplicationDetailModel& model() const { return model_; }
    void setModel(const ApplicationDetailModel& model);

private:
    ApplicationDetailModel model_;
    PeriodTextFormat periodText_;
    SectionCard* summaryCard_;
    AppIconView* icon_;
    StyledLabel* bundleID_;
    StyledLabel* total_;
    StyledLabel* traffic_;
    StyledLabel* trendPlaceholder_;
    UsageTrendChart* trendChart_;
    StyledLabel* byNetworkPlaceholder_;
    UsageRowsView* byNetworkRows_;
    UsageRowsView* busiestPeriodRows_;
};

}  // namespace ostrel
