#include <QPixmapCache>
#include <QtTest>

#include "UI/AppIconLookup.hpp"
#include "UI/AppIconView.hpp"
#include "UI/Symbols.hpp"

namespace ostrel {

// Symbols and placeholders are repainted on every tab and timeframe switch: each paint must draw
// from icons made once, or every paint renders the drawing again and leaves a pixmap in Qt's cache
// under a key that no later paint asks for.
class IconReuseTest : public QObject {
    Q_OBJECT

    // Whether painting again and again puts new pixmaps into Qt's cache. Kept small, the cache
    // then drops its least recently used entry, a marker put there after the first paint.
    static bool repaintsAddToTheCache(const std::function<void()>& paint) {
        paint();
        QPixmap marker(8, 8);
        marker.fill(Qt::black);
        const QPixmapCache::Key key = QPixmapCache::insert(marker);
        for (int round = 0; round < 40; ++round) paint();
        return !QPixmapCache::find(key, &marker);
    }

private slots:
    void init() {
        QPixmapCache::clear();
        QPixmapCache::setCacheLimit(24);  // kilobytes; each small pixmap counts as one
    }

    // Every symbol, in a view that repaints, and in new views of it as rebuilt rows make them.
    void symbolViewsRepaintFromTheSameIcon_data() {
        QTest::addColumn<Symbol>("symbol");
        for (const Symbol symbol : {Symbol::power, Symbol::chartLine, Symbol::wifi, Symbol::connectedApps, Symbol::gear,
                                    Symbol::appFill, Symbol::warning, Symbol::flame, Symbol::bellBadge,
                                    Symbol::bellSlash}) {
            QTest::newRow(qPrintable(symbolName(symbol))) << symbol;
        }
    }
    void symbolViewsRepaintFromTheSameIcon() {
        QFETCH(Symbol, symbol);
        SymbolView view(symbol, Hierarchy::secondary, 16);
        QVERIFY(!repaintsAddToTheCache([&] { view.grab(); }));
        QVERIFY(!repaintsAddToTheCache([&] { SymbolView(symbol, StatusColor::red, 16).grab(); }));
        // Still drawn, in its tint.
        const QImage image = view.grab().toImage();
        bool inked = false;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) inked = inked || qAlpha(image.pixel(x, y)) > 0;
        }
        QVERIFY(inked);
    }

    void placeholdersRepaintFromTheSameIcon() {
        AppIconLookup lookup({}, "");
        AppIconView view("com.example.Unknown", std::nullopt, lookup);
        QVERIFY(!repaintsAddToTheCache([&] { view.grab(); }));
        QVERIFY(!repaintsAddToTheCache([&] { AppIconView("com.example.Other", std::nullopt, lookup).grab(); }));
            }
};

}  // namespace ostrel

QTEST_MAIN(ostrel::IconReuseTest)
#include "IconReuseTest.moc"
