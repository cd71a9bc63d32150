#include "Features/Apps/AppDetailView.hpp"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "Features/Apps/StyledLabel.hpp"
#include "Features/Apps/UsageRowsView.hpp"
#include "Model/Calendar.hpp"
#include "Model/SaturatingAdd.hpp"
#include "Model/TextFormat.hpp"
#include "UI/AppIconView.hpp"
#include "UI/SectionCard.hpp"
#include "UI/UsageTrendChart.hpp"

namespace ostrel {
namespace {

constexpr int kSpacing = 12;

QString bytesText(std::int64_t count) {
    return QString::fromStdString(byteString(count));
}

QWidget* column(std::initializer_list<QWidget*> widgets, int spacing) {
    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    for (auto* widget : widgets) layout->addWidget(widget);
    return box;
}

}  // namespace

AppDetailView::AppDetailView(QWidget* parent)
    : QScrollArea(parent),
      icon_(new AppIconView({}, std::nullopt)),
      bundleID_(new StyledLabel(TextStyle::caption, Hierarchy::secondary)),
      total_(new StyledLabel(TextStyle::title3)),
      traffic_(new StyledLabel(TextStyle::caption, Hierarchy::secondary)),
      trendPlaceholder_(
          new StyledLabel(QStringLiteral("No data in selected range."), TextStyle::body, Hierarchy::secondary)),
      trendChart_(new UsageTrendChart),
      byNetworkPlaceholder_(
          new StyledLabel(QStringLiteral("No network-level attribution yet."), TextStyle::body, Hierarchy::secondary)),
      byNetworkRows_(new UsageRowsView(TextStyle::body)),
      busiestPeriodRows_(new UsageRowsView(TextStyle::caption)) {
    setObjectName("appDetail");
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    bundleID_->setObjectName("bundleID");
    bundleID_->setElided(true);
    total_->setObjectName("total");
    total_->setWeight(QFont::Bold);
    traffic_->setObjectName("traffic");
    trendPlaceholder_->setObjectName("trendPlaceholder");
    trendChart_->setObjectName("trendChart");
    byNetworkPlaceholder_->setObjectName("byNetworkPlaceholder");
    byNetworkRows_->setObjectName("byNetworkRows");
    busiestPeriodRows_->setObjectName("busiestPeriodRows");

    auto* identity = new QWidget;
    auto* identityLayout = new QHBoxLayout(identity);
    identityLayout->setContentsMargins(0, 0, 0, 0);
    identityLayout->addWidget(icon_, 0, Qt::AlignVCenter);
    identityLayout->addWidget(bundleID_, 1, Qt::AlignVCenter);

    summaryCard_ = new SectionCard({}, column({identity, total_, traffic_}, 6));
    summaryCard_->setObjectName("summaryCard");
    auto* trendCard = new SectionCard(QStringLiteral("Trend"), column({trendPlaceholder_, trendChart_}, 0));
    trendCard->setObjectName("trendCard");
    auto* byNetworkCard =
        new SectionCard(QStringLiteral("Usage by Network"), column({byNetworkPlaceholder_, byNetworkRows_}, 0));
    byNetworkCard->setObjectName("byNetworkCard");
    auto* busiestCard = new SectionCard(QStringLiteral("Busiest Periods"), busiestPeriodRows_);
    busiestCard->setObjectName("busiestPeriodsCard");

    auto* content = new QWidget;
    content->setAutoFillBackground(false);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(kSpacing, kSpacing, kSpacing, kSpacing);
    layout->setSpacing(kSpacing);
    for (auto* card : {summaryCard_, trendCard, byNetworkCard, busiestCard}) layout->addWidget(card);
    layout->addStretch();
    setWidget(content);
    viewport()->setAutoFillBackground(false);
    setModel(model_);
}

void AppDetailView::setModel(const ApplicationDetailModel& model) {
    model_ = model;
    summaryCard_->setTitle(QString::fromStdString(model.name));
    if (icon_->bundleID() != model.bundleID || icon_->iconPath() != model.iconPath) {
        icon_->setApplication(model.bundleID, model.iconPath);
    }
    bundleID_->setText(QString::fromStdString(model.bundleID));
    bundleID_->setToolTip(bundleID_->text());
    total_->setText(QStringLiteral("Total: ") + bytesText(saturatingAdd(model.summary.rxBytes, model.summary.txBytes)));
    traffic_->setText(QStringLiteral("Download ") + bytesText(model.summary.rxBytes) + QStringLiteral(" • Upload ") +
                      bytesText(model.summary.txBytes));

    trendPlaceholder_->setVisible(model.trend.empty());
    trendChart_->setVisible(!model.trend.empty());
    trendChart_->setPoints(model.trend);

    std::vector<UsageRowsView::Row> networks;
    for (const auto& network : model.byNetwork) {
        networks.push_back({QString::fromStdString(network.title),
                            bytesText(saturatingAdd(network.rxBytes, network.txBytes)),
                            QString::fromStdString(percentageString(network.share))});
    }
    byNetworkRows_->setRows(networks);
    byNetworkPlaceholder_->setVisible(networks.empty());
    byNetworkRows_->setVisible(!networks.empty());

    const Calendar calendar = Calendar::current();
    std::vector<UsageRowsView::Row> periods;
    for (const auto& point : model.busiestHours) {
        periods.push_back({QString::fromStdString(periodText_(point.timestamp, calendar)),
                           bytesText(saturatingAdd(point.rxBytes, point.txBytes)),
                           {}});
    }
    busiestPeriodRows_->setRows(periods);
    // With no periods the card shows its title alone.
    busiestPeriodRows_->setVisible(!periods.empty());
}

}  // namespace ostrel
