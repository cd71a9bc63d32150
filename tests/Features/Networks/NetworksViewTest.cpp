// The Networks screen over a real data service, store and core library, driven like a user.
#include <stdlib.h>
#include <time.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>

#include "Features/Networks/NetworkDetailView.hpp"
#include "Features/Networks/NetworkRow.hpp"
#include "Features/Networks/NetworksView.hpp"
#include "Services/support/DataServiceRig.hpp"
#include "UI/RowList.hpp"
#include "UI/SectionCard.hpp"
#include "UI/SparklineView.hpp"
#include "UI/UsageRows.hpp"
#include "UI/UsageTrendChart.hpp"
#include "ViewModels/NetworksViewModel.hpp"
#include "ViewModels/QtMainQueue.hpp"

namespace ostrel::testing {

using namespace std::chrono;
using namespace std::chrono_literals;

constexpr std::int64_t MiB = 1024 * 1024;

template <class T = QWidget>
T* child(const QObject* root, const char* name) {
    T* found = root->findChild<T*>(name);
    if (!found) qFatal("no %s named %s", T::staticMetaObject.className(), name);
    return found;
}

QString text(const QObject* root, const char* name) {
    return child<QLabel>(root, name)->text();
}

// A card's rows as shown, each as its texts joined by " | "; none while they are hidden.
QStringList rowsOf(const SectionCard* card) {
    const auto* rows = card->findChild<UsageRows*>();
    return rows && rows->isVisibleTo(card) ? rows->lines() : QStringList();
}

// In UTC on the rig's clock (2026-03-10 12:00), the sampler stopped. Home (Wi-Fi): Browser 3 MB
// down and 1 MB up an hour ago, Mail 1 MB down yesterday at 10:00. Office (Ethernet): Mail 512 KB
// down three days ago. Cafe (a hotspot), the network in use, has had no traffic yet.
struct Fixture {
    explicit Fixture(bool traffic, milliseconds interval = 1h) {
        ::setenv("TZ", "UTC", 1), ::tzset();
        data.start();
        data.sampler->stop();
        SQLiteDatabase(data.databasePath).execute("DELETE FROM networks");
        if (traffic) {
            store(made - 1h, "net-home", "Home", NetworkType::wifi, "Browser", 3 * MiB, MiB);
            store(made - 26h, "net-home", "Home", NetworkType::wifi, "Mail", MiB, 0);
            store(made - 72h, "net-office", "Office", NetworkType::ethernet, "Mail", 512 * 1024, 0);
            data.repository()->setActiveNetwork(
                {"net-cafe", "Cafe", NetworkType::hotspot, true, "wlan0", NetworkResolutionState::resolved, "test", 1},
                made);
        }
        vm = std::make_unique<NetworksViewModel>(data.service, mainQueue, [this] { return data.now(); });
        view = std::make_unique<NetworksView>(vm.get(), interval);
        view->resize(880, 560);
    }
    void store(Date at, const char* id, const char* name, NetworkType type, const char* app, std::int64_t rx,
               std::int64_t tx) {
        static int serial = 0;
        std::string sample = "N";  // appended: GCC 12 warns falsely (-Wrestrict) on "N" + string at -O3
        sample += std::to_string(++serial);
        data.repository()->insertSamples({{sample, at, id, name, type, app, app, rx, tx, "nettop", 0.8}});
    }
    void sql(const std::string& statement) { SQLiteDatabase(data.databasePath).execute(statement); }

    std::vector<NetworkRow*> rows() const {
        std::vector<NetworkRow*> rows;
        for (ListRow* row : child<RowList>(view.get(), "networkList")->rows())
            rows.push_back(static_cast<NetworkRow*>(row));
        return rows;
    }
    QWidget* detailPage() const { return child<QStackedWidget>(view.get(), "detailColumn")->currentWidget(); }
    bool showsDetail() const { return detailPage()->objectName() == "detailView"; }
    bool showsNoSelection() const { return detailPage()->objectName() == "noSelection"; }
    bool showsDetailLoading() const { return detailPage()->objectName() == "detailLoading"; }
    void click(const char* name) { QTest::mouseClick(child(view.get(), name), Qt::LeftButton); }
    void clickRow(const QString& network) {
        for (auto* row : rows()) {
            if (row->item().name == network.toStdString()) return QTest::mouseClick(row, Qt::LeftButton);
        }
        QFAIL(qPrintable("no row of " + network));
    }
    SectionCard* card(const char* name) const { return child<SectionCard>(view.get(), name); }

