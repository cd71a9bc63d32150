#include "Features/Apps/StyledLabel.hpp"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QStyle>

namespace ostrel {

StyledLabel::StyledLabel(TextStyle style, Hierarchy level, QWidget* parent) : StyledLabel({}, style, level, parent) {}

StyledLabel::StyledLabel(const QString& text, TextStyle style, Hierarchy level, QWidget* parent)
    : QLabel(text, parent), style_(style), level_(level) {
    setTextFormat(Qt::PlainText);
    applyStyle();
}

void StyledLabel::setWeight(QFont::Weight weight) {
    weight_ = weight;
    applyStyle();
}

void StyledLabel::setElided(bool elided) {
    elided_ = elided;
    updateGeometry();
    update();
}

QSize StyledLabel::minimumSizeHint() const {
    const QSize natural = QLabel::minimumSizeHint();
    if (!elided_ || wordWrap()) return natural;
    return {fontMetrics().horizontalAdvance(QStringLiteral("…")), natural.height()};
}

// Derived from the parent's font rather than the label's own, which already carries the style:
// deriving twice would shrink it once more.
void StyledLabel::applyStyle() {
    if (applying_) return;
    applying_ = true;
    const QWidget* source = parentWidget();
    QFont font = platformFont(style_, source ? source->font() : QApplication::font(this));
    if (weight_) font.setWeight(*weight_);
    if (font != this->font()) setFont(font);
    applying_ = false;
}

void StyledLabel::changeEvent(QEvent* event) {
    switch (event->type()) {
        case QEvent::FontChange:
        case QEvent::ParentChange:
            applyStyle();
            break;
        default:
            break;
    }
    QLabel::changeEvent(event);
}

// The level's colour is taken from the palette at each paint, never stored in the label's own
// palette: a stored colour would stop following the palette the label inherits.
void StyledLabel::paintEvent(QPaintEvent* event) {
    if (level_ == Hierarchy::primary && !elided_) {
        QLabel::paintEvent(event);
        return;
    }
    // The role the text is drawn in: ButtonText inside a button, WindowText elsewhere.
    const QPalette::ColorRole role = foregroundRole();
    QPalette shown = palette();
    QPalette base = shown;
    base.setColor(QPalette::WindowText, shown.color(role));
    shown.setColor(role, hierarchicalColor(base, level_));
    const QRect area = contentsRect();
    int flags = static_cast<int>(QStyle::visualAlignment(layoutDirection(), alignment()));
    QString text = this->text();
    if (wordWrap()) {
        flags |= Qt::TextWordWrap;
    } else if (elided_) {
        text = fontMetrics().elidedText(text, Qt::ElideRight, area.width());
    }
    QPainter painter(this);
    style()->drawItemText(&painter, area, flags, shown, isEnabled(), text, role);
}

}  // namespace ostrel
