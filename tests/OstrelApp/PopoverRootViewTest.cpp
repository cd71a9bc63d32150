#include <unicode/locid.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QTabBar>
#include <QTest>

#include "Features/Apps/AppListRow.hpp"
#include "Features/Apps/AppsView.hpp"
#include "Features/Networks/NetworksView.hpp"
#include "Features/Overview/OverviewView.hpp"
#include "Features/Preferences/PreferencesView.hpp"
#include "OstrelApp/PopoverRootView.hpp"
#include "OstrelApp/PopoverWindow.hpp"
#include "Services/support/DataServiceRig.hpp"
#include "UI/LiveRefresh.hpp"
#include "UI/SectionCard.hpp"
#include "UI/StyledLabel.hpp"
#include "UI/UsageTrendChart.hpp"
#include "ViewModels/AppsViewModel.hpp"
#include "ViewModels/MenuBarViewModel.hpp"
#include "ViewModels/NetworksViewModel.hpp"
#include "ViewModels/OverviewViewModel.hpp"
#include "ViewModels/QtMainQueue.hpp"

namespace ostrel {
namespace {

constexpr qint64 kMiB = 1024 * 1024;
constexpr int kWait = 60000;  // ms; generous for a loaded machine

template <class T>
T* child(QObject* root, const char* name) {
    auto* found = root->findChild<T*>(name);
    if (found == nullptr) qFatal("no child named %s", name);
    return found;
}

// The screen's live-refresh period in nanoseconds; 0 for a screen without one.
qint64 liveRefreshNs(QWidget* screen) {
    const auto* refresh = screen->findChild<LiveRefresh*>(QString(), Qt::FindDirectChildrenOnly);
    return refresh ? refresh->interval().count() : 0;
}

}  // namespace

// The popover's content against the real data service on a temporary data folder.
class PopoverRootViewTest : public QObject {
    Q_OBJECT

    std::unique_ptr<testing::DataServiceRig> rig;
    std::unique_ptr<MenuBarViewModel> model;
    std::unique_ptr<PopoverRootView> root;

    QString text(const char* name) { return child<QLabel>(root.get(), name)->text(); }
    QComboBox* picker() { return child<QComboBox>(root.get(), "displayModePicker"); }
    void traffic(const std::string& app, std::int64_t rx, std::int64_t tx) {
        static int serial = 0;
        rig->repository()->insertSamples({{std::to_string(++serial) + "P", rig->now(), "Home", "Home",
                                           NetworkType::wifi, app, app, rx, tx, "nettop", 0.8}});
    }
    void open(MenuBarDisplayMode mode) {
        rig->service->updateSettings([mode](auto& s) { s.menuBarDisplayMode = mode; });
        model = std::make_unique<MenuBarViewModel>(rig->service, rig->programQueue);
        root = std::make_unique<PopoverRootView>(rig->service, model.get());
    }

private slots:
    void initTestCase() {
        ::setenv("TZ", "UTC", 1), ::tzset();
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(icu::Locale("en_US"), status);
    }

    void init() {
        rig = std::make_unique<testing::DataServiceRig>();
        rig->programQueue = std::make_shared<QtMainQueue>(qApp);
        rig->start();
        rig->sampler->stop();  // the store holds only what a test writes
    }
    void cleanup() {
        root.reset();
        model.reset();
        QCoreApplication::sendPostedEvents();  // queued tasks hold the data service
        rig.reset();
    }

    // Zeros and "Unknown" until the first answer; then today's figures, whatever the mode, and
    // the picker on the mode.
    void headerShowsToday_data() {
        QTest::addColumn<MenuBarDisplayMode>("mode");
        QTest::addColumn<QString>("picked");
        QTest::addColumn<QString>("menuBarText");
        QTest::newRow("total") << MenuBarDisplayMode::totalToday << "Total Today"
                               << "4 MB Today";
        QTest::newRow("compact") << MenuBarDisplayMode::compactTotal << "Compact"
                                 << "4 MB";
        QTest::newRow("down/up") << MenuBarDisplayMode::uploadDownload << "Down / Up"
                                 << "\u2193 3 MB \u2191 1 MB";
    }
    void headerShowsToday() {
        QFETCH(MenuBarDisplayMode, mode);
        QFETCH(QString, picked);
        QFETCH(QString, menuBarText);
        traffic("Browser", 2 * kMiB, kMiB);
        traffic("Mail", kMiB, 0);
        rig->repository()->setActiveNetwork(
            {"Home", "Home", NetworkType::wifi, true, "wlan0", NetworkResolutionState::resolved, "test", 1},
            rig->now());
        open(mode);
        QCOMPARE(text("todayCaption"), "Today");
        QCOMPARE(text("activeNetworkCaption"), "Active Network");
        QCOMPARE(text("todayTotal"), "Zero KB");
        QCOMPARE(text("trafficLine"), "\u2193 Zero KB  \u2191 Zero KB");
        QCOMPARE(text("activeNetworkTitle"), "Unknown");
        QCOMPARE(picker()->currentText(), picked);

        QTRY_COMPARE_WITH_TIMEOUT(text("todayTotal"), "4 MB", kWait);
        QCOMPARE(text("trafficLine"), "\u2193 3 MB  \u2191 1 MB");
        QCOMPARE(text("activeNetworkTitle"), "Home");
        QCOMPARE(picker()->currentText(), picked);
        QCOMPARE(model->menuBarText(), menuBarText);
        QCOMPARE(child<QWidget>(root.get(), "quitButton")->toolTip(), "Quit Ostrel");
        QCOMPARE(picker()->width(), PopoverHeader::kPickerWidth);
    }

