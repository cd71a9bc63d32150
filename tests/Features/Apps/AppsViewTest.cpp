// The Apps screen over a real data service, store and core library, driven like a user.
#include <stdlib.h>
#include <time.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QStackedWidget>
#include <QStyle>
#include <QTimer>
#include <QtTest>

#include "Features/Apps/AppDetailView.hpp"
#include "Features/Apps/AppListRow.hpp"
#include "Features/Apps/AppsView.hpp"
#include "Services/support/DataServiceRig.hpp"
#include "UI/ContentUnavailableView.hpp"
#include "UI/SectionCard.hpp"
#include "UI/UsageRows.hpp"
#include "ViewModels/AppsViewModel.hpp"
#include "ViewModels/QtMainQueue.hpp"

namespace ostrel::testing {

using namespace std::chrono;
using namespace std::chrono_literals;

constexpr std::int64_t MiB = 1024 * 1024;

// The service in UTC at 2026-03-10 12:00, its sampler stopped, so that only these samples count:
// today Browser on Home; three days ago Browser and Mail on Office; Mail inside the custom window
// (from construction less seven days) but before the week; Editor this month; Mail this year.
struct Store {
    Store() {
        data.start();
        data.sampler->stop();
        const Date now = data.now();
        add(now - 1h, "home", "Browser", 3 * MiB, MiB);
        add(now - 72h, "office", "Browser", MiB, 0);
        add(now - 72h, "office", "Mail", 2 * MiB, MiB / 2);
        add(now - 162h, "home", "Mail", 5 * MiB, 0);
        add(now - 192h, "home", "Editor", 1024 * MiB, 0);
        add(now - 672h, "home", "Mail", 10 * MiB, 0);
    }
    void add(Date at, const std::string& network, const std::string& app, std::int64_t rx, std::int64_t tx) {
        static int serial = 0;
        // Appended rather than prefixed: GCC 12 warns falsely (-Wrestrict) on a literal + string at -O3.
        std::string id = "A", appID = "org.example.";
        id += std::to_string(++serial), appID += app;
        const std::string name = network == "home" ? "Home" : "Office";
        data.repository()->insertSamples(
            {{id, at, network, name, NetworkType::wifi, appID, app, rx, tx, "nettop", 0.8}});
    }
    DataServiceRig data;
};

struct Screen {
    explicit Screen(milliseconds interval = 1h, bool shown = true) : view(&vm, interval) {
        view.resize(880, 560);
        view.setVisible(shown);
    }
    Store store;
    AppsViewModel vm{store.data.service, std::make_shared<QtMainQueue>(qApp), [this] { return store.data.now(); }};
    AppsView view;
};

// A child by name; a missing or disabled one ends the test program loudly.
template <class T = QWidget>
T* child(QObject* parent, const char* name) {
    auto* found = parent->findChild<T*>(name);
    if (!found) qFatal("no child named %s", name);
    if constexpr (std::is_base_of_v<QWidget, T>) {
        if (!found->isEnabled()) qFatal("%s is disabled", name);
    }
    return found;
}

// Each row as "name bundle total share".
QStringList rows(AppsView& view) {
    QStringList texts;
    for (auto* row : view.findChildren<AppListRow*>()) {
        QStringList parts;
        for (const char* name : {"name", "bundleID", "total", "share"}) parts << child<QLabel>(row, name)->text();
        texts << parts.join(' ');
    }
    return texts;
}

QAbstractButton* row(AppsView& view, const QString& name) {
    for (auto* row : view.findChildren<AppListRow*>()) {
        if (child<QLabel>(row, "name")->text() == name) return row;
    }
    qFatal("no row %s", qPrintable(name));
}

QString lines(UsageRows* rows) {
    QStringList texts;
    for (int i = 0; rows->isVisible() && i < rows->rowCount(); ++i) {
        texts << QStringList{rows->text(i, 0), rows->text(i, 1), rows->text(i, 2)}.join(' ').trimmed();
    }
    return texts.join(", ");
}

// The detail column, card by card, separated by " | "; or the placeholder's title.
QString detail(AppsView& view) {
    auto* column = child<QStackedWidget>(&view, "detailColumn");
    if (column->currentWidget() == child(&view, "selectPlaceholder")) {
        return child<ContentUnavailableView>(&view, "selectPlaceholder")->title();
    }
    auto* d = child<AppDetailView>(&view, "appDetail");
    const auto shown = [&](const char* name) { return child<QLabel>(d, name)->isVisible(); };
    return QStringList{child<SectionCard>(d, "summaryCard")->title(),
                       child<QLabel>(d, "bundleID")->text(),
                       child<QLabel>(d, "total")->text(),
                       child<QLabel>(d, "traffic")->text(),
                       shown("trendPlaceholder") ? child<QLabel>(d, "trendPlaceholder")->text() : "chart",
                       shown("rankingPlaceholder") ? child<QLabel>(d, "rankingPlaceholder")->text()
                                                   : lines(child<UsageRows>(d, "rankingRows")),
                       lines(child<UsageRows>(d, "busiestPeriodRows"))}
        .join(" | ");
}

// Whether a label's text is drawn in the secondary level of `text` over `background`: its most
// inked pixel (the farthest from the background) within antialiasing's reach of the blend.
bool drawnSecondary(QWidget* parent, const char* name, QColor text, QColor background) {
    auto* label = child(parent, name);
    QWidget* window = label->window();  // which draws the background
    const QImage image = window->grab(QRect(label->mapTo(window, QPoint()), label->size())).toImage();
    QColor ink = background;
    const auto distance = [&](QColor c) { return std::abs(c.lightness() - background.lightness()); };
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (distance(image.pixelColor(x, y)) > distance(ink)) ink = image.pixelColor(x, y);
        }
    }
    const auto near = [](int drawn, int t, int b) { return std::abs(drawn - (t * 0.55 + b * 0.45)) <= 12; };
    return near(ink.red(), text.red(), background.red()) && near(ink.green(), text.green(), background.green()) &&
           near(ink.blue(), text.blue(), background.blue());
}

