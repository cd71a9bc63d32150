#include "UI/Symbols.hpp"

#include <QPainter>
#include <QPixmap>

namespace ostrel {
namespace {

struct SymbolSource {
    const char* themeName;
    const char* bundled;
};

SymbolSource sourceOf(Symbol symbol) {
    switch (symbol) {
        case Symbol::power:
            return {"system-shutdown-symbolic", ":/ostrel/ui/power.svg"};
        case Symbol::chartLine:
            return {"utilities-system-monitor-symbolic", ":/ostrel/ui/chart-line.svg"};
        case Symbol::wifi:
            return {"network-wireless-symbolic", ":/ostrel/ui/wifi.svg"};
        case Symbol::connectedApps:
            return {"view-app-grid-symbolic", ":/ostrel/ui/apps.svg"};
        case Symbol::gear:
            return {"emblem-system-symbolic", ":/ostrel/ui/gear.svg"};
    }
    return {"", ""};
}

}  // namespace

QIcon symbolIcon(Symbol symbol, const QColor& color) {
    const SymbolSource source = sourceOf(symbol);
    const QIcon shape = QIcon::hasThemeIcon(source.themeName) ? QIcon::fromTheme(source.themeName)
                                                              : QIcon(QString::fromLatin1(source.bundled));
    QIcon tinted;
    for (const int size : {16, 20, 24, 32, 48}) {
        for (const double ratio : {1.0, 2.0}) {
            QPixmap pixmap = shape.pixmap(QSize(size, size), ratio);
            if (pixmap.isNull()) continue;
            QPainter painter(&pixmap);
            painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
            painter.fillRect(pixmap.rect(), color);
            painter.end();
            tinted.addPixmap(pixmap);
        }
    }
    return tinted;
}

}  // namespace ostrel
