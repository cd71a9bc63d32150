// The Overview screen over a real data service, store and core library, driven like a user.
#include <stdlib.h>
#include <time.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCalendarWidget>
#include <QDateEdit>
#include <QStyleFactory>
#include <QStyleOptionComboBox>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <cmath>

#include "Features/Overview/OverviewView.hpp"
#include "Features/Overview/RankedList.hpp"
#include "Features/Overview/RankedRow.hpp"
#include "Features/Overview/TrendCard.hpp"
#include "Services/support/DataServiceRig.hpp"
#include "UI/SectionCard.hpp"
#include "UI/StyledLabel.hpp"
#include "UI/UsageTrendChart.hpp"
#include "UI/support/DesktopPalettes.hpp"
#include "ViewModels/QtMainQueue.hpp"

namespace ostrel::testing {

using namespace std::chrono_literals;
constexpr std::int64_t MiB = 1024 * 1024;

template <class T = QWidget>
T* find(const QObject* root, const QString& path) {
    const QStringList names = path.split('/');
    const QObject* parent = root;
    for (qsizetype i = 0; i + 1 < names.size() && parent; ++i) parent = parent->findChild<QObject*>(names[i]);
    T* found = parent ? parent->findChild<T*>(names.back()) : nullptr;
    if (!found) qFatal("no child %s", qPrintable(path));
    return found;
}

// The day's cell in a calendar's month view: below the row of weekday names and right of the
// week numbers where they show; a day number can also stand in the neighbouring months' days at
// either end.
QModelIndex dayCell(const QCalendarWidget* calendar, QTableView* days, int day) {
    const QAbstractItemModel* model = days->model();
    const int firstColumn = calendar->verticalHeaderFormat() == QCalendarWidget::NoVerticalHeader ? 0 : 1;
    const int firstRow = calendar->horizontalHeaderFormat() == QCalendarWidget::NoHorizontalHeader ? 0 : 1;
    QModelIndexList found;
    for (int row = firstRow; row < model->rowCount(); ++row) {
        for (int column = firstColumn; column < model->columnCount(); ++column) {
            const QModelIndex cell = model->index(row, column);
            if (model->data(cell).toInt() == day) found << cell;
        }
    }
    if (found.isEmpty()) qFatal("no day %d", day);
    return day > 15 ? found.back() : found.front();
}

// Opens the picker's calendar pop-up with a click on its arrow, turns its pages with the
// navigation buttons and clicks the day, as a user does.
void pickInCalendar(QDateEdit* edit, int monthsBack, int day) {
    QStyleOptionComboBox arrow;
    arrow.initFrom(edit), arrow.editable = true, arrow.subControls = QStyle::SC_All;
    const QRect arrowRect = edit->style()->subControlRect(QStyle::CC_ComboBox, &arrow, QStyle::SC_ComboBoxArrow, edit);
    QTest::mouseClick(edit, Qt::LeftButton, {}, arrowRect.center());
    QCalendarWidget* calendar = edit->calendarWidget();
    QTRY_VERIFY(calendar->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(calendar->window()));
    auto* turn = calendar->findChild<QToolButton*>(monthsBack > 0 ? "qt_calendar_prevmonth" : "qt_calendar_nextmonth");
    QVERIFY(turn);
    for (int i = 0; i < std::abs(monthsBack); ++i) QTest::mouseClick(turn, Qt::LeftButton);
    auto* days = calendar->findChild<QTableView*>("qt_calendar_calendarview");
    QVERIFY(days);
    QTest::mouseClick(days->viewport(), Qt::LeftButton, {}, days->visualRect(dayCell(calendar, days, day)).center());
    QTRY_VERIFY(!calendar->isVisible());
}

// The data service in UTC at 2026-03-10 12:00 with its sampler stopped and an empty store, the
// view model on the same clock, and the screen in the popover's content size.
struct OverviewRig {
    explicit OverviewRig(std::chrono::nanoseconds interval = 3s)
        : vm(started(data), std::make_shared<QtMainQueue>(qApp), [this] { return data.now(); }), view(&vm, interval) {
        view.resize(880, 560);
    }
    static std::shared_ptr<OstrelDataService> started(DataServiceRig& data) {
        data.start();
        data.sampler->stop();
        SQLiteDatabase(data.databasePath).execute("DELETE FROM networks");  // the sampler's own
        return data.service;
    }
    void store(std::chrono::hours ago, const std::string& network, const std::string& app, std::int64_t rx,
               std::int64_t tx = 0) {
        static int serial = 0;
        // Appended rather than prefixed: GCC 12 warns falsely (-Wrestrict) on a literal + string at -O3.
        std::string id = "O", networkID = "net-", appID = "app-";
        id += std::to_string(++serial), networkID += network, appID += app;
        data.repository()->insertSamples(
            {{id, data.now() - ago, networkID, network, NetworkType::wifi, appID, app, rx, tx, "nettop", 0.8}});
    }
    // Home carries 3 MB (Browser 2.5, Mail 0.5), Office 1 MB (Chat); Home is active; 73.4% of
    // the warning threshold.
    void storeToday() {
        store(1h, "Home", "Browser", 2 * MiB, MiB / 2), store(1h, "Home", "Mail", MiB / 2);
        store(2h, "Office", "Chat", MiB);
        data.repository()->setActiveNetwork(
            {"net-Home", "Home", NetworkType::wifi, true, "wlan0", NetworkResolutionState::resolved, "test", 1},
            data.now());
        setThresholds(static_cast<std::int64_t>(std::ceil(4 * MiB / 0.734)), 20 * MiB);
    }
    void setThresholds(std::int64_t warning, std::int64_t danger) {
        data.service->updateSettings(
            [&](OstrelSettings& s) { s.warningThresholdBytes = warning, s.dangerThresholdBytes = danger; });
    }
    void table(const std::string& from, const std::string& to) {
        SQLiteDatabase(data.databasePath).execute("ALTER TABLE " + from + " RENAME TO " + to);
    }
    void click(const char* name) {
        auto* button = find<QAbstractButton>(&view, name);
        if (!button->isEnabled()) qFatal("%s is disabled", name);
        QTest::mouseClick(button, Qt::LeftButton);
    }
    QTimer* timer() { return find<QTimer>(&view, "liveRefreshTimer"); }

