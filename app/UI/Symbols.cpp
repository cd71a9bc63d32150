#include "UI/Symbols.hpp"

#include <QEvent>
#include <QPainter>
#include <QPixmap>
#include <array>

namespace ostrel {
namespace {

struct SymbolSource {
    const char* name;
    const char* themeName;  // empty where the freedesktop names have none
    const char* bundled;
};

SymbolSource sourceOf(Symbol symbol) {
    switch (symbol) {
        case Symbol::power:
            return {"power", "system-shutdown-symbolic", ":/ostrel/ui/power.svg"};
        case Symbol::chartLine:
            return {"chart.xyaxis.line", "utilities-system-monitor-symbolic", ":/ostrel/ui/chart-line.svg"};
        case Symbol::wifi:
            return {"wifi", "network-wireless-symbolic", ":/ostrel/ui/wifi.svg"};
        case Symbol::connectedApps:
            return {"app.connected.to.app.below.fill", "view-app-grid-symbolic", ":/ostrel/ui/apps.svg"};
        case Symbol::gear:
            return {"gearshape", "emblem-system-symbolic", ":/ostrel/ui/gear.svg"};
        case Symbol::appFill:
            return {"app.fill", "application-x-executable-symbolic", ":/ostrel/ui/application.svg"};
        case Symbol::warning:
            return {"exclamationmark.triangle.fill", "dialog-warning-symbolic", ":/ostrel/ui/warning.svg"};
        case Symbol::flame:
            return {"flame.fill", "", ":/ostrel/ui/flame.svg"};
        case Symbol::bellBadge:
            return {"bell.badge.fill", "", ":/ostrel/ui/bell.svg"};
        case Symbol::bellSlash:
            return {"bell.slash.fill", "notifications-disabled-symbolic", ":/ostrel/ui/bell-slash.svg"};
    }
    return {"", "", ""};
}

constexpr std::size_t kSymbolCount = static_cast<std::size_t>(Symbol::bellSlash) + 1;

// The bundled drawings, each made once: every new icon of a drawing renders it again, into Qt's
// pixmap cache under a key of its own that no later paint asks for. Never released: icons must
// not outlive the application's end, and these live as long as the program.
const QIcon& bundledShape(Symbol symbol) {
    static const auto* const shapes = [] {
        auto* made = new std::array<QIcon, kSymbolCount>;
        for (std::size_t index = 0; index < kSymbolCount; ++index) {
            (*made)[index] = QIcon(QString::fromLatin1(sourceOf(static_cast<Symbol>(index)).bundled));
        }
        return made;
    }();
    return (*shapes)[static_cast<std::size_t>(symbol)];
}

// The shape filled with one colour, as symbol images are drawn.
QPixmap tinted(QPixmap pixmap, const QColor& color) {
    if (pixmap.isNull()) return pixmap;
    QPainter painter(&pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(pixmap.rect(), color);
    return pixmap;
}

}  // namespace

QIcon symbolShape(Symbol symbol) {
    const char* themeName = sourceOf(symbol).themeName;
    // Qt keeps one icon per theme name; it follows the theme as it changes.
    if (*themeName == '\0') return bundledShape(symbol);
    return QIcon::fromTheme(QString::fromLatin1(themeName), bundledShape(symbol));
}

QString symbolName(Symbol symbol) {
    return QString::fromLatin1(sourceOf(symbol).name);
}

QIcon symbolIcon(Symbol symbol, const QColor& color) {
    const QIcon shape = symbolShape(symbol);
    QIcon icon;
    for (const int size : {16, 20, 24, 32, 48}) {
        for (const double ratio : {1.0, 2.0}) {
            QPixmap pixmap = tinted(shape.pixmap(QSize(size, size), ratio), color);
            if (!pixmap.isNull()) icon.addPixmap(pixmap);
        }
    }
    return icon;
}

SymbolView::SymbolView(Symbol symbol, Tint tint, int size, QWidget* parent)
    : QWidget(parent), symbol_(symbol), tint_(tint), size_(size) {
    setFixedSize(size, size);
}

void SymbolView::setSymbol(Symbol symbol, Tint tint) {
    if (symbol == symbol_ && tint == tint_) return;
    symbol_ = symbol;
    tint_ = tint;
    update();
}

void SymbolView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ThemeChange) update();
    QWidget::changeEvent(event);
}

void SymbolView::paintEvent(QPaintEvent*) {
    const QPixmap pixmap = tinted(symbolShape(symbol_).pixmap(QSize(size_, size_), devicePixelRatioF()), color());
    if (pixmap.isNull()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(QRectF(0, 0, size_, size_), pixmap, QRectF(pixmap.rect()));
}

}  // namespace ostrel
