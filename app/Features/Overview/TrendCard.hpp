#pragma once

#include <QWidget>
#include <string>

#include "Model/ScreenModels.hpp"

namespace ostrel {

class SectionCard;
class UsageTrendChart;

// "Usage Trend (<timeframe>)": the overview's trend as a chart, or a line saying there is none.
// A chart is replaced by a new one when the timeframe, the range or the number of points
// changes, and only given its new values otherwise.
class TrendCard final : public QWidget {
    Q_OBJECT

public:
    explicit TrendCard(QWidget* parent = nullptr);

    void setSnapshot(const OverviewSnapshot& snapshot);
    // None while the trend is empty.
    UsageTrendChart* chart() const { return chart_; }

private:
    SectionCard* card_;
    UsageTrendChart* chart_ = nullptr;  // the card's content, or null
    std::string chartIdentity_;
};

}  // namespace ostrel