QString checkedSegment(AppsView& view) {
    QStringList checked;
    for (auto* button : child(&view, "timeframePicker")->findChildren<QAbstractButton*>()) {
        if (button->isChecked()) checked << button->text();
    }
    return checked.join(',');
}

const QString browserWeek =
    "Browser | org.example.Browser | Total: 5 MB | Download 4 MB • Upload 1 MB | chart | Home 4 MB 80%, Office 1 MB "
    "20% | Mar 10, 12\u202FAM 4 MB, Mar 7, 12\u202FAM 1 MB";
const QString mailWeek =
    "Mail | org.example.Mail | Total: 2.5 MB | Download 2 MB • Upload 512 KB | chart | Office 2.5 MB 100% | Mar 7, "
    "12\u202FAM 2.5 MB";

class AppsViewTest : public QObject {
    Q_OBJECT

private slots:
    // The weekly list on the first visit, then details that replace each other only on arrival.
    void firstVisitListsThenShowsTheTappedApplication() {
        Screen screen(1h, false);
        AppsView& view = screen.view;
        QCOMPARE(checkedSegment(view), "Weekly");
        QVERIFY(!child(&view, "errorLabel")->isVisibleTo(&view));
        QCOMPARE(detail(view), "Select an app");
        view.show();
        QCOMPARE(rows(view), QStringList());  // no progress indicator, just the empty list
        QTRY_COMPARE(rows(view),
                     (QStringList{"Browser org.example.Browser 5 MB 66.7%", "Mail org.example.Mail 2.5 MB 33.3%"}));

        QTest::mouseClick(row(view, "Mail"), Qt::LeftButton);
        QCOMPARE(detail(view), "Select an app");
        QTRY_COMPARE(detail(view), mailWeek);
        QTest::mouseClick(row(view, "Browser"), Qt::LeftButton);
        QCOMPARE(detail(view), mailWeek);
        QTRY_COMPARE(detail(view), browserWeek);

        // Secondary texts follow the palette, in the role they are drawn with (a row is a button).
        QPalette dark = QApplication::palette();
        dark.setColor(QPalette::Window, QColor(40, 40, 40));
        dark.setColor(QPalette::ButtonText, QColor(240, 240, 240));
        for (const QPalette& palette : {dark, QApplication::style()->standardPalette()}) {
            QApplication::setPalette(palette);
            QTRY_VERIFY(drawnSecondary(row(view, "Mail"), "bundleID", palette.color(QPalette::ButtonText),
                                       palette.color(QPalette::Window)));
        }
    }

