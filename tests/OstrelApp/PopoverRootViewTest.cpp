#include <unicode/locid.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QTabBar>
#include <QTest>

#include "OstrelApp/PopoverRootView.hpp"
#include "OstrelApp/PopoverWindow.hpp"
#include "Services/support/DataServiceRig.hpp"
#include "ViewModels/MenuBarViewModel.hpp"
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

// A screen that takes part in the live refresh.
class RefreshingScreen final : public QWidget {
    Q_OBJECT
    Q_PROPERTY(quint64 liveRefreshIntervalNs MEMBER interval)

public:
    quint64 interval = 0;
};

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

    // A choice in the picker is saved and shows at once; when saving fails, the picker goes back
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
        const auto expected = saveFails ? MenuBarDisplayMode::compactTotal : MenuBarDisplayMode::uploadDownload;
        QCOMPARE(model->displayMode(), expected);
        QCOMPARE(picker()->currentText(), saveFails ? "Compact" : "Down / Up");
        QCOMPARE(model->menuBarText(), saveFails ? "3 MB" : "\u2193 2 MB \u2191 1 MB");
        if (!saveFails) {
            QCOMPARE(rig->repository()->loadSettings()->menuBarDisplayMode, expected);
        }
    }

    // Exactly 880 x 680 in a frameless window; four tabs made once and kept, each screen handed its
    // live-refresh interval.
    void popoverAndTabs() {
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
        const auto interval = [&](PopoverTab tab) { return tabs->screen(tab)->property("liveRefreshIntervalNs"); };
        QCOMPARE(interval(PopoverTab::overview).toULongLong(), 3000000000ULL);
        QCOMPARE(interval(PopoverTab::networks).toULongLong(), 4000000000ULL);
        QCOMPARE(interval(PopoverTab::apps).toULongLong(), 4000000000ULL);
        QCOMPARE(interval(PopoverTab::prefs).toULongLong(), 0ULL);

        PopoverRootView* content = root.release();
        PopoverWindow window(content);
        // Not a popup, which would take the pointer from the tray host.
        QCOMPARE(window.windowType(), Qt::Tool);
        QVERIFY(window.windowFlags().testFlag(Qt::FramelessWindowHint));
        tabs->setCurrentIndex(2);
        QWidget* networks = tabs->screen(PopoverTab::networks);
        auto* screen = new RefreshingScreen;
        tabs->setScreen(PopoverTab::apps, screen);
        QCOMPARE(screen->interval, 4000000000ULL);
        QCOMPARE(tabs->currentIndex(), 2);
        QCOMPARE(tabs->screen(PopoverTab::apps), screen);
        QVERIFY(screen->isVisibleTo(tabs) && !networks->isVisibleTo(tabs));

        for (int round = 0; round < 2; ++round) {
            window.showAt({QPoint(1000, 0), QSize(24, 24)});
            QVERIFY(window.isVisible());
            QCOMPARE(window.size(), QSize(880, 680));
            window.hide();
        }
        QCOMPARE(tabs->screen(PopoverTab::networks), networks);
        QCOMPARE(tabs->screen(PopoverTab::apps), screen);
    }
};

}  // namespace ostrel

QTEST_MAIN(ostrel::PopoverRootViewTest)
#include "PopoverRootViewTest.moc"