    // Which part of the content block shows.
    QString state() {
        QStringList shown;
        for (const char* part : {"summaryCards", "trendCard", "topLists", "errorCard", "progressIndicator"}) {
            if (find(&view, part)->isVisibleTo(&view)) shown << part;
        }
        return shown.join(' ');
    }
    // The cards' lines, the alert's colour and the trend card's title and content.
    QString cards() {
        QStringList lines;
        for (const char* card : {"totalCard", "activeNetworkCard", "alertStatusCard"}) {
            lines << find<QLabel>(&view, QString(card) + "/firstLine")->text()
                  << find<QLabel>(&view, QString(card) + "/secondLine")->text();
        }
        const Tint alert = find<StyledLabel>(&view, "alertStatusCard/firstLine")->tint();
        lines[4] += alert == StatusColor::green ? "(green)" : alert == StatusColor::orange ? "(orange)" : "(red)";
        auto* trend = find<TrendCard>(&view, "trendCard");
        lines << find<SectionCard>(trend, "card")->title()
              << (trend->chart() ? "chart" : find<QLabel>(trend, "emptyText")->text());
        return lines.join('|');
    }
    // Each row as "title share bytes", dimmed placeholders marked "~".
    QString rows(const char* list) {
        QStringList rows;
        for (RankedRow* row : find<RankedList>(&view, list)->rows()) {
            const bool dimmed = find<StyledLabel>(row, "title")->tint() == Hierarchy::tertiary;
            rows << (dimmed ? "~" : "") + find<QLabel>(row, "title")->text() + ' ' +
                        find<QLabel>(row, "share")->text() + ' ' + find<QLabel>(row, "bytes")->text();
        }
        return rows.join('|');
    }

