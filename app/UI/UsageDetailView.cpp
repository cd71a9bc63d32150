#include "UI/UsageDetailView.hpp"

#include <QScrollBar>
#include <QVBoxLayout>
#include <utility>

#include "Model/Calendar.hpp"
#include "Model/ScreenTexts.hpp"
#include "Model/TextFormat.hpp"
#include "UI/SectionCard.hpp"
#include "UI/StyledLabel.hpp"
#include "UI/UsageRows.hpp"
#include "UI/UsageTrendChart.hpp"

namespace ostrel {
namespace {

QWidget* column(std::initializer_list<QWidget*> widgets, int spacing) {
    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    for (auto* widget : widgets) layout->addWidget(widget);
    return box;
}

SectionCard* card(const QString& title, const QString& name, QWidget* content) {
    auto* result = new SectionCard(title, content);
    result->setObjectName(name);
    return result;
}

QString text(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

UsageDetailView::UsageDetailView(QWidget* identity, Ranking ranking, QWidget* parent)
    : QScrollArea(parent),
      total_(new StyledLabel(TextStyle::title3)),
      traffic_(new StyledLabel(TextStyle::caption, Hierarchy::secondary)),
      trendPlaceholder_(
          new StyledLabel(QStringLiteral("No data in selected range."), TextStyle::body, Hierarchy::secondary)),
      trendChart_(new UsageTrendChart),
      rankingPlaceholder_(new StyledLabel(ranking.emptyText, TextStyle::body, Hierarchy::secondary)),
      rankingRows_(new UsageRows(TextStyle::body, true)),
      busiestPeriodRows_(new UsageRows(TextStyle::caption, false)) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    total_->setObjectName("total");
    total_->setWeight(QFont::Bold);
    total_->setElideMode(Qt::ElideRight);
    traffic_->setObjectName("traffic");
    traffic_->setElideMode(Qt::ElideRight);
    trendPlaceholder_->setObjectName("trendPlaceholder");
    trendChart_->setObjectName("trendChart");
    rankingPlaceholder_->setObjectName("rankingPlaceholder");
    rankingRows_->setObjectName("rankingRows");
    busiestPeriodRows_->setObjectName("busiestPeriodRows");

    summaryCard_ = card({}, QStringLiteral("summaryCard"), column({identity, total_, traffic_}, 6));
    auto* content = new QWidget;
    content->setObjectName("cards");
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(kSpacing, kSpacing, kSpacing, kSpacing);
    layout->setSpacing(kSpacing);
    layout->addWidget(summaryCard_);
    layout->addWidget(
        card(QStringLiteral("Trend"), QStringLiteral("trendCard"), column({trendPlaceholder_, trendChart_}, 0)));
    layout->addWidget(card(ranking.title, ranking.cardName, column({rankingPlaceholder_, rankingRows_}, 0)));
    layout->addWidget(
        card(QStringLiteral("Busiest Periods"), QStringLiteral("busiestPeriodsCard"), busiestPeriodRows_));
    layout->addStretch();
    setWidget(content);
    viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
    setUsage({}, {}, {}, {}, {});
}

void UsageDetailView::scrollToTop() {
    verticalScrollBar()->setValue(verticalScrollBar()->minimum());
}

void UsageDetailView::setUsage(std::string_view name, const UsageSummary& summary, const std::vector<TrendPoint>& trend,
                               const std::vector<RankedUsage>& ranking, const std::vector<TrendPoint>& busiestPeriods) {
    summaryCard_->setTitleName(name);
    total_->setText(text(totalLineText(summary)));
    traffic_->setText(text(downloadUploadText(summary)));

    trendPlaceholder_->setVisible(trend.empty());
    trendChart_->setVisible(!trend.empty());
    trendChart_->setPoints(trend);

    std::vector<UsageRows::Row> rows;
    for (const RankedUsage& item : ranking) {
        rows.push_back(
            {item.title, text(totalBytesText(item.rxBytes, item.txBytes)), text(percentageString(item.share))});
    }
    rankingRows_->setRows(rows);
    rankingPlaceholder_->setVisible(rows.empty());
    rankingRows_->setVisible(!rows.empty());

    const Calendar calendar = Calendar::current();
    std::vector<UsageRows::Row> periods;
    for (const TrendPoint& point : busiestPeriods) {
        periods.push_back(
            {periodText_(point.timestamp, calendar), text(totalBytesText(point.rxBytes, point.txBytes)), {}});
    }
    busiestPeriodRows_->setRows(periods);
    // With no periods the card shows its title alone.
    busiestPeriodRows_->setVisible(!periods.empty());
}

}  // namespace ostrel
