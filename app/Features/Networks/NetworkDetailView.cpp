#include "Features/Networks/NetworkDetailView.hpp"

#include <QGridLayout>
#include <QVBoxLayout>
#include <limits>

#include "Features/Networks/NetworkTexts.hpp"
#include "Features/Networks/StyledLabel.hpp"
#include "UI/SectionCard.hpp"
#include "UI/UsageTrendChart.hpp"

namespace ostrel {
namespace {

// Received + sent; counts near the 64-bit limits saturate instead of wrapping.
std::int64_t totalOf(std::int64_t rx, std::int64_t tx) {
    std::int64_t total = 0;
    if (!__builtin_add_overflow(rx, tx, &total)) return total;
    return rx > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
}

// Rows of texts, one column stretching between the first text and the rest.
QWidget* rowsWidget(const std::vector<std::vector<StyledLabel*>>& rows) {
    auto* widget = new QWidget;
    auto* grid = new QGridLayout(widget);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setVerticalSpacing(8);
    grid->setHorizontalSpacing(8);
    grid->setColumnStretch(1, 1);
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        for (int c = 0; c < static_cast<int>(rows[r].size()); ++c) {
            rows[r][c]->setParent(widget);
            grid->addWidget(rows[r][c], r, c == 0 ? 0 : c + 1, c == 0 ? Qt::AlignLeft : Qt::AlignRight);
        }
    }
    return widget;
}

StyledLabel* placeholder(const QString& text) {
    auto* label = new StyledLabel(text, TextStyle::body, Hierarchy::secondary);
    label->setObjectName("placeholder");
    return label;
}

}  // namespace

NetworkDetailView::NetworkDetailView(QWidget* parent)
    : QScrollArea(parent),
      type_(new StyledLabel({}, TextStyle::body, Hierarchy::secondary)),
      total_(new StyledLabel({}, TextStyle::title3)),
      split_(new StyledLabel({}, TextStyle::caption, Hierarchy::secondary)) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    type_->setObjectName("type");
    total_->setObjectName("total");
    total_->setWeight(QFont::Bold);
    split_->setObjectName("split");

    auto* summary = new QWidget;
    auto* lines = new QVBoxLayout(summary);
    lines->setContentsMargins(0, 0, 0, 0);
    for (auto* line : {type_, total_, split_}) {
        line->setParent(summary);
        lines->addWidget(line);
    }

    auto* content = new QWidget;
    content->setObjectName("cards");
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(12, 12, 12, 12);
    stack->setSpacing(12);
    summaryCard_ = new SectionCard({}, summary, content);
    trendCard_ = new SectionCard("Trend", nullptr, content);
    topAppsCard_ = new SectionCard("Top Apps on This Network", nullptr, content);
    busiestPeriodsCard_ = new SectionCard("Busiest Periods", nullptr, content);
    summaryCard_->setObjectName("summaryCard");
    trendCard_->setObjectName("trendCard");
    topAppsCard_->setObjectName("topAppsCard");
    busiestPeriodsCard_->setObjectName("busiestPeriodsCard");
    for (auto* card : {summaryCard_, trendCard_, topAppsCard_, busiestPeriodsCard_}) stack->addWidget(card);
    stack->addStretch();
    setWidget(content);
    viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
}

void NetworkDetailView::setModel(const NetworkDetailModel& model) {
    model_ = model;
    const auto& summary = model.summary;
    summaryCard_->setTitle(QString::fromStdString(model.name));
    type_->setText(networkTypeLabel(model.type));
    total_->setText("Total: " + bytesText(totalOf(summary.rxBytes, summary.txBytes)));
    split_->setText("Download " + bytesText(summary.rxBytes) + " • Upload " + bytesText(summary.txBytes));
    showTrend();
    showTopApps();
    showBusiestPeriods();
}

void NetworkDetailView::showTrend() {
    if (model_.trend.empty()) {
        if (!qobject_cast<StyledLabel*>(trendCard_->content()))
            trendCard_->setContent(placeholder("No data in selected range."));
        return;
    }
    auto* chart = qobject_cast<UsageTrendChart*>(trendCard_->content());
    if (!chart) {
        chart = new UsageTrendChart;
        chart->setObjectName("chart");
        trendCard_->setContent(chart);
    }
    chart->setPoints(model_.trend);
}

void NetworkDetailView::showTopApps() {
    if (model_.topApps.empty()) {
        topAppsCard_->setContent(placeholder("No application traffic attributed yet."));
        return;
    }
    std::vector<std::vector<StyledLabel*>> rows;
    for (const auto& app : model_.topApps) {
        rows.push_back({new StyledLabel(QString::fromStdString(app.title), TextStyle::body),
                        new StyledLabel(bytesText(totalOf(app.rxBytes, app.txBytes)), TextStyle::body),
                        new StyledLabel(shareText(app.share), TextStyle::body, Hierarchy::secondary)});
    }
    topAppsCard_->setContent(rowsWidget(rows));
}

void NetworkDetailView::showBusiestPeriods() {
    if (model_.busiestHours.empty()) {
        busiestPeriodsCard_->setContent(nullptr);  // the title alone
        return;
    }
    const auto calendar = Calendar::current();
    std::vector<std::vector<StyledLabel*>> rows;
    for (const auto& point : model_.busiestHours) {
        rows.push_back({new StyledLabel(periodStartText(point.timestamp, calendar), TextStyle::caption),
                        new StyledLabel(bytesText(totalOf(point.rxBytes, point.txBytes)), TextStyle::caption)});
    }
    busiestPeriodsCard_->setContent(rowsWidget(rows));
}

}  // namespace ostrel