    DataServiceRig data;
    OverviewViewModel vm;
    OverviewView view;
};

const QString overview = "summaryCards trendCard topLists";
const QString fivePlaceholders = "~— 0% 0 B|~— 0% 0 B|~— 0% 0 B|~— 0% 0 B|~— 0% 0 B";

class OverviewViewTest : public QObject {
    Q_OBJECT

private slots:
    // Progress until the first answer, then the overview: placeholders while the store is empty,
    // exact texts once it holds traffic; an error only while no overview is held. Hidden, the
    // screen refreshes nothing; shown again, it shows the last overview without asking.
    void showsEachStateOfTheContentBlock() {
        OverviewRig r;
        r.view.show();
        QCOMPARE(r.state(), "progressIndicator");
        QVERIFY(r.timer()->isActive());
        QCOMPARE(r.timer()->interval(), 3000);
        QTRY_COMPARE(r.state(), overview);
        QCOMPARE(r.cards(),
                 "Zero KB|Download Zero KB • Upload Zero KB|Unknown|Top app today: -|Normal(green)|Warning at 0%|"
                 "Usage Trend (Weekly)|No data in this range yet.");
        QCOMPARE(r.rows("topNetworksList"), fivePlaceholders);
        QCOMPARE(r.rows("topApplicationsList"), fivePlaceholders);

        r.storeToday();
        r.click("daily");
        QCOMPARE(r.state(), "progressIndicator");
        QTRY_COMPARE(r.state(), overview);
        QCOMPARE(r.cards(),
                 "4 MB|Download 3.5 MB • Upload 512 KB|Home|Top app today: Browser|Normal(green)|Warning at 73%|"
                 "Usage Trend (Daily)|chart");
        QCOMPARE(r.rows("topNetworksList"), "Home 75% 3 MB|Office 25% 1 MB|~— 0% 0 B|~— 0% 0 B|~— 0% 0 B");
        QCOMPARE(r.rows("topApplicationsList"),
                 "Browser 62.5% 2.5 MB|Chat 25% 1 MB|Mail 12.5% 512 KB|~— 0% 0 B|~— 0% 0 B");

        QSignalSpy requests(&r.vm, &OverviewViewModel::isLoadingChanged);
        r.view.hide();
        QVERIFY(!r.timer()->isActive());
        r.view.show();
        QCOMPARE(r.state(), overview);
        QCOMPARE(requests.size(), 0);

        r.table("daily_usage", "away");
        r.click("monthly");
        QTRY_COMPARE(r.state(), "errorCard");
        // "prepare" or "step", as the store's statement cache has it
        QVERIFY(find<QLabel>(&r.view, "errorText")->text().endsWith(" failed: no such table: daily_usage"));
    }

    // The loop refreshes from the cache while it is young, and shows what a later answer brings:
    // new values in the same chart, the danger level against the warning threshold. A failure
    // leaves the overview shown. A new range or timeframe brings a new chart.
    void refreshesLiveWhileShown() {
        OverviewRig r(10ms);
        r.storeToday();
        r.view.show();
        r.click("custom");
        QTRY_COMPARE(r.state(), overview);
        QPointer chart = find<TrendCard>(&r.view, "trendCard")->chart();
        QVERIFY(chart);

        r.store(3h, "Home", "Browser", MiB);
        QSignalSpy loads(&r.vm, &OverviewViewModel::isLoadingChanged);
        QTRY_VERIFY(loads.size() >= 6);  // three refreshes, answered from the cache
        QCOMPARE(find<QLabel>(&r.view, "totalCard/firstLine")->text(), "4 MB");
        r.data.setNow(r.data.now() + 6s);
        QTRY_COMPARE(find<QLabel>(&r.view, "totalCard/firstLine")->text(), "5 MB");
        QVERIFY(chart);

        r.setThresholds(MiB, 2 * MiB);
        QTRY_VERIFY(r.cards().contains("Danger(red)|Warning at 500%"));

        r.table("daily_usage", "away");
        r.data.setNow(r.data.now() + 6s);
        QTRY_VERIFY(!r.vm.errorMessage().isNull());
        QCOMPARE(r.state(), overview);
        r.table("away", "daily_usage");

        r.click("weekly");
        QTRY_COMPARE(r.state(), overview);
        QVERIFY(!chart);

        r.view.hide(), r.view.show(), r.view.hide(), r.view.show();
        QVERIFY(r.timer()->isActive());
        r.view.hide();
        QVERIFY(!r.timer()->isActive());
    }

