#include "Features/Apps/AppDetailView.hpp"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "UI/AppIconView.hpp"
#include "UI/StyledLabel.hpp"
#include "UI/UsageDetailView.hpp"

namespace ostrel {
namespace {

QWidget* identityLine(AppIconView* icon, StyledLabel* bundleID) {
    auto* line = new QWidget;
    auto* layout = new QHBoxLayout(line);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(icon, 0, Qt::AlignVCenter);
    layout->addWidget(bundleID, 1, Qt::AlignVCenter);
    return line;
}

}  // namespace

AppDetailView::AppDetailView(QWidget* parent)
    : QWidget(parent),
      icon_(new AppIconView({}, std::nullopt)),
      bundleID_(new StyledLabel(TextStyle::caption, Hierarchy::secondary)),
      cards_(new UsageDetailView(identityLine(icon_, bundleID_), {QStringLiteral("Usage by Network"),
                                                                  QStringLiteral("No network-level attribution yet."),
                                                                  QStringLiteral("byNetworkCard")})) {
    setObjectName("appDetail");
    bundleID_->setObjectName("bundleID");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(cards_);
    setModel(model_);
}

void AppDetailView::setModel(const ApplicationDetailModel& model) {
    if (model.appID != model_.appID) cards_->scrollToTop();
    model_ = model;
    if (icon_->bundleID() != model.bundleID || icon_->iconPath() != model.iconPath) {
        icon_->setApplication(model.bundleID, model.iconPath);
    }
    bundleID_->setName(model.bundleID);
    cards_->setUsage(model.name, model.summary, model.trend, model.byNetwork, model.busiestHours);
}

}  // namespace ostrel