    DataServiceRig data;
    const Date made = data.now();
    std::shared_ptr<QtMainQueue> mainQueue = std::make_shared<QtMainQueue>(QCoreApplication::instance());
    std::unique_ptr<NetworksViewModel> vm;
    std::unique_ptr<NetworksView> view;
};

class NetworksViewTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // First visit: the list loads at once behind its indicator, the detail column asks for a
    // choice. A tapped row shows its progress until its detail arrives, also over another detail.
    // A later visit reloads nothing, and the ticks run only while the screen is shown.
    void showsTheListThenTheTappedNetwork() {
        Fixture f(true);
        f.view->show();
        QVERIFY(child(f.view.get(), "listLoading")->isVisible());
        QCOMPARE(child<QLabel>(child(f.view.get(), "listLoading"), "label")->text(), "Loading networks…");
        QVERIFY(f.showsNoSelection());
        QCOMPARE(text(child(f.view.get(), "noSelection"), "title"), "Select a network");
        QTRY_COMPARE(f.rows().size(), std::size_t{3});
        QVERIFY(!child(f.view.get(), "listLoading")->isVisible());
        QTRY_VERIFY(f.rows().back()->isVisible());  // new rows show once the event loop runs

        const std::tuple<QString, QString, bool, QString, std::size_t> expectedRows[] = {
            {"Home", "Wifi", false, "5 MB", 2},
            {"Office", "Ethernet", false, "512 KB", 1},
            {"Cafe", "Hotspot", true, "Zero KB", 0}};
        for (std::size_t i = 0; i < 3; ++i) {
            const auto& [name, type, active, total, points] = expectedRows[i];
            const NetworkRow* row = f.rows()[i];
            QCOMPARE(text(row, "name"), name);
            QCOMPARE(text(row, "type"), type);
            QCOMPARE(child(row, "active")->isVisible(), active);
            QCOMPARE(text(row, "active"), "Active");
            QCOMPARE(text(row, "total"), total);
            QCOMPARE(child<SparklineView>(row, "sparkline")->points().size(), points);
        }

        f.clickRow("Office");
        QVERIFY(f.showsDetailLoading());
        QCOMPARE(child<QLabel>(child(f.view.get(), "detailLoading"), "label")->text(), "Loading network details…");
        QTRY_VERIFY(f.showsDetail());
        QCOMPARE(f.card("summaryCard")->title(), "Office");
        f.clickRow("Home");
        QVERIFY(f.showsDetailLoading());
        QTRY_VERIFY(f.showsDetail());
        QCOMPARE(f.card("summaryCard")->title(), "Home");
        QCOMPARE(text(f.card("summaryCard"), "type"), "Wifi");
        QCOMPARE(text(f.card("summaryCard"), "total"), "Total: 5 MB");
        QCOMPARE(text(f.card("summaryCard"), "traffic"), "Download 4 MB • Upload 1 MB");
        QCOMPARE(child<UsageTrendChart>(f.view.get(), "trendChart")->points().size(), std::size_t{2});
        QCOMPARE(rowsOf(f.card("topAppsCard")), QStringList({"Browser | 4 MB | 80%", "Mail | 1 MB | 20%"}));
        // Days on the weekly timeframe, busiest first, each at its midnight.
        QCOMPARE(rowsOf(f.card("busiestPeriodsCard")),
                 QStringList({"Mar 10, 12\u202FAM | 4 MB", "Mar 9, 12\u202FAM | 1 MB"}));

        auto* timer = child<QTimer>(f.view.get(), "liveRefreshTimer");
        QVERIFY(timer->isActive());
        f.view->hide();
        QVERIFY(!timer->isActive());
        QSignalSpy loads(f.vm.get(), &NetworksViewModel::isLoadingListChanged);
        f.view->show();
        QVERIFY(timer->isActive());
        QCOMPARE(loads.count(), 0);
    }

