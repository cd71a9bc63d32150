#pragma once

#include <QWidget>

#include "Model/ScreenModels.hpp"

namespace ostrel {

class AppIconView;
class StyledLabel;
class UsageDetailView;

// One application's detail: its icon with its bundle identifier and its totals, its trend, the
// networks it used most and its busiest periods (UsageDetailView).
class AppDetailView final : public QWidget {
    Q_OBJECT

public:
    explicit AppDetailView(QWidget* parent = nullptr);

    const ApplicationDetailModel& model() const { return model_; }
    void setModel(const ApplicationDetailModel& model);

private:
    ApplicationDetailModel model_;
    AppIconView* icon_;
    StyledLabel* bundleID_;
    UsageDetailView* cards_;
};

}  // namespace ostrel
