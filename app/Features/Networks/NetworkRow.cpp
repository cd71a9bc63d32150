#include "Features/Networks/NetworkRow.hpp"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QVBoxLayout>

#include "Features/Networks/NetworkTexts.hpp"
#include "Features/Networks/StyledLabel.hpp"
#include "UI/SparklineView.hpp"

namespace ostrel {

NetworkRow::NetworkRow(const NetworkListItem& item, QWidget* parent)
    : QAbstractButton(parent),
      name_(new QLabel(this)),
      type_(new StyledLabel({}, TextStyle::caption, Hierarchy::secondary, this)),
      active_(new StyledLabel("Active", TextStyle::caption, Hierarchy::secondary, this)),
      sparkline_(new SparklineView({}, this)),
      total_(new StyledLabel({}, TextStyle::callout, Hierarchy::primary, this)) {
    setFocusPolicy(Qt::TabFocus);
    // A plain button: its texts are the window's, not a button face's.
    setForegroundRole(QPalette::WindowText);
    name_->setObjectName("name");
    // A long name gives way to the sparkline and the total, and ends in an ellipsis.
    name_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    name_->setMinimumWidth(40);
    name_->installEventFilter(this);
    type_->setObjectName("type");
    active_->setObjectName("active");
    active_->setTint(StyledLabel::Tint::green);
    sparkline_->setObjectName("sparkline");
    total_->setObjectName("total");
    total_->setWeight(QFont::Medium);

    auto* lower = new QHBoxLayout;
    lower->setSpacing(6);
    lower->addWidget(type_);
    lower->addWidget(active_);
    lower->addStretch();
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(name_);
    texts->addLayout(lower);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 5, 8, 5);
    layout->addLayout(texts, 1);
    layout->addWidget(sparkline_);
    layout->addWidget(total_);
    setItem(item);
}

void NetworkRow::setItem(const NetworkListItem& item) {
    item_ = item;
    elideName();
    type_->setText(networkTypeLabel(item.type));
    active_->setVisible(item.isActive);
    sparkline_->setPoints(item.sparkline);
    total_->setText(bytesText(item.totalBytes));
    setAccessibleName(QString::fromStdString(item.name));
}

void NetworkRow::elideName() {
    const QString name = QString::fromStdString(item_.name);
    const QString shown = name_->fontMetrics().elidedText(name, Qt::ElideRight, name_->width());
    name_->setText(shown);
    name_->setToolTip(shown == name ? QString() : name);
}

bool NetworkRow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == name_ && event->type() == QEvent::Resize) elideName();
    return QAbstractButton::eventFilter(watched, event);
}

QSize NetworkRow::sizeHint() const {
    return layout()->sizeHint();
}

void NetworkRow::paintEvent(QPaintEvent*) {
    // A plain button: no frame and no highlight; only the keyboard focus is shown.
    if (!hasFocus()) return;
    QStylePainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
}

}  // namespace ostrel
