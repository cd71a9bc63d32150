#include "UI/ListRow.hpp"

#include <QHBoxLayout>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <QVBoxLayout>

#include "UI/PlatformStyle.hpp"
#include "UI/SparklineView.hpp"
#include "UI/StyledLabel.hpp"

namespace ostrel {

ListRow::ListRow(QWidget* leading, QWidget* details, QWidget* trailing, QWidget* parent)
    : QAbstractButton(parent),
      name_(new StyledLabel(TextStyle::body, Hierarchy::primary, this)),
      sparkline_(new SparklineView({}, this)) {
    name_->setObjectName("name");
    sparkline_->setObjectName("sparkline");
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    auto* texts = new QVBoxLayout;
    texts->setContentsMargins(0, 0, 0, 0);
    texts->setSpacing(2);
    texts->addWidget(name_);
    texts->addWidget(details);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(8);
    if (leading != nullptr) layout->addWidget(leading, 0, Qt::AlignVCenter);
    layout->addLayout(texts, 1);
    layout->addWidget(sparkline_, 0, Qt::AlignVCenter);
    // As wide as most totals, so that the sparklines of the rows line up.
    trailing->setMinimumWidth(QFontMetrics(platformFont(TextStyle::callout, font())).horizontalAdvance(kWideTotal));
    layout->addWidget(trailing, 0, Qt::AlignVCenter);
}

void ListRow::setName(std::string_view name) {
    name_->setName(name);
    setAccessibleName(name_->text());
}

QSize ListRow::sizeHint() const {
    return layout()->sizeHint();
}

void ListRow::paintEvent(QPaintEvent*) {
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
