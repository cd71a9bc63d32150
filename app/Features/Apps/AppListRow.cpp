#include "Features/Apps/AppListRow.hpp"

#include <QHBoxLayout>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <QVBoxLayout>

#include "Features/Apps/StyledLabel.hpp"
#include "Model/TextFormat.hpp"
#include "UI/AppIconView.hpp"
#include "UI/SparklineView.hpp"

namespace ostrel {
namespace {

QVBoxLayout* twoLines(QWidget* top, QWidget* bottom, Qt::Alignment alignment) {
    auto* lines = new QVBoxLayout;
    lines->setContentsMargins(0, 0, 0, 0);
    lines->setSpacing(2);
    lines->addWidget(top, 0, alignment);
    lines->addWidget(bottom, 0, alignment);
    return lines;
}

}  // namespace

AppListRow::AppListRow(QWidget* parent)
    : QAbstractButton(parent),
      icon_(new AppIconView({}, std::nullopt, this)),
      name_(new StyledLabel(TextStyle::body, Hierarchy::primary, this)),
      bundleID_(new StyledLabel(TextStyle::caption, Hierarchy::secondary, this)),
      sparkline_(new SparklineView({}, this)),
      total_(new StyledLabel(TextStyle::callout, Hierarchy::primary, this)),
      share_(new StyledLabel(TextStyle::caption, Hierarchy::secondary, this)) {
    setObjectName("appRow");
    name_->setObjectName("name");
    bundleID_->setObjectName("bundleID");
    total_->setObjectName("total");
    share_->setObjectName("share");
    name_->setElided(true);
    bundleID_->setElided(true);
    total_->setWeight(QFont::Medium);
    for (auto* label : {total_, share_}) label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(8);
    layout->addWidget(icon_, 0, Qt::AlignVCenter);
    layout->addLayout(twoLines(name_, bundleID_, Qt::AlignLeft), 1);
    layout->addWidget(sparkline_, 0, Qt::AlignVCenter);
    layout->addLayout(twoLines(total_, share_, Qt::AlignRight));
}

void AppListRow::setItem(const ApplicationListItem& item) {
    // Looked up again only for another application: the list is reloaded every few seconds.
    if (icon_->bundleID() != item.bundleID || icon_->iconPath() != item.iconPath) {
        icon_->setApplication(item.bundleID, item.iconPath);
    }
    item_ = item;
    name_->setText(QString::fromStdString(item.name));
    bundleID_->setText(QString::fromStdString(item.bundleID));
    sparkline_->setPoints(item.sparkline);
    total_->setText(QString::fromStdString(byteString(item.totalBytes)));
    share_->setText(QString::fromStdString(percentageString(item.share)));
    setAccessibleName(name_->text());
}

QSize AppListRow::sizeHint() const {
    return layout()->sizeHint();
}

void AppListRow::paintEvent(QPaintEvent*) {
    // Plain: only a press and the keyboard focus show.
    QPainter painter(this);
    if (isDown()) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(hierarchicalColor(palette(), Hierarchy::quaternary));
        painter.drawRoundedRect(QRectF(rect()), 6, 6);
    }
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

}  // namespace ostrel