    // A choice in the picker shows at once and is saved; when saving fails, the picker goes back
    // to the mode the model keeps.
    void pickerDrivesTheSetting_data() {
        QTest::addColumn<bool>("saveFails");
        QTest::newRow("saved") << false;
        QTest::newRow("save fails") << true;
    }
    void pickerDrivesTheSetting() {
        QFETCH(bool, saveFails);
        traffic("Browser", 2 * kMiB, kMiB);
        open(MenuBarDisplayMode::compactTotal);
        QTRY_COMPARE_WITH_TIMEOUT(model->menuBarText(), "3 MB", kWait);
        if (saveFails) SQLiteDatabase(rig->databasePath).execute("DROP TABLE settings");

        picker()->setFocus();
        QTest::keyClick(picker(), Qt::Key_Down);
        QCOMPARE(picker()->currentText(), "Down / Up");
        QCOMPARE(model->menuBarText(), "\u2193 2 MB \u2191 1 MB");
        const auto expected = saveFails ? MenuBarDisplayMode::compactTotal : MenuBarDisplayMode::uploadDownload;
        QTRY_COMPARE_WITH_TIMEOUT(model->displayMode(), expected, kWait);
        QCOMPARE(picker()->currentText(), saveFails ? "Compact" : "Down / Up");
        QCOMPARE(model->menuBarText(), saveFails ? "3 MB" : "\u2193 2 MB \u2191 1 MB");
        if (!saveFails) {
            QTRY_COMPARE_WITH_TIMEOUT(rig->repository()->loadSettings()->menuBarDisplayMode, expected, kWait);
        }
    }

