#pragma once

#include <QScrollArea>
#include <string_view>
#include <vector>

#include "Model/PeriodTextFormat.hpp"
#include "Model/Records.hpp"

namespace ostrel {

class SectionCard;
class StyledLabel;
class UsageRows;
class UsageTrendChart;

// The detail column of one network or application, four cards in a vertical scroll: its name with
// a line of identity and its totals, its trend, a ranking (the applications on a network, the
// networks of an application) and its busiest periods. A new detail updates the cards in place.
class UsageDetailView final : public QScrollArea {
    Q_OBJECT

public:
    struct Ranking {
        QString title;      // "Top Apps on This Network"
        QString emptyText;  // shown when the ranking is empty
        QString cardName;   // the card's object name
    };

    // Takes `identity`, the first line of the summary card.
    UsageDetailView(QWidget* identity, Ranking ranking, QWidget* parent = nullptr);

    void setUsage(std::string_view name, const UsageSummary& summary, const std::vector<TrendPoint>& trend,
                  const std::vector<RankedUsage>& ranking, const std::vector<TrendPoint>& busiestPeriods);
    // Back to the top, for the detail of another network or application.
    void scrollToTop();

    static constexpr int kSpacing = 12;

private:
    PeriodTextFormat periodText_;
    SectionCard* summaryCard_;
    StyledLabel* total_;
    StyledLabel* traffic_;
    StyledLabel* trendPlaceholder_;
    UsageTrendChart* trendChart_;
    StyledLabel* rankingPlaceholder_;
    UsageRows* rankingRows_;
    UsageRows* busiestPeriodRows_;
};

}  // namespace ostrel
