#include <sys/stat.h>

#include <QImage>
#include <QtTest>

#include "Platform/support/TempTree.hpp"
#include "UI/AppIconLookup.hpp"
#include "UI/AppIconView.hpp"
#include "UI/PlatformStyle.hpp"

namespace ostrel {

// Applications and icons as a desktop installs them, in a temporary XDG data folder with its
// own icon theme; each icon a plain colour, so that a drawn view shows which one it found.
class AppIconViewTest : public QObject {
    Q_OBJECT

    testing::TempTree tree;
    std::string data = tree.root + "/data";

    void writeImage(const std::string& relative, Qt::GlobalColor color) {
        QImage image(32, 32, QImage::Format_ARGB32);
        image.fill(color);
        tree.write(relative, "");
        QVERIFY(image.save(QString::fromStdString(tree.root + "/" + relative), "PNG"));
    }

private slots:
    void initTestCase() {
        tree.write("data/icons/hicolor/index.theme",
                   "[Icon Theme]\nName=Hicolor\nDirectories=32x32/apps\n[32x32/apps]\nSize=32\nType=Fixed\n");
        writeImage("data/icons/hicolor/32x32/apps/ostrel-test-blue.png", Qt::blue);
        writeImage("yellow.png", Qt::yellow);
        writeImage("red.png", Qt::red);
        writeImage("green.png", Qt::green);
        tree.write("notes.txt", "not an image");
        QCOMPARE(::mkfifo((tree.root + "/pipe.png").c_str(), 0600), 0);  // opened blindly, it would never answer
        tree.app("data/applications/org.example.Themed.desktop", "Themed", "Icon=ostrel-test-blue\n");
        tree.app("data/applications/org.example.Absolute.desktop", "Absolute", "Icon=" + tree.root + "/yellow.png\n");
        tree.app("data/applications/org.example.NoIcon.desktop", "No Icon");
        tree.app("data/applications/org.example.Unthemed.desktop", "Unthemed", "Icon=ostrel-test-missing\n");
        tree.app("elsewhere/custom.desktop", "Custom", "Icon=" + tree.root + "/green.png\n");
        QIcon::setThemeSearchPaths({QString::fromStdString(data + "/icons")});
        QIcon::setThemeName("hicolor");
    }

    void iconPathFirstThenTheDesktopEntryThenThePlaceholder_data() {
        QTest::addColumn<QString>("bundleID");
        QTest::addColumn<QString>("iconPath");  // "-" for none
        QTest::addColumn<QColor>("shown");      // invalid for the placeholder
        const auto at = [&](const char* relative) { return QString::fromStdString(tree.root + "/" + relative); };
        QTest::newRow("image file") << "org.example.Themed" << at("red.png") << QColor(Qt::red);
        QTest::newRow("desktop file path")
            << "org.example.Themed" << at("elsewhere/custom.desktop") << QColor(Qt::green);
        QTest::newRow("entry, theme icon") << "org.example.Themed"
                                           << "-" << QColor(Qt::blue);
        QTest::newRow("entry, icon file") << "org.example.Absolute"
                                          << "-" << QColor(Qt::yellow);
        QTest::newRow("path not an image") << "org.example.Themed" << at("notes.txt") << QColor(Qt::blue);
        QTest::newRow("path a FIFO") << "org.example.Themed" << at("pipe.png") << QColor(Qt::blue);
        QTest::newRow("path missing") << "org.example.Themed" << at("gone.png") << QColor(Qt::blue);
        QTest::newRow("empty path") << "org.example.Themed"
                                    << "" << QColor(Qt::blue);
        QTest::newRow("entry without icon") << "org.example.NoIcon"
                                            << "-" << QColor();
        QTest::newRow("icon not in theme") << "org.example.Unthemed"
                                           << "-" << QColor();
        QTest::newRow("no application") << "com.example.Unknown" << at("notes.txt") << QColor();
    }
    void iconPathFirstThenTheDesktopEntryThenThePlaceholder() {
        QFETCH(QString, bundleID);
        QFETCH(QString, iconPath);
        QFETCH(QColor, shown);
        AppIconLookup lookup({data}, "");
        const auto path = iconPath == "-" ? std::nullopt : std::optional(iconPath.toStdString());
        QCOMPARE(lookup.appImage(bundleID.toStdString(), path).isNull(), !shown.isValid());

        AppIconView view(bundleID.toStdString(), path, lookup);
        QCOMPARE(view.size(), QSize(20, 20));
        const QImage image = view.grab().toImage();
        const QColor window = view.palette().color(QPalette::Window);
        QCOMPARE(image.pixelColor(0, 0), window);  // the rounded clip
        if (shown.isValid()) {
            QCOMPARE(image.pixelColor(10, 10), shown);
            QCOMPARE(image.pixelColor(2, 10), shown);
            return;
        }
        // The grey square, and the symbol in the secondary colour over it.
        const auto over = [](QColor top, QColor below) {
            const auto mix = [&](float a, float b) {
                return int(std::lround(255 * (top.alphaF() * a + (1 - top.alphaF()) * b)));
            };
            return QColor(mix(top.redF(), below.redF()), mix(top.greenF(), below.greenF()),
                          mix(top.blueF(), below.blueF()));
        };
        const QColor square = over(hierarchicalColor(view.palette(), Hierarchy::quaternary), window);
        const QColor symbol = over(hierarchicalColor(view.palette(), Hierarchy::secondary), square);
        const auto near = [](QColor a, QColor b) {
            return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) <= 9;
        };
        QVERIFY(near(image.pixelColor(2, 10), square));
        QVERIFY(near(image.pixelColor(10, 10), symbol));
    }
};

}  // namespace ostrel

QTEST_MAIN(ostrel::AppIconViewTest)
#include "AppIconViewTest.moc"
