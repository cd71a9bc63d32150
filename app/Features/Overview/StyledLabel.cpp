#include "Features/Overview/StyledLabel.hpp"

#include <QPainter>
#include <QStyle>

namespace ostrel {

QColor tintColor(const QPalette& palette, Tint tint) {
    const bool dark = palette.color(QPalette::Window).lightnessF() < 0.5f;
    switch (tint) {
        case Tint::primary:
            return hierarchicalColor(palette, Hierarchy::primary);
        case Tint::secondary:
            return hierarchicalColor(palette, Hierarchy::secondary);
        case Tint::tertiary:
            return hierarchicalColor(palette, Hierarchy::tertiary);
        // The desktop's usual status colours, a shade lighter on dark backgrounds.
        case Tint::red:
            return dark ? QColor(255, 69, 58) : QColor(255, 59, 48);
        case Tint::orange:
            return dark ? QColor(255, 159, 10) : QColor(255, 149, 0);
        case Tint::green:
            return dark ? QColor(48, 209, 88) : QColor(52, 199, 89);
    }
    return palette.color(QPalette::WindowText);
}

StyledLabel::StyledLabel(const QString& text, TextStyle style, Tint tint, QWidget* parent)
    : QLabel(text, parent), tint_(tint) {
    setFont(platformFont(style, font()));
}

void StyledLabel::setTint(Tint tint) {
    if (tint == tint_) return;
    tint_ = tint;
    update();
}

void StyledLabel::setWeight(QFont::Weight weight) {
    QFont weighted = font();
    weighted.setWeight(weight);
    setFont(weighted);
}

void StyledLabel::setElided(bool elided) {
    elided_ = elided;
    updateGeometry();
    update();
}

QSize StyledLabel::minimumSizeHint() const {
    QSize size = QLabel::minimumSizeHint();
    if (elided_) size.setWidth(fontMetrics().horizontalAdvance(QStringLiteral("…")));
    return size;
}

void StyledLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QPalette tinted = palette();
    tinted.setColor(QPalette::WindowText, tintColor(palette(), tint_));
    const QRect area = contentsRect();
    int flags = QStyle::visualAlignment(layoutDirection(), alignment());
    QString shown = text();
    if (wordWrap()) {
        flags |= Qt::TextWordWrap;
    } else if (elided_) {
        shown = fontMetrics().elidedText(shown, Qt::ElideRight, area.width());
    }
    style()->drawItemText(&painter, area, flags, tinted, isEnabled(), shown, QPalette::WindowText);
}

}  // namespace ostrel