    // Exactly 880 x 680 in a frameless window; the four screens made once with their view models and
    // kept across closing and opening, each shown screen refreshing at its tab's interval. Networks
    // and Apps load nothing until they are first shown, and on Overview the overview loads.
    void popoverHoldsTheFourScreens() {
        traffic("Browser", 2 * kMiB, kMiB);
        open(MenuBarDisplayMode::totalToday);
        QCOMPARE(root->size(), QSize(880, 680));
        PopoverTabs* tabs = root->tabs();
        QStringList titles;
        for (int i = 0; i < tabs->tabBar()->count(); ++i) {
            titles << tabs->tabBar()->tabText(i);
            QVERIFY(!tabs->tabBar()->tabIcon(i).isNull());
        }
        QCOMPARE(titles, (QStringList{"Overview", "Networks", "Apps", "Prefs"}));
        QCOMPARE(tabs->currentIndex(), 0);
        QWidget* const screens[] = {tabs->screen(PopoverTab::overview), tabs->screen(PopoverTab::networks),
                                    tabs->screen(PopoverTab::apps), tabs->screen(PopoverTab::prefs)};
        QVERIFY(qobject_cast<OverviewView*>(screens[0]) && qobject_cast<NetworksView*>(screens[1]) &&
                qobject_cast<AppsView*>(screens[2]) && qobject_cast<PreferencesView*>(screens[3]));
        QCOMPARE(liveRefreshNs(screens[0]), 3000000000LL);
        QCOMPARE(liveRefreshNs(screens[1]), 4000000000LL);
        QCOMPARE(liveRefreshNs(screens[2]), 4000000000LL);
        QCOMPARE(liveRefreshNs(screens[3]), 0LL);

        PopoverRootView* content = root.release();
        PopoverWindow window(content);
        // Not a popup, which would take the pointer from the tray host.
        QCOMPARE(window.windowType(), Qt::Tool);
        QVERIFY(window.windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(!content->overviewViewModel()->isLoading() && !content->overviewViewModel()->snapshot());
        window.showAt({QPoint(1000, 0), QSize(24, 24)});
        QTRY_VERIFY_WITH_TIMEOUT(content->overviewViewModel()->snapshot().has_value(), kWait);
        QCOMPARE(content->overviewViewModel()->snapshot()->summary, (UsageSummary{2 * kMiB, kMiB}));
        QVERIFY(!content->networksViewModel()->isLoadingList() && content->networksViewModel()->networks().empty());
        QVERIFY(content->appsViewModel()->applications().empty());

        tabs->setCurrentIndex(1);
        QTRY_COMPARE_WITH_TIMEOUT(content->networksViewModel()->networks().size(), std::size_t{1}, kWait);
        QVERIFY(content->appsViewModel()->applications().empty());
        window.hide();
        for (int round = 0; round < 2; ++round) {
            window.showAt({QPoint(1000, 0), QSize(24, 24)});
            QVERIFY(window.isVisible());
            QCOMPARE(window.size(), QSize(880, 680));
            QCOMPARE(tabs->currentIndex(), 1);
            window.hide();
        }
        for (const PopoverTab tab : allPopoverTabs) QCOMPARE(tabs->screen(tab), screens[static_cast<int>(tab)]);
        QCOMPARE(content->networksViewModel()->networks().size(), std::size_t{1});
    }

    // Names that are not well-behaved text keep their places: an interface named with a
    // right-to-left override shows its characters in order in the header, and names with line
    // breaks give rows as high as any other.
    void oddNamesShowInOrderOnOneLine() {
        const std::string overridden =
            "\xe2\x80\xae"
            "exe.eviltxt";
        traffic(overridden, 3 * kMiB, 0);
        traffic("Two\nLines", 2 * kMiB, 0);
        traffic("Mail", kMiB, 0);
        rig->repository()->setActiveNetwork({"iface-odd", overridden, NetworkType::other, true, overridden,
                                             NetworkResolutionState::unavailable, "interface", 0.5},
                                            rig->now());
        open(MenuBarDisplayMode::totalToday);
        root->show();
        QTRY_COMPARE_WITH_TIMEOUT(text("activeNetworkTitle"), "exe.eviltxt", kWait);
        QCOMPARE(child<StyledLabel>(root.get(), "activeNetworkTitle")->shownText(), "\u2068exe.eviltxt\u2069");

        root->tabs()->setCurrentIndex(2);
        QTRY_COMPARE_WITH_TIMEOUT(root->appsViewModel()->applications().size(), std::size_t{3}, kWait);
        QApplication::processEvents();
        QSet<int> heights;
        QStringList names;
        for (auto* row : root->findChildren<AppListRow*>()) {
            heights << row->height();
            names << child<QLabel>(row, "name")->text();
        }
        QCOMPARE(names, QStringList({"exe.eviltxt", "Two Lines", "Mail"}));
        QCOMPARE(heights.size(), 1);
    }

    // A 5,000-character application name is elided in its detail, which keeps within the popover
    // with its chart and figures.
    void longNamesStayWithinThePopover() {
        std::string longName = "Long";
        longName.append(5000, 'n');
        longName += "End";
        traffic(longName, 3 * kMiB, 0);
        open(MenuBarDisplayMode::totalToday);
        root->show();
        root->tabs()->setCurrentIndex(2);
        QTRY_COMPARE_WITH_TIMEOUT(root->appsViewModel()->applications().size(), std::size_t{1}, kWait);
        root->appsViewModel()->selectApplication(QString::fromStdString(longName));
        QTRY_VERIFY_WITH_TIMEOUT(root->appsViewModel()->selectedDetail(), kWait);
        for (int pass = 0; pass < 3; ++pass) QApplication::processEvents();  // nested layouts settle in turns
        QCOMPARE(root->size(), QSize(880, 680));
        QVERIFY(root->minimumSizeHint().width() <= 880);
        const auto rightEdge = [&](const char* name) {
            auto* widget = child<QWidget>(child<QWidget>(root.get(), "appDetail"), name);
            return widget->mapTo(root.get(), QPoint(widget->width(), 0)).x();
        };
        for (const char* name : {"summaryCard", "trendCard", "total", "trendChart"}) {
            QVERIFY2(rightEdge(name) <= 880, name);
        }
        QWidget* apps = root->tabs()->screen(PopoverTab::apps);
        QVERIFY(child<UsageTrendChart>(apps, "trendChart")->width() > 300);
        const QString title = child<SectionCard>(apps, "summaryCard")->titleLabel()->shownText();
        QVERIFY2(title.startsWith("\u2068Longnn") && title.contains(QStringLiteral("\u2026")) &&
                     title.endsWith("nnEnd\u2069"),
                 qPrintable(title));
    }
};

}  // namespace ostrel

QTEST_MAIN(ostrel::PopoverRootViewTest)
#include "PopoverRootViewTest.moc"