    // The date pickers show the view model's range only under the custom timeframe. A "From" day
    // after the "To" day swaps the two; the clock time of each end stays.
    void customRangeTakesItsDatesInOrder() {
        OverviewRig r;
        r.view.show();
        QVERIFY(!find(&r.view, "customRange")->isVisibleTo(&r.view));
        r.click("custom");
        auto* from = find<QDateEdit>(&r.view, "fromPicker");
        auto* to = find<QDateEdit>(&r.view, "toPicker");
        QVERIFY(from->isVisible());
        QCOMPARE(from->text() + " - " + to->text(), "3/3/2026 - 3/10/2026");

        from->setFocus();
        QTest::keyClick(from, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(from, "3/12/2026");
        QTest::keyClick(from, Qt::Key_Return);
        const Date noon = r.data.now();
        QCOMPARE(r.vm.customRange(), (DateRange{noon, noon + 48h}));
        QCOMPARE(r.state(), "progressIndicator");
        QTRY_COMPARE(from->text() + " - " + to->text(), "3/10/2026 - 3/12/2026");
        QTRY_COMPARE(r.state(), overview);
        QCOMPARE(r.cards().section('|', 6, 6), "Usage Trend (Custom)");

        r.click("weekly");
        QVERIFY(!from->isVisibleTo(&r.view));
    }

    // The date fields' edges stand out from the window at 3:1 or more in a light and a dark
    // desktop palette; a field with the focus shows the highlight instead.
    void dateFieldsStandOutFromTheWindow() {
        const QPalette original = QApplication::palette();
        QStringList figures, faint;
        for (const bool dark : {false, true}) {
            QApplication::setPalette(testing::desktopPalette(dark));
            OverviewRig r;
            r.view.show();
            r.click("custom");
            for (const char* name : {"fromPicker", "toPicker"}) {
                auto* field = find<QDateEdit>(&r.view, name);
                const QImage page = r.view.grab().toImage();
                const QRect edges(field->mapTo(&r.view, QPoint()), field->size());
                const QColor window = page.pixelColor(edges.center().x(), edges.top() - 3);
                // The edge's pixels along the middle of the top and the bottom, the arrow's part left out.
                std::vector<double> edge;
                for (int x = edges.left() + 4; x < edges.right() - 24; ++x) {
                    for (const int y : {edges.top(), edges.bottom()})
                        edge.push_back(testing::contrastRatio(page.pixelColor(x, y), window));
                }
                std::sort(edge.begin(), edge.end());
                figures
                    << QString("%1 %2: %3:1").arg(dark ? "dark" : "light", name).arg(edge[edge.size() / 2], 0, 'f', 2);
                if (edge[edge.size() / 2] < 3) faint << figures.back();
            }
        }
        QApplication::setPalette(original);
        qInfo().noquote() << figures.join("; ");
        QVERIFY2(faint.isEmpty(), qPrintable(faint.join("; ")));
    }

    // A day clicked in a calendar pop-up counts once: one before "From" in the "To" calendar, or
    // one after "To" in the "From" calendar, swaps the two ends and shows that range's traffic.
    void customRangeFromTheCalendarPopUp() {
        OverviewRig r;
        r.store(200h, "Home", "Browser", 3 * MiB);  // 2 March
        r.store(40h, "Home", "Browser", MiB);       // 8 March
        r.view.show();
        r.click("custom");
        auto* from = find<QDateEdit>(&r.view, "fromPicker");
        auto* to = find<QDateEdit>(&r.view, "toPicker");
        const auto shown = [&] { return from->text() + " - " + to->text(); };
        QCOMPARE(shown(), "3/3/2026 - 3/10/2026");

        pickInCalendar(to, 1, 24);
        if (QTest::currentTestFailed()) return;
        QTRY_COMPARE(shown(), "2/24/2026 - 3/3/2026");
        const Date noon = r.data.now();
        QCOMPARE(r.vm.customRange(), (DateRange{noon - 14 * 24h, noon - 7 * 24h}));
        QTRY_COMPARE(r.state(), overview);
        QCOMPARE(r.cards().section('|', 0, 0), "3 MB");

        pickInCalendar(from, -1, 9);
        if (QTest::currentTestFailed()) return;
        QTRY_COMPARE(shown(), "3/3/2026 - 3/9/2026");
        QCOMPARE(r.vm.customRange(), (DateRange{noon - 7 * 24h, noon - 24h}));
        QTRY_COMPARE(r.state(), overview);
        QCOMPARE(r.cards().section('|', 0, 0), "1 MB");
    }
};

}  // namespace ostrel::testing

int main(int argc, char** argv) {
    ::setenv("TZ", "UTC", 1), ::tzset();
    ::setenv("LC_ALL", "en_US.UTF-8", 1), ::setenv("LANG", "en_US.UTF-8", 1);
    QApplication::setAttribute(Qt::AA_Use96Dpi);
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));  // the program's on an X11 desktop
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    ostrel::testing::OverviewViewTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "OverviewViewTest.moc"
