#pragma once

#include <QColor>
#include <QIcon>
#include <QString>
#include <QWidget>

#include "UI/StatusColors.hpp"

namespace ostrel {

// The system symbols the popover shows, as freedesktop icon-theme names with bundled drawings.
enum class Symbol {
    power,          // "power"
    chartLine,      // "chart.xyaxis.line"
    wifi,           // "wifi"
    connectedApps,  // "app.connected.to.app.below.fill"
    gear,           // "gearshape"
    appFill,        // "app.fill"
    warning,        // "exclamationmark.triangle.fill"
    flame,          // "flame.fill"
    bellBadge,      // "bell.badge.fill"
    bellSlash,      // "bell.slash.fill"
};

// The symbol's system name, as above.
QString symbolName(Symbol symbol);

// The symbol's shape: the icon theme's symbolic icon when the theme has one, else the bundled
// drawing. The same icon on every call, so that its renderings are cached and found again.
QIcon symbolShape(Symbol symbol);

// The symbol in one colour, as symbols are drawn: the icon theme's symbolic icon when the theme
// has one, else the bundled drawing.
QIcon symbolIcon(Symbol symbol, const QColor& color);

// A symbol drawn in a tint, square, recoloured when the palette changes.
class SymbolView final : public QWidget {
    Q_OBJECT

public:
    SymbolView(Symbol symbol, Tint tint, int size, QWidget* parent = nullptr);

    void setSymbol(Symbol symbol, Tint tint);
    Symbol symbol() const { return symbol_; }
    Tint tint() const { return tint_; }
    // The colour it is drawn in, under its current palette.
    QColor color() const { return tint_.color(palette()); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    Symbol symbol_;
    Tint tint_;
    int size_;
};

}  // namespace ostrel
