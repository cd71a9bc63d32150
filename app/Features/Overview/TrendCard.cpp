#include "Features/Overview/TrendCard.hpp"

#include <QVBoxLayout>

#include "Model/ScreenTexts.hpp"
#include "UI/SectionCard.hpp"
#include "UI/StyledLabel.hpp"
#include "UI/UsageTrendChart.hpp"

namespace ostrel {

TrendCard::TrendCard(QWidget* parent) : QWidget(parent), card_(new SectionCard({}, nullptr, this)) {
    card_->setObjectName("card");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(card_);
}

void TrendCard::setSnapshot(const OverviewSnapshot& snapshot) {
    card_->setTitle(QString::fromStdString(trendTitle(snapshot.timeframe)));
    if (snapshot.trend.empty()) {
        if (chart_ != nullptr || card_->content() == nullptr) {
            auto* empty =
                new StyledLabel(QStringLiteral("No data in this range yet."), TextStyle::body, Hierarchy::secondary);
            empty->setObjectName("emptyText");
            chart_ = nullptr;
            chartIdentity_.clear();
            card_->setContent(empty);
        }
        return;
    }
    std::string identity = trendChartIdentity(snapshot);
    if (chart_ != nullptr && identity == chartIdentity_) {
        chart_->setPoints(snapshot.trend);
        return;
    }
    chart_ = new UsageTrendChart(snapshot.trend);
    chart_->setObjectName("trendChart");
    chartIdentity_ = std::move(identity);
    card_->setContent(chart_);
}

}  // namespace ostrel
