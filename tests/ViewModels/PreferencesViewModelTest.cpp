#include <QCoreApplication>
#include <QMetaMethod>
#include <QTest>
#include <atomic>
#include <limits>

#include "Platform/FakeLocationManager.hpp"
#include "Services/support/DataServiceRig.hpp"
#include "ViewModels/PreferencesViewModel.hpp"
#include "ViewModels/QtMainQueue.hpp"
#include "ViewModels/support/DatabaseGate.hpp"

using namespace std::chrono_literals;
using L = ostrel::LocationManager;

namespace ostrel {

// A real data service, a location service over a fake system state, the Qt loop as main queue, and
// the view models' announcements in order.
class PreferencesViewModelTest : public QObject {
    Q_OBJECT
    std::unique_ptr<testing::DataServiceRig> data;
    std::shared_ptr<QtMainQueue> queue = std::make_shared<QtMainQueue>(QCoreApplication::instance());
    std::shared_ptr<FakeLocationManager> manager;
    std::shared_ptr<LocationPermissionService> location;
    QStringList seen, hooks;

    std::unique_ptr<PreferencesViewModel> make() {
        auto viewModel = std::make_unique<PreferencesViewModel>(data->service, location, queue);
        for (int i = viewModel->metaObject()->propertyOffset(); i < viewModel->metaObject()->propertyCount(); ++i)
            connect(viewModel.get(), viewModel->metaObject()->property(i).notifySignal(), this,
                    metaObject()->method(metaObject()->indexOfSlot("record()")));
        return viewModel;
    }
    // Waits until the view models' queued work has let go of the data service (each living view
    // model holds it once), then three hops of main-queue tasks: an announcement, the view model's
    // own task and its answer.
    bool settle(long viewModels = 1) {
        if (!QTest::qWaitFor([&] { return data->service.use_count() <= 1 + viewModels; })) return false;
        bool done = false;
        queue->async([&] { queue->async([&] { queue->async([&] { done = true; }); }); });
        return QTest::qWaitFor([&] { return done; });
    }
    void sql(const char* statement) { SQLiteDatabase(data->databasePath).execute(statement); }

public slots:
    void record() { seen << QString(sender()->metaObject()->method(senderSignalIndex()).name()).chopped(7); }

private slots:
    void initTestCase() { testing::DatabaseGate::install(); }
    void init() {
        (data = std::make_unique<testing::DataServiceRig>())->start();
        manager = std::make_shared<FakeLocationManager>(L::authorizedAlways);
        location = LocationPermissionService::create(manager, BundleInfo::parse(R"({"NSLocationUsageDescription": 1})"),
                                                     queue);
        location->setHooks({[this] { hooks << "close"; }, [this] { hooks << "front"; }, [this] { hooks << "open"; }});
        seen.clear(), hooks.clear();
    }
    void cleanup() {
        QVERIFY(settle(0));  // queued tasks hold the data service, whose sampler reads the rig's clock
        data.reset();
    }

    // No traffic, so no batch: the current active network still follows what the sampler stores.
    void activeNetworkFollowsTheStoreWithoutTraffic() {
        data->sampler->stop();  // ticked by hand below
        sql("DELETE FROM networks WHERE is_active = 1");
        auto viewModel = make();
        QVERIFY(settle());
        QVERIFY(!viewModel->activeNetwork());
        data->setNow(data->now() + 11s);  // due for its periodic network write
        data->sampler->collectSampleNow();
        QTRY_VERIFY_WITH_TIMEOUT((data->mainQueue->pump(), viewModel->activeNetwork().has_value()), 30000);
        QCOMPARE(viewModel->activeNetworkIdentity().value("name"), "Ethernet");
        QCOMPARE(viewModel->activeNetworkIdentity().value("interfaceName"), "eth0");
    }

    void thresholdsAreTruncatedOrRefused() {
        auto viewModel = make();
        constexpr double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
        constexpr qint64 refused = 0;
        // clang-format off
        const std::pair<double, qint64> cases[] = {
            {1, 1073741824}, {500, 536870912000}, {1.5, 1610612736}, {0.9999999999, 1073741823}, {-1.5, -1610612736},
            {8589934591.999999, 9223372036854774784}, {-8589934592.0, std::numeric_limits<qint64>::min()},
            {8589934592.0, refused}, {-8589934592.000001, refused}, {nan, refused}, {inf, refused}, {-inf, refused}};
        // clang-format on
        for (const auto& [gigabytes, bytes] : cases) {
            const auto saves = data->loginItem->calls().size();
            QCOMPARE(viewModel->updateDangerThreshold(gigabytes), bytes != refused);
            QVERIFY(settle());
            QCOMPARE(data->loginItem->calls().size(), saves + (bytes != refused));
            const auto shown = std::to_string(viewModel->dangerThresholdBytes());
            QCOMPARE(data->text("SELECT value FROM settings WHERE key = 'danger_threshold_bytes'"), shown);
            if (bytes != refused) QCOMPARE(viewModel->dangerThresholdBytes(), bytes);
        }
    }

