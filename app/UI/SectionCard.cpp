#include "UI/SectionCard.hpp"

#include <QEvent>
#include <QPainter>
#include <QVBoxLayout>

#include "UI/PlatformStyle.hpp"
#include "UI/StyledLabel.hpp"

namespace ostrel {

SectionCard::SectionCard(const QString& title, QWidget* content, QWidget* parent)
    : QWidget(parent),
      title_(new StyledLabel(title, TextStyle::headline, Hierarchy::primary, this)),
      layout_(new QVBoxLayout(this)) {
    title_->setObjectName("title");
    title_->setElideMode(Qt::ElideRight);
    layout_->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    layout_->setSpacing(kSpacing);
    layout_->addWidget(title_);
    layout_->addStretch();
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    setContent(content);
}

QString SectionCard::title() const {
    return title_->text();
}

void SectionCard::setTitle(const QString& title) {
    title_->setPlainText(title);
}

void SectionCard::setTitleName(std::string_view name) {
    title_->setName(name);
}

void SectionCard::setContent(QWidget* content) {
    if (content_ == content) return;
    delete content_.data();
    content_ = content;
    // Between the title and the stretch that keeps both at the top.
    if (content_) layout_->insertWidget(1, content_);
}

void SectionCard::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) update();
    QWidget::changeEvent(event);
}

void SectionCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(thinMaterialColor(palette()));
    painter.drawRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
}

}  // namespace ostrel
