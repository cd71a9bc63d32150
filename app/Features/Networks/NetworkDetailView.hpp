#pragma once

#include <QWidget>

#include "Model/ScreenModels.hpp"

namespace ostrel {

class StyledLabel;
class UsageDetailView;

// One network's detail: its type and totals, its trend, the applications that used it most and
// its busiest periods (UsageDetailView). A new model updates the cards in place.
class NetworkDetailView final : public QWidget {
    Q_OBJECT

public:
    explicit NetworkDetailView(QWidget* parent = nullptr);

    const NetworkDetailModel& model() const { return model_; }
    void setModel(const NetworkDetailModel& model);

private:
    NetworkDetailModel model_;
    StyledLabel* type_;
    UsageDetailView* cards_;
};

}  // namespace ostrel
