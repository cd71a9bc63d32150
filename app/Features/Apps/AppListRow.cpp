#include "Features/Apps/AppListRow.hpp"

#include <QVBoxLayout>

#include "Model/TextFormat.hpp"
#include "UI/AppIconView.hpp"
#include "UI/SparklineView.hpp"
#include "UI/StyledLabel.hpp"

namespace ostrel {
namespace {

QWidget* totalsColumn() {
    auto* column = new QWidget;
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    auto* total = new StyledLabel(TextStyle::callout, Hierarchy::primary, column);
    total->setObjectName("total");
    total->setWeight(QFont::Medium);
    auto* share = new StyledLabel(TextStyle::caption, Hierarchy::secondary, column);
    share->setObjectName("share");
    for (auto* label : {total, share}) {
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        layout->addWidget(label, 0, Qt::AlignRight);
    }
    return column;
}

}  // namespace

AppListRow::AppListRow(QWidget* parent)
    : AppListRow(new AppIconView({}, std::nullopt), new StyledLabel(TextStyle::caption, Hierarchy::secondary),
                 totalsColumn(), parent) {}

AppListRow::AppListRow(AppIconView* icon, StyledLabel* bundleID, QWidget* totals, QWidget* parent)
    : ListRow(icon, bundleID, totals, parent),
      icon_(icon),
      bundleID_(bundleID),
      total_(totals->findChild<StyledLabel*>("total")),
      share_(totals->findChild<StyledLabel*>("share")) {
    setObjectName("appRow");
    bundleID_->setObjectName("bundleID");
}

void AppListRow::setItem(const ApplicationListItem& item) {
    // Looked up again only for another application: the list is reloaded every few seconds.
    if (icon_->bundleID() != item.bundleID || icon_->iconPath() != item.iconPath) {
        icon_->setApplication(item.bundleID, item.iconPath);
    }
    item_ = item;
    setName(item.name);
    // Not always a desktop file's id: an unknown program's comes from its process name.
    bundleID_->setName(item.bundleID);
    sparkline()->setPoints(item.sparkline);
    total_->setText(QString::fromStdString(byteString(item.totalBytes)));
    share_->setText(QString::fromStdString(percentageString(item.share)));
}

}  // namespace ostrel
