#include "UI/ReadableControlStyle.hpp"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QStyleFactory>
#include <QStyleOption>
#include <QWidget>

namespace ostrel {
namespace {

// Against a card of the window's shade this keeps the ring above 3:1 in light and dark palettes.
constexpr float kRingStrength = 0.6f;

QColor ringColor(const QPalette& palette) {
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(color.alphaF() * kRingStrength);
    return color;
}

void drawCheckBoxSquare(const QStyleOption& option, QPainter& painter) {
    const QPalette& palette = option.palette;
    const bool on = option.state & QStyle::State_On;
    const bool partly = option.state & QStyle::State_NoChange;
    const bool pressed = option.state & QStyle::State_Sunken;
    const bool keyboardFocus =
        (option.state & QStyle::State_HasFocus) && (option.state & QStyle::State_KeyboardFocusChange);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF square = QRectF(option.rect).adjusted(0.5, 0.5, -0.5, -0.5);
    QColor fill = (on || partly) ? palette.color(QPalette::Highlight) : palette.color(QPalette::Base);
    if (pressed) fill = fill.darker(115);
    painter.setPen(QPen(ringColor(palette), keyboardFocus ? 2.0 : 1.0));
    painter.setBrush(fill);
    painter.drawRoundedRect(square, 2, 2);

    const QColor mark = palette.color(QPalette::HighlightedText);
    const double w = square.width(), h = square.height();
    if (partly) {
        painter.setPen(QPen(mark, 2, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(square.left() + w * 0.28, square.center().y()),
                         QPointF(square.right() - w * 0.28, square.center().y()));
    } else if (on) {
        QPainterPath tick;
        tick.moveTo(square.left() + w * 0.24, square.top() + h * 0.52);
        tick.lineTo(square.left() + w * 0.42, square.top() + h * 0.72);
        tick.lineTo(square.left() + w * 0.76, square.top() + h * 0.30);
        painter.setPen(QPen(mark, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(tick);
    }
    painter.restore();
}

}  // namespace

ReadableControlStyle::ReadableControlStyle(QStyle* base) : QProxyStyle(base) {}

void ReadableControlStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                         const QWidget* widget) const {
    if (element == PE_IndicatorCheckBox && option && painter) {
        drawCheckBoxSquare(*option, *painter);
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void useReadableStyle(QWidget* control) {
    QStyle* base = QStyleFactory::create(QApplication::style()->name());
    if (!base) return;
    auto* style = new ReadableControlStyle(base);
    style->setParent(control);
    control->setStyle(style);
}

}  // namespace ostrel
