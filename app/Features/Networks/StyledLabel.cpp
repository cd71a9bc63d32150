#include "Features/Networks/StyledLabel.hpp"

#include <QApplication>
#include <QEvent>

namespace ostrel {
namespace {

QColor tinted(StyledLabel::Tint tint, const QPalette& palette) {
    const bool dark = palette.color(QPalette::Window).lightnessF() < 0.5f;
    if (tint == StyledLabel::Tint::green) return dark ? QColor(48, 209, 88) : QColor(40, 160, 70);
    return dark ? QColor(255, 69, 58) : QColor(215, 40, 30);
}

}  // namespace

StyledLabel::StyledLabel(const QString& text, TextStyle style, Hierarchy level, QWidget* parent)
    : QLabel(text, parent), style_(style), level_(level) {
    // Inside a button the inherited role would be the button's text colour.
    setForegroundRole(QPalette::WindowText);
    applyStyle();
}

void StyledLabel::setWeight(QFont::Weight weight) {
    weight_ = weight;
    applyStyle();
}

void StyledLabel::setTint(Tint tint) {
    tint_ = tint;
    applyStyle();
}

void StyledLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    const auto type = event->type();
    if (!applying_ && (type == QEvent::PaletteChange || type == QEvent::FontChange || type == QEvent::ParentChange)) {
        applyStyle();
    }
}

void StyledLabel::applyStyle() {
    // Setting our own font and palette announces a change of each; those are ours, not the parent's.
    applying_ = true;
    const QWidget* parent = parentWidget();
    QFont font = platformFont(style_, parent ? parent->font() : QApplication::font());
    if (weight_) font.setWeight(*weight_);
    setFont(font);
    const QPalette inherited = parent ? parent->palette() : QApplication::palette();
    QPalette own = palette();
    own.setColor(QPalette::WindowText,
                 tint_ == Tint::none ? hierarchicalColor(inherited, level_) : tinted(tint_, inherited));
    setPalette(own);
    applying_ = false;
}

}  // namespace ostrel