    // From the detail of `app` on `from`, another segment: the detail goes at once and comes back
    // with the new list.
    void timeframeClearsTheDetailUntilTheNewListBringsIt_data() {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("app");
        QTest::addColumn<QString>("segment");
        QTest::addColumn<QStringList>("list");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("dayLater");  // the custom window stays the one of construction
        QString idleHours;                   // the raw path's hours without traffic, in time order after the busiest
        for (const char* hour : {"12", "1", "2", "3", "4", "5", "6"}) {
            idleHours += QString(", Mar 10, %1\u202FAM Zero KB").arg(hour);
        }
        QTest::newRow("daily: hours") << "Weekly"
                                      << "Browser"
                                      << "Daily" << QStringList{"Browser org.example.Browser 4 MB 100%"}
                                      << "Browser | org.example.Browser | Total: 4 MB | Download 3 MB • Upload 1 MB | "
                                         "chart | Home 4 MB 100% | Mar 10, 11\u202FAM 4 MB" +
                                             idleHours
                                      << false;
        QTest::newRow("weekly: idle in it")
            << "Monthly"
            << "Editor"
            << "Weekly" << QStringList{"Browser org.example.Browser 5 MB 66.7%", "Mail org.example.Mail 2.5 MB 33.3%"}
            << "Editor | org.example.Editor | Total: Zero KB | Download Zero KB • Upload Zero KB | No data in selected "
               "range. | No network-level attribution yet. | "
            << false;
        QTest::newRow("monthly") << "Weekly"
                                 << "Mail"
                                 << "Monthly"
                                 << QStringList{"Editor org.example.Editor 1 GB 98.8%",
                                                "Mail org.example.Mail 7.5 MB 0.7%",
                                                "Browser org.example.Browser 5 MB 0.5%"}
                                 << "Mail | org.example.Mail | Total: 7.5 MB | Download 7 MB • Upload 512 KB | chart | "
                                    "Home 5 MB 66.7%, Office 2.5 MB 33.3% | Mar 3, 12\u202FAM 5 MB, Mar 7, 12\u202FAM "
                                    "2.5 MB"
                                 << false;
        QTest::newRow("yearly")
            << "Weekly"
            << "Mail"
            << "Yearly"
            << QStringList{"Editor org.example.Editor 1 GB 97.8%", "Mail org.example.Mail 17.5 MB 1.7%",
                           "Browser org.example.Browser 5 MB 0.5%"}
            << "Mail | org.example.Mail | Total: 17.5 MB | Download 17 MB • Upload 512 KB | chart | "
               "Home 15 MB 85.7%, Office 2.5 MB 14.3% | Feb 10, 12\u202FAM 10 MB, Mar 3, "
               "12\u202FAM 5 MB, Mar 7, 12\u202FAM 2.5 MB"
            << false;
        QTest::newRow("custom, a day later")
            << "Weekly"
            << "Mail"
            << "Custom" << QStringList{"Mail org.example.Mail 7.5 MB 60%", "Browser org.example.Browser 5 MB 40%"}
            << "Mail | org.example.Mail | Total: 7.5 MB | Download 7 MB • Upload "
               "512 KB | chart | Home 5 MB 66.7%, Office 2.5 MB 33.3% | Mar 3, "
               "12\u202FAM 5 MB, Mar 7, 12\u202FAM 2.5 MB"
            << true;
    }
    void timeframeClearsTheDetailUntilTheNewListBringsIt() {
        QFETCH(QString, from);
        QFETCH(QString, app);
        QFETCH(QString, segment);
        QFETCH(QStringList, list);
        QFETCH(QString, shown);
        QFETCH(bool, dayLater);
        Screen screen;
        QTRY_COMPARE(rows(screen.view).size(), 2);
        QTest::mouseClick(child<QAbstractButton>(&screen.view, qPrintable(from.toLower())), Qt::LeftButton);
        QTRY_VERIFY(rows(screen.view).join(',').contains(app));
        QTest::mouseClick(row(screen.view, app), Qt::LeftButton);
        QTRY_VERIFY(detail(screen.view).startsWith(app));
        if (dayLater) screen.store.data.setNow(screen.store.data.now() + 24h);

        QTest::mouseClick(child<QAbstractButton>(&screen.view, qPrintable(segment.toLower())), Qt::LeftButton);
        QCOMPARE(checkedSegment(screen.view), segment);
        QCOMPARE(detail(screen.view), "Select an app");
        QTRY_COMPARE(detail(screen.view), shown);
        QCOMPARE(rows(screen.view), list);
    }

