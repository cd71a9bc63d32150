#include "Features/Networks/NetworkRow.hpp"

#include <QHBoxLayout>

#include "Model/ScreenTexts.hpp"
#include "Model/TextFormat.hpp"
#include "UI/SparklineView.hpp"
#include "UI/StyledLabel.hpp"

namespace ostrel {
namespace {

QWidget* detailsLine(StyledLabel* type, StyledLabel* active) {
    auto* line = new QWidget;
    auto* layout = new QHBoxLayout(line);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(type);
    layout->addWidget(active);
    layout->addStretch();
    return line;
}

}  // namespace

NetworkRow::NetworkRow(QWidget* parent)
    : NetworkRow(new StyledLabel(TextStyle::caption, Hierarchy::secondary),
                 new StyledLabel(QStringLiteral("Active"), TextStyle::caption, StatusColor::green),
                 new StyledLabel(TextStyle::callout, Hierarchy::primary), parent) {}

NetworkRow::NetworkRow(StyledLabel* type, StyledLabel* active, StyledLabel* total, QWidget* parent)
    : ListRow(nullptr, detailsLine(type, active), total, parent), type_(type), active_(active), total_(total) {
    type_->setObjectName("type");
    active_->setObjectName("active");
    total_->setObjectName("total");
    total_->setWeight(QFont::Medium);
    total_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

void NetworkRow::setItem(const NetworkListItem& item) {
    item_ = item;
    setName(item.name);
    type_->setText(QString::fromStdString(networkTypeLabel(item.type)));
    active_->setVisible(item.isActive);
    sparkline()->setPoints(item.sparkline);
    total_->setText(QString::fromStdString(byteString(item.totalBytes)));
}

}  // namespace ostrel