    // A network without traffic in the timeframe shows the placeholders and a bare "Busiest
    // Periods" card. Another timeframe empties the detail column until the new list and then the
    // still selected network's detail arrive; the picker follows the view model. On the daily
    // timeframe the busiest periods are hours, the core library's empty ones included. The custom
    // segment asks for the week before construction.
    void followsTheTimeframe() {
        Fixture f(true);
        f.view->show();
        QTRY_COMPARE(f.rows().size(), std::size_t{3});
        f.clickRow("Cafe");
        QTRY_VERIFY(f.showsDetail());
        QCOMPARE(text(f.card("summaryCard"), "total"), "Total: Zero KB");
        QCOMPARE(text(f.card("trendCard"), "trendPlaceholder"), "No data in selected range.");
        QCOMPARE(text(f.card("topAppsCard"), "rankingPlaceholder"), "No application traffic attributed yet.");
        QCOMPARE(rowsOf(f.card("busiestPeriodsCard")), QStringList());

        f.clickRow("Home");
        QTRY_VERIFY(f.showsDetail() && f.card("summaryCard")->title() == "Home");
        f.click("daily");
        QVERIFY(f.showsNoSelection());
        QVERIFY(f.vm->isLoadingList() && !child(f.view.get(), "listLoading")->isVisible());  // a list is shown
        QVERIFY(child<QAbstractButton>(f.view.get(), "daily")->isChecked());
        QVERIFY(!child<QAbstractButton>(f.view.get(), "weekly")->isChecked());
        QTRY_VERIFY(f.showsDetail());
        QCOMPARE(text(f.card("summaryCard"), "total"), "Total: 4 MB");
        const QStringList periods = rowsOf(f.card("busiestPeriodsCard"));
        QCOMPARE(periods.size(), 8);
        QCOMPARE(periods.mid(0, 3), QStringList({"Mar 10, 11\u202FAM | 4 MB", "Mar 10, 12\u202FAM | Zero KB",
                                                 "Mar 10, 1\u202FAM | Zero KB"}));

        f.clickRow("Office");
        QTRY_VERIFY(f.showsDetail() && f.card("summaryCard")->title() == "Office");
        f.data.setNow(f.made + 72h);
        f.store(f.made + 24h, "net-office", "Office", NetworkType::ethernet, "Mail", 2 * MiB, 0);
        f.click("custom");
        QTRY_VERIFY(f.showsDetail() && text(f.card("summaryCard"), "total") == "Total: 512 KB");
        f.click("weekly");
        QTRY_VERIFY(f.showsDetail() && text(f.card("summaryCard"), "total") == "Total: 2.5 MB");
    }

    // An empty store lists nothing and shows no indicator once loaded. A failure shows its text
    // and keeps the list; the next good answer removes it. The live refresh keeps the selected
    // network's detail current, and after the data are cleared the detail column asks again.
    void keepsOrDropsWhatItShowsOnRefresh() {
        Fixture empty(false);
        empty.view->show();
        QTRY_VERIFY(!empty.vm->isLoadingList());
        QVERIFY(empty.rows().empty() && !child(empty.view.get(), "listLoading")->isVisible());
        QVERIFY(empty.showsNoSelection() && !child(empty.view.get(), "errorLabel")->isVisible());

        Fixture f(true, 20ms);
        f.view->show();
        QTRY_COMPARE(f.rows().size(), std::size_t{3});
        f.sql("ALTER TABLE daily_usage RENAME TO away");
        f.click("monthly");
        QTRY_COMPARE(text(f.view.get(), "errorLabel"), "SQLite prepare failed: no such table: daily_usage");
        QVERIFY(child(f.view.get(), "errorLabel")->isVisible());
        QCOMPARE(f.rows().size(), std::size_t{3});
        f.sql("ALTER TABLE away RENAME TO daily_usage");
        QTRY_VERIFY(!child(f.view.get(), "errorLabel")->isVisible());

        f.clickRow("Home");
        QTRY_VERIFY(f.showsDetail());
        f.store(f.made - 2h, "net-home", "Home", NetworkType::wifi, "Mail", MiB, 0);
        f.data.setNow(f.made + 13s);  // past the caches' time to live
        // A tick's detail may come from past the clock's step before its list does.
        QTRY_VERIFY(f.showsDetail() && text(f.card("summaryCard"), "total") == "Total: 6 MB" &&
                    text(f.rows()[0], "total") == "6 MB");

        f.data.repository()->clearAllData();
        f.data.setNow(f.made + 26s);
        QTRY_VERIFY(f.rows().empty() && f.showsNoSelection());
        QCOMPARE(f.vm->selectedNetworkID(), "net-home");
    }

    // Received + sent at the 64-bit limit is written as the largest count, not a wrapped one.
    void totalsSaturate() {
        NetworkDetailView detail;
        const auto max = std::numeric_limits<std::int64_t>::max();
        detail.setModel({"n", "Huge", NetworkType::other, {max, 1}, {}, {{"a", "App", max, max, 1}}, {}});
        QCOMPARE(text(&detail, "total"), "Total: 8,388,608 TB");
        QCOMPARE(rowsOf(detail.findChild<SectionCard*>("topAppsCard")), QStringList({"App | 8,388,608 TB | 100%"}));
    }
};

}  // namespace ostrel::testing

int main(int argc, char** argv) {
    // Texts in US English (ICU reads the locale once, from here), times in UTC.
    ::setenv("LC_ALL", "en_US.UTF-8", 1), ::setenv("TZ", "UTC", 1), ::tzset();
    QApplication::setAttribute(Qt::AA_Use96Dpi);
    QApplication app(argc, argv);
    ostrel::testing::NetworksViewTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "NetworksViewTest.moc"