    // The selected application stays selected: a refresh brings its detail anew, none while the
    // store no longer knows it, and its detail again once it comes back.
    void liveRefreshKeepsTheSelectionWhileShown() {
        Screen screen(10ms);
        auto& data = screen.store.data;
        auto* timer = child<QTimer>(&screen.view, "liveRefreshTimer");
        QVERIFY(timer->isActive());
        QTRY_COMPARE(rows(screen.view).size(), 2);
        QTest::mouseClick(row(screen.view, "Browser"), Qt::LeftButton);
        QTRY_COMPARE(detail(screen.view), browserWeek);

        screen.store.add(data.now() - 30min, "office", "Browser", 2 * MiB, 0);
        data.setNow(data.now() + 13s);  // past the caches' time to live
        QTRY_COMPARE(rows(screen.view).first(), "Browser org.example.Browser 7 MB 73.7%");
        QTRY_VERIFY(detail(screen.view).startsWith("Browser | org.example.Browser | Total: 7 MB"));

        data.service->clearAllData();
        QTRY_COMPARE(rows(screen.view), QStringList());
        QTRY_COMPARE(detail(screen.view), "Select an app");
        screen.store.add(data.now() - 1min, "home", "Browser", MiB, 0);
        data.setNow(data.now() + 13s);
        QTRY_COMPARE(detail(screen.view),
                     "Browser | org.example.Browser | Total: 1 MB | Download 1 MB • Upload Zero KB | chart | Home 1 "
                     "MB 100% | Mar 10, 12\u202FAM 1 MB");

        // Hidden, it stops; shown again with a list, it waits a whole interval before reloading.
        screen.view.hide();
        QVERIFY(!timer->isActive());
        screen.vm.selectApplication("org.example.Gone");  // answers once the reloads before it have
        QTRY_COMPARE(detail(screen.view), "Select an app");
        screen.store.add(data.now() - 1min, "home", "Browser", MiB, 0);
        data.setNow(data.now() + 13s);
        timer->setInterval(1h);
        screen.view.show();
        QVERIFY(timer->isActive());
        // A tap's load queues behind any reload the showing issued, and answers after it.
        QTest::mouseClick(row(screen.view, "Browser"), Qt::LeftButton);
        QTRY_VERIFY(detail(screen.view).contains("Total: 2 MB"));
        QCOMPARE(rows(screen.view), QStringList{"Browser org.example.Browser 1 MB 100%"});
    }

    // An error shows above the list, which keeps its rows, and goes with the next good answer.
    void failedLoadShowsItsErrorUntilALoadSucceeds() {
        Screen screen;
        QTRY_COMPARE(rows(screen.view).size(), 2);
        const auto rename = [&](const char* from, const char* to) {
            SQLiteDatabase(screen.store.data.databasePath)
                .execute(std::string("ALTER TABLE ") + from + " RENAME TO " + to);
        };
        rename("daily_usage", "daily_usage_away");
        auto* error = child<QLabel>(&screen.view, "errorLabel");
        QTest::mouseClick(child<QAbstractButton>(&screen.view, "monthly"), Qt::LeftButton);
        QTRY_VERIFY(error->isVisible());
        QCOMPARE(error->text(), "SQLite step failed: no such table: daily_usage");
        QCOMPARE(rows(screen.view).size(), 2);
        rename("daily_usage_away", "daily_usage");
        QTest::mouseClick(child<QAbstractButton>(&screen.view, "yearly"), Qt::LeftButton);
        QTRY_COMPARE(rows(screen.view).size(), 3);
        QVERIFY(!error->isVisible());
    }
};

}  // namespace ostrel::testing

int main(int argc, char** argv) {
    // Before ICU and Qt read them: English texts and UTC clock times.
    ::setenv("LC_ALL", "en_US.UTF-8", 1);
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    QApplication::setAttribute(Qt::AA_Use96Dpi);
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    ostrel::testing::AppsViewTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "AppsViewTest.moc"
