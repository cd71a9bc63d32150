#include <QFontMetricsF>
#include <QGuiApplication>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <memory>

#include "OstrelApp/LinkCommands.hpp"
#include "OstrelApp/PopoverPlacement.hpp"
#include "OstrelApp/StatusItemWidth.hpp"

namespace ostrel {
namespace {

// Refuses the addresses in `refused` and takes the others, answering at once or, when `later`,
// from the event loop.
struct ScriptedOpener final : UrlOpener {
    void open(const QUrl& url, Done done) override {
        tried << url.toString();
        const bool took = !refused.contains(url.toString());
        auto answer = [this, done = std::move(done), took, url] {
            ++answered;
            if (took) opened << url.toString();
            done(took);
        };
        if (later) {
            QTimer::singleShot(0, std::move(answer));
        } else {
            answer();
        }
    }
    QStringList refused, tried, opened;
    int answered = 0;
    bool later = false;
};

}  // namespace

// The rules around the tray item that need no data: where the popover opens, when it may open
// again, the width rule, and what the menu's links open.
class StatusItemRulesTest : public QObject {
    Q_OBJECT

private slots:
    // Inside the available area, clear of the item and its panel, shrunk where 880 x 680 does not
    // fit; the window manager's panels are outside the available area, and with none (or a
    // panel it does not know) the item's place tells where the panel is.
    void popoverGeometry_data() {
        QTest::addColumn<QRect>("anchor");
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QRect>("expected");
        const QRect screen(0, 0, 1280, 800);
        const QSize full(880, 680);
        QTest::newRow("top panel, right end") << QRect(1257, 1, 22, 30) << screen << screen << QRect({400, 36}, full);
        QTest::newRow("top panel, left end") << QRect(10, 0, 24, 24) << screen << screen << QRect({0, 28}, full);
        QTest::newRow("bottom panel") << QRect(600, 776, 24, 24) << screen << screen << QRect({171, 92}, full);
        QTest::newRow("pointer above the middle")
            << QRect(640, 100, 1, 1) << screen << screen << QRect({200, 105}, full);
        QTest::newRow("pointer below the middle")
            << QRect(640, 500, 1, 1) << screen << screen << QRect({200, 0}, full);
        QTest::newRow("second screen, bottom right") << QRect(3000, 1050, 24, 30) << QRect(1280, 0, 1920, 1080)
                                                     << QRect(1280, 0, 1920, 1080) << QRect({2320, 366}, full);
        QTest::newRow("screen smaller than the popover")
            << QRect(700, 0, 24, 24) << QRect(0, 0, 800, 600) << QRect(0, 0, 800, 600) << QRect(0, 28, 800, 572);

        const QRect small(0, 0, 1024, 600);
        QTest::newRow("1024 x 600, tray icon in an unreserved top panel")
            << QRect(990, 4, 24, 24) << small << small << QRect(144, 36, 880, 564);
        QTest::newRow("1024 x 600, a point on an unreserved top panel")
            << QRect(1008, 16, 1, 1) << small << small << QRect(144, 37, 880, 563);
        QTest::newRow("1024 x 600, reserved top panel")
            << QRect(990, 4, 24, 24) << small << QRect(0, 32, 1024, 568) << QRect(144, 36, 880, 564);
        QTest::newRow("1024 x 600, reserved bottom panel")
            << QRect(990, 572, 24, 24) << small << QRect(0, 0, 1024, 568) << QRect(144, 0, 880, 564);
        QTest::newRow("1024 x 600, unreserved bottom panel")
            << QRect(990, 572, 24, 24) << small << small << QRect(144, 0, 880, 564);
        QTest::newRow("reserved left panel")
            << QRect(12, 700, 24, 24) << screen << QRect(48, 0, 1232, 800) << QRect({52, 120}, full);
        QTest::newRow("reserved right panel")
            << QRect(1244, 10, 24, 24) << screen << QRect(0, 0, 1232, 800) << QRect({348, 0}, full);
        QTest::newRow("reserved left panel, narrow screen")
            << QRect(12, 300, 24, 24) << small << QRect(48, 0, 976, 600) << QRect(52, 0, 880, 600);
        QTest::newRow("reserved right panel, narrower still")
            << QRect(800, 300, 24, 24) << QRect(0, 0, 840, 600) << QRect(0, 0, 790, 600) << QRect(0, 0, 780, 600);
        QTest::newRow("screen left of the primary, top panel")
            << QRect(-40, 4, 24, 24) << QRect(-1024, 0, 1024, 600) << QRect(-1024, 0, 1024, 600)
            << QRect(-880, 36, 880, 564);
        QTest::newRow("screen below another, reserved top panel")
            << QRect(600, 804, 24, 24) << QRect(0, 800, 1280, 800) << QRect(0, 832, 1280, 768)
            << QRect({171, 836}, full);
    }
    void popoverGeometry() {
        QFETCH(QRect, anchor);
        QFETCH(QRect, screen);
        QFETCH(QRect, available);
        QFETCH(QRect, expected);
        const QRect shown = ostrel::popoverGeometry(anchor, screen, available, QSize(880, 680));
        QCOMPARE(shown, expected);
        QVERIFY(available.contains(shown));
        // The pointer low in the middle of the screen is on no panel: the popover keeps its size
        // and may cover it.
        if (QByteArray(QTest::currentDataTag()) != "pointer below the middle") QVERIFY(!shown.intersects(anchor));
    }