    // Own changes show at once; a failed save brings back the previous copy, and the service's
    // unsaved value shows only after the next announcement; each outcome replaces the other's
    // message; a clear asked for while one runs is ignored.
    void settingsAndClearingSetStateAndMessages() {
        auto viewModel = make();
        viewModel->updateMenuBarMode(MenuBarDisplayMode::uploadDownload);
        viewModel->updateLaunchAtLogin(true);
        QVERIFY(settle());
        QVERIFY(data->repository()->loadSettings() == viewModel->settings());
        sql("CREATE TRIGGER a BEFORE UPDATE ON settings BEGIN SELECT RAISE(ABORT, 'kept'); END;");
        QVERIFY(viewModel->updateWarningThreshold(2));
        QCOMPARE(viewModel->warningThresholdBytes(), qint64{2147483648});
        QVERIFY(settle());
        QCOMPARE(viewModel->warningThresholdBytes(), qint64{5368709120});
        data->store(data->now(), "app-web", 100);  // a row whose deletion fails
        sql("CREATE TRIGGER b BEFORE DELETE ON usage_samples BEGIN SELECT RAISE(ABORT, 'no'); END;");
        viewModel->clearData();
        QVERIFY(settle());
        QCOMPARE(viewModel->errorMessage(), "SQLite step failed: no");
        QCOMPARE(seen.join(' '),
                 "menuBarDisplayMode launchAtLogin warningThresholdBytes errorMessage warningThresholdBytes "
                 "isClearingData errorMessage isClearingData");

        sql("DROP TRIGGER a"), sql("DROP TRIGGER b"), seen.clear();
        std::atomic<int> cleared = 0;
        data->service->addObserver([&] { ++cleared; });
        connect(viewModel.get(), &PreferencesViewModel::isClearingDataChanged, this, [&] {
            if (viewModel->isClearingData()) viewModel->clearData();
        });
        viewModel->clearData();
        QVERIFY(settle());  // the announcement brings the service's unsaved value
        QCOMPARE(cleared, 1);
        QCOMPARE(viewModel->infoMessage(), "Local usage data cleared.");
        QCOMPARE(seen.join(' '), "isClearingData errorMessage infoMessage isClearingData warningThresholdBytes");
        QCOMPARE(viewModel->warningThresholdBytes(), qint64{2147483648});

        seen.clear();
        data->service->updateSettings(
            [](OstrelSettings& settings) { settings = {}, settings.dangerThresholdBytes = 1; });
        QVERIFY(seen.isEmpty());
        QTRY_COMPARE(seen.join(' '), "menuBarDisplayMode warningThresholdBytes dangerThresholdBytes launchAtLogin");
        viewModel->updateNotificationsEnabled(false);
        QVERIFY(settle());
        QVERIFY(viewModel->infoMessage().isNull() && viewModel->errorMessage().isNull());
    }

    // With the database held by a long statement, nothing on the main thread waits for it:
    // building a view model, a change, a clear, an announcement's re-read, a release. The change
    // shows at once; once the database is free, the answers land in the order asked.
    void neverWaitsForTheDatabase() {
        data->sampler->stop();  // no network appears meanwhile
        auto viewModel = make();
        QVERIFY(settle());
        testing::DatabaseGate gate(data->databasePath);
        data->service->updateSettings([](OstrelSettings& settings) { settings.warningThresholdBytes = 7; });
        QVERIFY(gate.hold(data->service));
        seen.clear();
        QCoreApplication::sendPostedEvents();  // the announcement's re-read
        auto other = make();
        QVERIFY(viewModel->updateWarningThreshold(3));
        QCOMPARE(viewModel->warningThresholdBytes(), qint64{3221225472});
        viewModel->clearData();
        QVERIFY(viewModel->isClearingData());
        other.reset();
        QVERIFY(!gate.expired());
        gate.release();
        QVERIFY(settle());
        QCOMPARE(data->text("SELECT value FROM settings WHERE key = 'warning_threshold_bytes'"), "3221225472");
        QCOMPARE(viewModel->infoMessage(), "Local usage data cleared.");
        QCOMPARE(seen.join(' '), "warningThresholdBytes isClearingData infoMessage isClearingData");
    }

