#include "Features/Preferences/SymbolView.hpp"

#include <QEvent>
#include <QIcon>
#include <QPainter>
#include <utility>

namespace ostrel {
namespace {

struct SymbolSource {
    const char* name;
    const char* themeName;  // empty when the freedesktop names have none
    const char* drawing;
};

SymbolSource sourceOf(PreferencesSymbol symbol) {
    switch (symbol) {
        case PreferencesSymbol::warning:
            return {"exclamationmark.triangle.fill", "dialog-warning-symbolic", ":/ostrel/preferences/warning.svg"};
        case PreferencesSymbol::flame:
            return {"flame.fill", "", ":/ostrel/preferences/flame.svg"};
        case PreferencesSymbol::bellBadge:
            return {"bell.badge.fill", "", ":/ostrel/preferences/bell.svg"};
        case PreferencesSymbol::bellSlash:
            return {"bell.slash.fill", "notifications-disabled-symbolic", ":/ostrel/preferences/bell-slash.svg"};
    }
    return {"", "", ""};
}

}  // namespace

QString symbolName(PreferencesSymbol symbol) {
    return QString::fromLatin1(sourceOf(symbol).name);
}

SymbolView::SymbolView(PreferencesSymbol symbol, ColorRule color, QWidget* parent)
    : QWidget(parent), symbol_(symbol), color_(std::move(color)) {
    setFixedSize(kSize, kSize);
}

void SymbolView::setSymbol(PreferencesSymbol symbol, ColorRule color) {
    symbol_ = symbol;
    color_ = std::move(color);
    update();
}

QColor SymbolView::color() const {
    return color_(palette());
}

void SymbolView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ThemeChange) update();
    QWidget::changeEvent(event);
}

void SymbolView::paintEvent(QPaintEvent*) {
    const SymbolSource source = sourceOf(symbol_);
    const QIcon drawing(QString::fromLatin1(source.drawing));
    const QIcon icon = *source.themeName ? QIcon::fromTheme(QString::fromLatin1(source.themeName), drawing) : drawing;
    QPixmap pixmap = icon.pixmap(QSize(kSize, kSize), devicePixelRatioF());
    if (pixmap.isNull()) return;
    {
        QPainter tint(&pixmap);
        tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
        tint.fillRect(pixmap.rect(), color());
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(QRectF(0, 0, kSize, kSize), pixmap, QRectF(pixmap.rect()));
}

}  // namespace ostrel
