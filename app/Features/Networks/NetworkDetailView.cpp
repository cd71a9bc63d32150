#include "Features/Networks/NetworkDetailView.hpp"

#include <QVBoxLayout>

#include "Model/ScreenTexts.hpp"
#include "UI/StyledLabel.hpp"
#include "UI/UsageDetailView.hpp"

namespace ostrel {

NetworkDetailView::NetworkDetailView(QWidget* parent)
    : QWidget(parent),
      type_(new StyledLabel(TextStyle::body, Hierarchy::secondary)),
      cards_(new UsageDetailView(
          type_, {QStringLiteral("Top Apps on This Network"), QStringLiteral("No application traffic attributed yet."),
                  QStringLiteral("topAppsCard")})) {
    type_->setObjectName("type");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(cards_);
}

void NetworkDetailView::setModel(const NetworkDetailModel& model) {
    if (model.networkID != model_.networkID) cards_->scrollToTop();
    model_ = model;
    type_->setText(QString::fromStdString(networkTypeLabel(model.type)));
    cards_->setUsage(model.name, model.summary, model.trend, model.topApps, model.busiestHours);
}

}  // namespace ostrel
