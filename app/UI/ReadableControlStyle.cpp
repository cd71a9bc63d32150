#include "UI/ReadableControlStyle.hpp"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QSlider>
#include <QStyleFactory>
#include <QStyleOption>
#include <QWidget>
#include <algorithm>

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

void drawSlider(const QStyleOptionSlider& option, const QRect& groove, const QRect& handle, QPainter& painter) {
    const QPalette& palette = option.palette;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (option.subControls & QStyle::SC_SliderGroove) {
        constexpr double kTrack = 4;
        const QRectF track(groove.left() + 1, groove.center().y() + 0.5 - kTrack / 2, groove.width() - 2, kTrack);
        painter.setPen(Qt::NoPen);
        painter.setBrush(ringColor(palette));
        painter.drawRoundedRect(track, kTrack / 2, kTrack / 2);
        // Filled from the minimum's end up to the handle.
        const double middle = handle.center().x() + 0.5;
        QRectF filled = track;
        if (option.upsideDown) {
            filled.setLeft(middle);
        } else {
            filled.setRight(middle);
        }
        painter.setBrush(palette.color(QPalette::Highlight));
        painter.drawRoundedRect(filled, kTrack / 2, kTrack / 2);
    }
    if (option.subControls & QStyle::SC_SliderHandle) {
        const bool pressed = option.activeSubControls & QStyle::SC_SliderHandle && option.state & QStyle::State_Sunken;
        const bool keyboardFocus =
            (option.state & QStyle::State_HasFocus) && (option.state & QStyle::State_KeyboardFocusChange);
        const double diameter = std::min(handle.width(), handle.height()) - 2;
        const QPointF centre = QRectF(handle).center();
        painter.setPen(QPen(ringColor(palette), keyboardFocus ? 3.0 : 2.0));
        const QColor button = palette.color(QPalette::Button);
        painter.setBrush(pressed ? button.darker(110) : button);
        painter.drawEllipse(centre, diameter / 2, diameter / 2);
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

void ReadableControlStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                              QPainter* painter, const QWidget* widget) const {
    const auto* slider = qstyleoption_cast<const QStyleOptionSlider*>(option);
    if (control == CC_Slider && slider && painter && slider->orientation == Qt::Horizontal &&
        slider->tickPosition == QSlider::NoTicks) {
        drawSlider(*slider, subControlRect(CC_Slider, slider, SC_SliderGroove, widget),
                   subControlRect(CC_Slider, slider, SC_SliderHandle, widget), *painter);
        return;
    }
    QProxyStyle::drawComplexControl(control, option, painter, widget);
    // A field's edge; with the focus, the style's own highlighted edge shows instead.
    if ((control == CC_ComboBox || control == CC_SpinBox) && option && painter && !(option->state & State_HasFocus)) {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(ringColor(option->palette), 1.0));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
        painter->restore();
    }
}

void useReadableStyle(QWidget* control) {
    QStyle* base = QStyleFactory::create(QApplication::style()->name());
    if (!base) return;
    auto* style = new ReadableControlStyle(base);
    style->setParent(control);
    control->setStyle(style);
}

}  // namespace ostrel
