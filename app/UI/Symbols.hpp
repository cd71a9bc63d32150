#pragma once

#include <QColor>
#include <QIcon>

namespace ostrel {

// The system symbols the popover shows, as freedesktop icon-theme names with bundled drawings.
enum class Symbol {
    power,          // "power"
    chartLine,      // "chart.xyaxis.line"
    wifi,           // "wifi"
    connectedApps,  // "app.connected.to.app.below.fill"
    gear,           // "gearshape"
};

// The symbol in one colour, as symbols are drawn: the icon theme's symbolic icon when the theme
// has one, else the bundled drawing.
QIcon symbolIcon(Symbol symbol, const QColor& color);

}  // namespace ostrel
