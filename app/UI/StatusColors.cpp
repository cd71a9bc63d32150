#include "UI/StatusColors.hpp"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <utility>

namespace ostrel {

QColor statusColor(StatusColor color, const QPalette& palette) {
    // Light shades dark enough to read as text on a light window; dark ones bright enough on dark.
    const bool dark = palette.color(QPalette::Window).lightnessF() < 0.5f;
    switch (color) {
        case StatusColor::red:
            return dark ? QColor(255, 69, 58) : QColor(215, 40, 30);
        case StatusColor::orange:
            return dark ? QColor(255, 159, 10) : QColor(220, 120, 0);
        case StatusColor::green:
            return dark ? QColor(48, 209, 88) : QColor(30, 150, 60);
    }
    return palette.color(QPalette::WindowText);
}

QColor Tint::color(const QPalette& palette, std::optional<QColor> text) const {
    if (status_) return statusColor(*status_, palette);
    if (!text) return hierarchicalColor(palette, level_);
    QPalette base = palette;
    base.setColor(QPalette::WindowText, *text);
    return hierarchicalColor(base, level_);
}

TintedRoles::TintedRoles(QWidget* widget, std::vector<QPalette::ColorRole> roles, Tint tint)
    : QObject(widget), widget_(widget), roles_(std::move(roles)), tint_(tint) {
    widget->installEventFilter(this);
    apply();
}

void TintedRoles::setTint(Tint tint) {
    tint_ = tint;
    apply();
}

bool TintedRoles::eventFilter(QObject* watched, QEvent* event) {
    if (watched == widget_ && (event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange)) {
        apply();
    }
    return false;
}

void TintedRoles::apply() {
    if (!widget_) return;
    // From the inherited palette, not the widget's own, whose roles this has already replaced.
    const QWidget* parent = widget_->parentWidget();
    const QColor color = tint_.color(parent ? parent->palette() : QApplication::palette(widget_));
    QPalette palette = widget_->palette();
    bool changed = false;
    for (const auto role : roles_) {
        if (palette.color(role) == color && palette.isBrushSet(QPalette::Active, role)) continue;
        palette.setColor(role, color);
        changed = true;
    }
    if (changed) widget_->setPalette(palette);
}

}  // namespace ostrel