    // One click on the item: the press that closed the popover does not open it again through the
    // item, and the press that opened it, arriving after the item's activation, does not close it.
    void oneClickActsOnce() {
        using namespace std::chrono_literals;
        using Clock = PopoverToggleGuard::Clock;
        const QRect item(1240, 0, 24, 24);
        const auto start = Clock::time_point{} + 1h;
        PopoverToggleGuard guard;
        QVERIFY(guard.mayShow(item, start));

        guard.noteClosedBy(QPoint(1250, 10), start);
        QVERIFY(!guard.mayShow(item, start + 249ms));
        QVERIFY(!guard.mayShow(QRect(1257, 17, 1, 1), start));  // the point the host gave, near it
        QVERIFY(guard.mayShow(item, start + 250ms));
        QVERIFY(guard.mayShow(QRect(600, 400, 1, 1), start));  // activated elsewhere: another click
        guard.noteClosedBy(QPoint(10, 790), start);
        QVERIFY(guard.mayShow(item, start));
        guard.noteClosedBy(std::nullopt, start);  // the focus left, from whichever click
        QVERIFY(!guard.mayShow(QRect(600, 400, 1, 1), start + 249ms));

        QVERIFY(!guard.isOpeningPress(item.center(), start));
        guard.noteShown(item, start);
        QVERIFY(guard.isOpeningPress(item.center(), start + 999ms));
        QVERIFY(guard.isOpeningPress(item.topLeft() - QPoint(8, 0), start));
        QVERIFY(!guard.isOpeningPress(item.topLeft() - QPoint(9, 0), start));
        QVERIFY(!guard.isOpeningPress(item.center(), start + 1000ms));
    }

    // The rounded-up text width, plus the image and 16 points; without an image, plus 10.
    void statusItemWidth() {
        QFont font = QGuiApplication::font();
        font.setPointSizeF(13.3);
        const QString title = " 1.2 GB Today";
        const int text = static_cast<int>(std::ceil(QFontMetricsF(font).horizontalAdvance(title)));
        QCOMPARE(measuredStatusItemWidth(title, font, 18), text + 18 + 16);
        QCOMPARE(measuredStatusItemWidth(title, font, std::nullopt), text + 10);
    }

    void links_data() {
        QTest::addColumn<QString>("info");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("refused");  // addresses the desktop fails to open
        QTest::addColumn<QString>("opened");
        QTest::addColumn<QString>("alert");
        const QString website = "https://ostrel.app";
        QTest::newRow("configured") << R"({"OstrelSupportURL": "https://example.org/help"})"
                                    << "support" << QStringList{} << "https://example.org/help"
                                    << "";
        QTest::newRow("missing key") << "{}"
                                     << "support" << QStringList{} << "mailto:support@ostrel.app"
                                     << "";
        QTest::newRow("not a string") << R"({"OstrelSupportURL": 7})"
                                      << "support" << QStringList{} << "mailto:support@ostrel.app"
                                      << "";
        QTest::newRow("not an address") << R"({"OstrelUpdatesURL": "not an address"})"
                                        << "updates" << QStringList{} << website << "";
        QTest::newRow("configured one fails") << R"({"OstrelDeveloperURL": "https://example.org"})"
                                              << "developer" << QStringList{"https://example.org"} << website << "";
        QTest::newRow("support fails") << "{}"
                                       << "support" << QStringList{"mailto:support@ostrel.app"} << ""
                                       << "Support Ostrel|Support link is not configured for this build.";
        QTest::newRow("updates fail")
            << "{}"
            << "updates" << QStringList{website} << ""
            << "Check for Updates|Download the latest release from the Ostrel website to update this build.";
        QTest::newRow("developer fails") << R"({"OstrelDeveloperURL": "https://example.org"})"
                                         << "developer" << QStringList{"https://example.org", website} << ""
                                         << "Ostrel Website|Ostrel website link is not configured for this build.";
    }
    void links() {
        QFETCH(QString, info);
        QFETCH(QString, command);
        QFETCH(QStringList, refused);
        QFETCH(QString, opened);
        QFETCH(QString, alert);
        // The desktop answers at once, and from the event loop as xdg-open does.
        for (const bool later : {false, true}) {
            auto opener = std::make_shared<ScriptedOpener>();
            opener->refused = refused, opener->later = later;
            QStringList alerts;
            LinkCommands links(BundleInfo::parse(info.toStdString()), opener,
                               [&](const QString& title, const QString& message) { alerts << title + "|" + message; });
            if (command == "support") links.openSupport();
            if (command == "updates") links.checkForUpdates();
            if (command == "developer") links.openDeveloper();
            const QStringList expectedAlerts = alert.isEmpty() ? QStringList{} : QStringList{alert};
            QTRY_COMPARE(opener->answered, static_cast<int>(opener->tried.size()));
            QCOMPARE(opener->answered, static_cast<int>(refused.size()) + (opened.isEmpty() ? 0 : 1));
            QCOMPARE(opener->opened, opened.isEmpty() ? QStringList{} : QStringList{opened});
            QCOMPARE(alerts, expectedAlerts);
        }
    }
};

}  // namespace ostrel

QTEST_MAIN(ostrel::StatusItemRulesTest)
#include "StatusItemRulesTest.moc"
