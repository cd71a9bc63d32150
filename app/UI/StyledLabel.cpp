#include "UI/StyledLabel.hpp"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QStyle>

#include "Model/DisplayName.hpp"

namespace ostrel {
namespace {

const QString kEllipsis = QStringLiteral("\u2026");

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

StyledLabel::StyledLabel(TextStyle style, Tint tint, QWidget* parent) : StyledLabel({}, style, tint, parent) {}

StyledLabel::StyledLabel(const QString& text, TextStyle style, Tint tint, QWidget* parent)
    : QLabel(parent), style_(style), tint_(tint) {
    setTextFormat(Qt::PlainText);
    setText(text);
    applyStyle();
}

void StyledLabel::setTint(Tint tint) {
    if (tint == tint_) return;
    tint_ = tint;
    update();
}

void StyledLabel::setWeight(QFont::Weight weight) {
    weight_ = weight;
    applyStyle();
}

void StyledLabel::setElideMode(Qt::TextElideMode mode) {
    if (mode == elideMode_) return;
    elideMode_ = mode;
    updateGeometry();
    update();
}

void StyledLabel::setName(std::string_view name, const QString& prefix) {
    name_ = fromUtf8(singleLineName(name));
    prefix_ = prefix;
    elideMode_ = Qt::ElideMiddle;
    setText(prefix_ + *name_);
    updateToolTip();
}

void StyledLabel::setPlainText(const QString& text) {
    if (name_) {
        name_.reset();
        prefix_.clear();
        setToolTip({});
    }
    setText(text);
}

QString StyledLabel::shownText() const {
    const int width = contentsRect().width();
    const QFontMetrics metrics = fontMetrics();
    if (name_) {
        const int room = std::max(0, width - metrics.horizontalAdvance(prefix_));
        return prefix_ + fromUtf8(kFirstStrongIsolate) + metrics.elidedText(*name_, Qt::ElideMiddle, room) +
               fromUtf8(kPopDirectionalIsolate);
    }
    if (elideMode_ == Qt::ElideNone || wordWrap()) return text();
    return metrics.elidedText(text(), elideMode_, width);
}

QColor StyledLabel::color() const {
    // The role the text is drawn in: ButtonText inside a button, WindowText elsewhere.
    return tint_.color(palette(), palette().color(foregroundRole()));
}

QSize StyledLabel::minimumSizeHint() const {
    const QSize natural = QLabel::minimumSizeHint();
    if (wordWrap() || (elideMode_ == Qt::ElideNone && !name_)) return natural;
    const int least = fontMetrics().horizontalAdvance((name_ ? prefix_ : QString()) + kEllipsis);
    return {least + contentsMargins().left() + contentsMargins().right(), natural.height()};
}

void StyledLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    updateToolTip();
}

void StyledLabel::updateToolTip() {
    if (!name_) return;
    const bool cut = fontMetrics().horizontalAdvance(prefix_ + *name_) > contentsRect().width();
    // Escaped and marked up, so that a name never reads as markup of its own.
    setToolTip(cut ? QStringLiteral("<p>") + name_->toHtmlEscaped() + QStringLiteral("</p>") : QString());
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
        case QEvent::ApplicationFontChange:
            applyStyle();
            updateToolTip();
            break;
        default:
            break;
    }
    QLabel::changeEvent(event);
}

void StyledLabel::paintEvent(QPaintEvent*) {
    const QPalette::ColorRole role = foregroundRole();
    QPalette shown = palette();
    shown.setColor(role, color());
    int flags = static_cast<int>(QStyle::visualAlignment(layoutDirection(), alignment()));
    if (wordWrap()) flags |= Qt::TextWordWrap;
    QPainter painter(this);
    style()->drawItemText(&painter, contentsRect(), flags, shown, isEnabled(), shownText(), role);
}

}  // namespace ostrel
