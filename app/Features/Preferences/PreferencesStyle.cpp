#include "Features/Preferences/PreferencesStyle.hpp"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QWidget>
#include <utility>

namespace ostrel {
namespace {

bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightnessF() < 0.5f;
}

}  // namespace

QColor systemColor(SystemColor color, const QPalette& palette) {
    const bool dark = isDark(palette);
    switch (color) {
        case SystemColor::orange:
            return dark ? QColor(255, 159, 10) : QColor(230, 126, 0);
        case SystemColor::red:
            return dark ? QColor(255, 69, 58) : QColor(215, 40, 30);
        case SystemColor::green:
            return dark ? QColor(48, 209, 88) : QColor(30, 150, 60);
        case SystemColor::secondary:
            break;
    }
    return hierarchicalColor(palette, Hierarchy::secondary);
}

ColorRule colorRule(SystemColor color) {
    return [color](const QPalette& palette) { return systemColor(color, palette); };
}

QFont subheadlineFont(const QFont& body) {
    QFont font = platformFont(TextStyle::callout, body);
    if (font.pointSizeF() > 0) font.setPointSizeF(font.pointSizeF() * 11.0 / 12.0);
    return font;
}

QFont weighted(QFont font, QFont::Weight weight) {
    font.setWeight(weight);
    return font;
}

Tint::Tint(QWidget* widget, std::vector<QPalette::ColorRole> roles, ColorRule rule)
    : QObject(widget), widget_(widget), roles_(std::move(roles)), rule_(std::move(rule)) {
    widget->installEventFilter(this);
    apply();
}

void Tint::setRule(ColorRule rule) {
    rule_ = std::move(rule);
    apply();
}

bool Tint::eventFilter(QObject* watched, QEvent* event) {
    if (watched == widget_ && (event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange)) {
        apply();
    }
    return false;
}

void Tint::apply() {
    if (!widget_) return;
    // The inherited palette, not the widget's own, whose roles this has already replaced.
    const QWidget* parent = widget_->parentWidget();
    const QColor color = rule_(parent ? parent->palette() : QApplication::palette(widget_));
    QPalette palette = widget_->palette();
    bool changed = false;
    for (const auto role : roles_) {
        if (palette.color(role) == color && palette.isBrushSet(QPalette::Active, role)) continue;
        palette.setColor(role, color);
        changed = true;
    }
    if (changed) widget_->setPalette(palette);
}

QLabel* styledLabel(const QString& text, const QFont& font, ColorRule color, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    if (color) new Tint(label, {QPalette::WindowText}, std::move(color));
    return label;
}

QLabel* captionLabel(const QString& text, QWidget* parent) {
    auto* label = styledLabel(text, platformFont(TextStyle::caption, QApplication::font()),
                              colorRule(SystemColor::secondary), parent);
    label->setWordWrap(true);
    return label;
}

}  // namespace ostrel