    // Quick successive changes, as a slider's steps, made while the database is held: shown at
    // once, saved in order, the newest kept, and no earlier answer brings an older value back. A
    // failed step in the middle shows its message until the next step is saved; a failed last
    // step brings back the value saved before it, until an announcement copies the service's
    // unsaved value.
    void successiveChangesAreSavedInOrder_data() {
        QTest::addColumn<int>("failing");  // the step, in gigabytes, whose save fails; 0 for none
        QTest::addColumn<qint64>("stored");
        QTest::addColumn<qint64>("shown");
        QTest::addColumn<QString>("announced");
        const QString threeSteps = "warningThresholdBytes warningThresholdBytes warningThresholdBytes";
        QTest::newRow("all saved") << 0 << qint64{4} << qint64{4} << threeSteps;
        QTest::newRow("middle fails") << 3 << qint64{4} << qint64{4} << threeSteps + " errorMessage errorMessage";
        QTest::newRow("last fails") << 4 << qint64{3} << qint64{4}
                                    << threeSteps + " errorMessage warningThresholdBytes warningThresholdBytes";
    }
    void successiveChangesAreSavedInOrder() {
        QFETCH(int, failing);
        QFETCH(qint64, stored);
        QFETCH(qint64, shown);
        QFETCH(QString, announced);
        constexpr qint64 GiB = qint64{1} << 30;
        data->sampler->stop();
        auto viewModel = make();
        QVERIFY(settle());
        const std::string refuse = "CREATE TRIGGER f BEFORE UPDATE ON settings WHEN NEW.value = '" +
                                   std::to_string(failing * GiB) + "' BEGIN SELECT RAISE(ABORT, 'refused'); END;";
        if (failing != 0) sql(refuse.c_str());
        testing::DatabaseGate gate(data->databasePath);
        QVERIFY(gate.hold(data->service));
        seen.clear();
        for (const int gigabytes : {2, 3, 4}) QVERIFY(viewModel->updateWarningThreshold(gigabytes));
        QCOMPARE(viewModel->warningThresholdBytes(), 4 * GiB);
        gate.release();
        QVERIFY(settle());
        QCOMPARE(data->text("SELECT value FROM settings WHERE key = 'warning_threshold_bytes'"),
                 std::to_string(stored * GiB));
        QCOMPARE(viewModel->warningThresholdBytes(), shown * GiB);
        QCOMPARE(seen.join(' '), announced);
        if (failing == 4) QCOMPARE(viewModel->errorMessage(), "SQLite step failed: refused");
    }

    // The newest view model owns the status handler, the others copy the status after their own
    // actions; a released one leaves the observer table and drops what was queued for it. The
    // active network: none until an announcement finds one, and none again when the query fails.
    void takeOverReleaseAndTheActiveNetwork() {
        data->sampler->stop(), data->repository()->clearAllData();
        const auto base = data->service->observerCount();
        auto first = make(), second = make();
        QCOMPARE(data->service->observerCount(), base + 2);
        manager->setState(L::restricted), manager->reportAuthorizationChange();
        QTRY_COMPARE(second->locationPermissionStatus(), "restricted");
        QVERIFY(settle(2));
        QCOMPARE(first->locationPermissionStatus(), "authorized");
        first->refreshLocationStatus();
        QCOMPARE(first->locationPermissionStatus(), "restricted");
        first->requestLocationAccess();  // asks the system; its answer comes later
        QTRY_COMPARE(manager->requestCount(), 1);
        manager->setState(L::authorizedAlways, false), first->requestLocationAccess(), first->openLocationSettings();
        QCOMPARE(first->locationPermissionStatus(), "servicesDisabled");  // at once
        QCOMPARE(hooks.join(' '), "close front open");

        data->service->updateSettings([](OstrelSettings& settings) { settings.warningThresholdBytes = 7; });
        second.reset();
        QCOMPARE(data->service->observerCount(), base + 1);
        manager->setState(L::denied), manager->reportAuthorizationChange();
        QVERIFY(settle());
        QVERIFY(first->permissionStatus() == LocationPermissionStatus::servicesDisabled && !first->activeNetwork());
        QCOMPARE(first->warningThresholdBytes(), qint64{7});

        std::atomic<int> batches = 0;
        data->service->addObserver([&] { ++batches; });
        data->setNow(data->now() + 11s);  // due for its periodic network write
        data->traffic(4000, 400), data->sampler->collectSampleNow();
        QVERIFY(data->mainQueue->pumpUntil([&] { return batches == 1; }, 10s));
        QTRY_VERIFY(first->activeNetwork());  // the flush's write leaves no interface name
        // clang-format off
        const QVariantMap ethernet{{"id", "iface-eth0"}, {"name", "Ethernet"}, {"type", "ethernet"}, {"isActive", true},
            {"resolutionState", "resolved"}, {"resolutionSource", "sample"}, {"resolutionConfidence", 1.0}};
        // clang-format on
        QCOMPARE(first->activeNetworkIdentity(), ethernet);
        sql("ALTER TABLE networks RENAME TO gone");
        first->updateLaunchAtLogin(true);
        QVERIFY(settle());
        QVERIFY(!first->activeNetwork() && first->errorMessage().isNull());
        first.reset();
        QCOMPARE(data->service->observerCount(), base + 1);  // the counting one
    }
};

}  // namespace ostrel

QTEST_GUILESS_MAIN(ostrel::PreferencesViewModelTest)
#include "PreferencesViewModelTest.moc"
