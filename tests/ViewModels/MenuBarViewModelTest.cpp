#include <unicode/locid.h>

#include <QCoreApplication>
#include <QTest>
#include <condition_variable>
#include <deque>
#include <limits>
#include <mutex>

#include "Services/support/DataServiceRig.hpp"
#include "ViewModels/MenuBarViewModel.hpp"
#include "ViewModels/support/DatabaseGate.hpp"

namespace ostrel {
namespace {

constexpr qint64 kMiB = 1024 * 1024;

// A main queue that keeps what it is given until the test lets it run, so the answers of
// several refreshes can be collected first and delivered together.
struct HeldQueue final : MainQueue {
    void async(std::function<void()> task) override {
        std::lock_guard lock(mutex);
        tasks.push_back(std::move(task));
        arrived.notify_all();
    }
    void asyncAfter(std::chrono::milliseconds, std::function<void()> task) override { async(std::move(task)); }
    bool waitFor(std::size_t count) {
        std::unique_lock lock(mutex);
        return arrived.wait_for(lock, std::chrono::seconds(60), [&] { return tasks.size() >= count; });
    }
    // Runs the first `count` tasks. What they queue, and an answer that arrives meanwhile, wait
    // for the next call: each deliver() counts its own answers.
    void runFirst(std::size_t count) {
        std::deque<std::function<void()>> batch;
        {
            std::lock_guard lock(mutex);
            const auto end = tasks.begin() + static_cast<std::ptrdiff_t>(std::min(count, tasks.size()));
            batch.assign(std::make_move_iterator(tasks.begin()), std::make_move_iterator(end));
            tasks.erase(tasks.begin(), end);
        }
        for (auto& task : batch) task();
    }
    void runAll() { runFirst(size()); }
    std::size_t size() {
        std::lock_guard lock(mutex);
        return tasks.size();
    }
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<std::function<void()>> tasks;
};

}  // namespace

class MenuBarViewModelTest : public QObject {
    Q_OBJECT

    std::unique_ptr<testing::DataServiceRig> rig;
    std::shared_ptr<HeldQueue> queue;
    QStringList fired;  // the model's signals for its fields, in order
    int finished = 0;   // its announcements of a finished reload

    // Today's traffic of one application on one network, written beside the running service.
    void traffic(const std::string& app, const std::string& network, std::int64_t rx, std::int64_t tx) {
        static int serial = 0;
        rig->repository()->insertSamples({{std::to_string(++serial) + "T", rig->now(), network, network,
                                           NetworkType::wifi, app, app, rx, tx, "nettop", 0.8}});
    }
    void execute(const std::string& sql) { SQLiteDatabase(rig->databasePath).execute(sql); }
    // Past the menu-bar cache's time to live, so the next load reads the store.
    void ageCache() { rig->setNow(rig->now() + std::chrono::seconds(3)); }
    void deliver(std::size_t answers) {
        QVERIFY(queue->waitFor(answers));
        queue->runFirst(answers);
    }
    std::unique_ptr<MenuBarViewModel> makeModel() {
        auto model = std::make_unique<MenuBarViewModel>(rig->service, queue);
        const auto record = [this](const char* name) { return [this, name] { fired.append(name); }; };
        connect(model.get(), &MenuBarViewModel::menuBarTextChanged, this, record("menuBarText"));
        connect(model.get(), &MenuBarViewModel::todaySummaryChanged, this, record("todaySummary"));
        connect(model.get(), &MenuBarViewModel::activeNetworkTitleChanged, this, record("activeNetworkTitle"));
        connect(model.get(), &MenuBarViewModel::topAppTitleChanged, this, record("topAppTitle"));
        connect(model.get(), &MenuBarViewModel::topNetworkTitleChanged, this, record("topNetworkTitle"));
        connect(model.get(), &MenuBarViewModel::displayModeChanged, this, record("displayMode"));
        connect(model.get(), &MenuBarViewModel::refreshFinished, this, [this] { ++finished; });
        return model;
    }
    std::vector<std::string> logged(const std::string& prefix) {
        std::vector<std::string> lines;
        for (const auto& line : rig->log->lines())
            if (line.rfind(prefix, 0) == 0) lines.push_back(line);
        return lines;
    }

private slots:
    void initTestCase() {
        testing::DatabaseGate::install();
        ::setenv("TZ", "UTC", 1), ::tzset();
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(icu::Locale("en_US"), status);
    }

    void init() {
        fired.clear(), finished = 0;
        rig = std::make_unique<testing::DataServiceRig>();
        rig->programQueue = queue = std::make_shared<HeldQueue>();
        rig->start();
        rig->sampler->stop();  // the store holds only what a test writes
    }
    void cleanup() { rig.reset(); }

    void textRule_data() {
        QTest::addColumn<MenuBarDisplayMode>("mode");
        QTest::addColumn<qint64>("rx");
        QTest::addColumn<qint64>("tx");
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing yet") << MenuBarDisplayMode::totalToday << qint64(0) << qint64(0) << "Zero KB Today";
        QTest::newRow("total") << MenuBarDisplayMode::totalToday << 1000 * kMiB << 229 * kMiB << "1.2 GB Today";
        QTest::newRow("compact") << MenuBarDisplayMode::compactTotal << qint64(1024) << qint64(512) << "2 KB";
        QTest::newRow("down first") << MenuBarDisplayMode::uploadDownload << 3 * kMiB / 2 << qint64(1)
                                    << "\u2193 1.5 MB \u2191 1 KB";
        QTest::newRow("sum saturates") << MenuBarDisplayMode::compactTotal << std::numeric_limits<qint64>::max()
                                       << qint64(1) << "8,388,608 TB";
    }
    void textRule() {
        QFETCH(MenuBarDisplayMode, mode);
        QFETCH(qint64, rx);
        QFETCH(qint64, tx);
        QFETCH(QString, text);
        QCOMPARE(MenuBarViewModel::makeMenuBarText(mode, {rx, tx}), text);
    }

    // Start values until the first answer; then the fields in their order, in the mode it read.
    void firstRefreshPublishesInOrder() {
        rig->service->updateSettings([](auto& s) { s.menuBarDisplayMode = MenuBarDisplayMode::uploadDownload; });
        traffic("Browser", "Home", 3 * kMiB, kMiB);
        traffic("Mail", "Cafe", kMiB, 0);
        rig->repository()->setActiveNetwork(
            {"Cafe", "Cafe", NetworkType::wifi, true, "wlan0", NetworkResolutionState::resolved, "test", 1.0},
            rig->now());

        auto model = makeModel();
        QCOMPARE(model->menuBarText(), "Ostrel");
        QCOMPARE(model->todaySummary(), UsageSummary{});
        QCOMPARE(model->activeNetworkTitle(), "Unknown");
        QCOMPARE(model->topAppTitle(), "-");
        QCOMPARE(model->topNetworkTitle(), "-");
        QCOMPARE(model->displayMode(), MenuBarDisplayMode::uploadDownload);

        deliver(1);
        QCOMPARE(fired,
                 (QStringList{"todaySummary", "activeNetworkTitle", "topAppTitle", "topNetworkTitle", "menuBarText"}));
        QCOMPARE(model->todaySummary(), (UsageSummary{4 * kMiB, kMiB}));
        QCOMPARE(model->activeNetworkTitle(), "Cafe");
        QCOMPARE(model->topAppTitle(), "Browser");
        QCOMPARE(model->topNetworkTitle(), "Home");
        QCOMPARE(model->menuBarText(), "\u2193 4 MB \u2191 1 MB");

        // Another writer of the settings: the announcement reloads the model in the new mode.
        rig->service->updateSettings([](auto& s) { s.menuBarDisplayMode = MenuBarDisplayMode::compactTotal; });
        deliver(1);  // the observer's hop to the main queue
        deliver(1);  // the answer
        QCOMPARE(model->displayMode(), MenuBarDisplayMode::compactTotal);
        QCOMPARE(model->menuBarText(), "5 MB");
    }

    // No traffic, so no batch: the header still follows the active network the sampler stores.
    void headerFollowsTheStoredActiveNetworkWithoutTraffic() {
        execute("DELETE FROM networks");  // whatever the sampler stored before the test stopped it
        auto model = makeModel();
        deliver(1);
        QCOMPARE(model->activeNetworkTitle(), "Unknown");
        rig->setNow(rig->now() + std::chrono::seconds(11));  // due for its periodic write
        rig->sampler->collectSampleNow();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (model->activeNetworkTitle() != "Ethernet" && std::chrono::steady_clock::now() < deadline) {
            queue->runAll();
            QTest::qWait(1);
        }
        QCOMPARE(model->activeNetworkTitle(), "Ethernet");
        QCOMPARE(model->menuBarText(), "Zero KB Today");
    }

    // Two refreshes in a row: only the second's answer counts, whatever the first's outcome.
    void supersededAnswerIsDropped_data() {
        QTest::addColumn<bool>("firstFails");
        QTest::newRow("first succeeds") << false;
        QTest::newRow("first fails") << true;
    }
    void supersededAnswerIsDropped() {
        QFETCH(bool, firstFails);
        traffic("Browser", "Home", kMiB, 0);
        if (firstFails) execute("ALTER TABLE usage_samples RENAME TO parked");
        auto model = makeModel();
        QVERIFY(queue->waitFor(1));
        if (firstFails) execute("ALTER TABLE parked RENAME TO usage_samples");
        traffic("Browser", "Home", kMiB, 0);
        ageCache();
        model->refresh();
        deliver(2);
        QCOMPARE(model->todaySummary(), (UsageSummary{2 * kMiB, 0}));
        QCOMPARE(fired.count("todaySummary"), 1);
        QCOMPARE(fired.count("menuBarText"), 1);
        QCOMPARE(finished, 1);
        QVERIFY(logged("MenuBar refresh failed: ").empty());
    }

    // A failing load after a good one turns only the text back to "Ostrel", and says why. Each
    // answer is announced as finished, also one that changes nothing.
    void failedRefreshKeepsTheFigures() {
        traffic("Browser", "Home", kMiB, kMiB);
        auto model = makeModel();
        deliver(1);
        fired.clear();
        ageCache();
        model->refresh();
        deliver(1);
        QVERIFY(fired.isEmpty());
        QCOMPARE(finished, 2);
        execute("ALTER TABLE usage_samples RENAME TO parked");
        ageCache();
        model->refresh();
        deliver(1);
        QCOMPARE(fired, QStringList{"menuBarText"});
        QCOMPARE(finished, 3);
        QCOMPARE(model->menuBarText(), "Ostrel");
        QCOMPARE(model->todaySummary(), (UsageSummary{kMiB, kMiB}));
        QCOMPARE(model->topAppTitle(), "Browser");
        const auto lines = logged("MenuBar refresh failed: ");
        QCOMPARE(lines.size(), std::size_t{1});
        QVERIFY2(lines[0].find("no such table: usage_samples") != std::string::npos, lines[0].c_str());
    }

    // The picker's change: mode and text at once, before the save and the reload the change
    // triggers; a failed save is logged and brings back what the model showed.
    void displayModeUpdate_data() {
        QTest::addColumn<bool>("saveFails");
        QTest::newRow("saved") << false;
        QTest::newRow("save fails") << true;
    }
    void displayModeUpdate() {
        QFETCH(bool, saveFails);
        traffic("Browser", "Home", 2 * kMiB, kMiB);
        auto model = makeModel();
        deliver(1);
        fired.clear();
        if (saveFails) execute("DROP TABLE settings");

        model->updateDisplayMode(MenuBarDisplayMode::uploadDownload);
        QCOMPARE(fired, (QStringList{"displayMode", "menuBarText"}));
        QCOMPARE(model->menuBarText(), "\u2193 2 MB \u2191 1 MB");
        if (saveFails) {
            deliver(1);  // the save's answer
            QCOMPARE(fired, (QStringList{"displayMode", "menuBarText", "displayMode", "menuBarText"}));
            QCOMPARE(model->displayMode(), MenuBarDisplayMode::totalToday);
            QCOMPARE(model->menuBarText(), "3 MB Today");
            const auto lines = logged("Display mode update failed: ");
            QCOMPARE(lines.size(), std::size_t{1});
            QVERIFY2(lines[0].find("no such table: settings") != std::string::npos, lines[0].c_str());
            QCOMPARE(queue->size(), std::size_t{0});  // no announcement, so no reload
            return;
        }
        deliver(2);  // the announcement's hop, which starts a reload, then the save's answer
        QCOMPARE(rig->repository()->loadSettings()->menuBarDisplayMode, MenuBarDisplayMode::uploadDownload);
        deliver(1);  // the reload's answer, in the mode that was saved
        QCOMPARE(fired, (QStringList{"displayMode", "menuBarText"}));
        QCOMPARE(model->menuBarText(), "\u2193 2 MB \u2191 1 MB");
    }

    // A reload that read the mode before the picker's change brings its figures, not that mode.
    void answerOlderThanAModeChangeKeepsTheChoice() {
        traffic("Browser", "Home", 2 * kMiB, kMiB);
        auto model = makeModel();
        QVERIFY(queue->waitFor(1));  // the first answer, in the stored mode, not yet delivered
        model->updateDisplayMode(MenuBarDisplayMode::compactTotal);
        QCOMPARE(model->menuBarText(), "Ostrel");  // no figures to show yet
        fired.clear();
        deliver(1);
        QVERIFY(!fired.contains("displayMode"));
        QCOMPARE(model->displayMode(), MenuBarDisplayMode::compactTotal);
        QCOMPARE(model->menuBarText(), "3 MB");
        deliver(2);  // the announcement's hop, then the save's answer
        deliver(1);  // the reload, which read the saved mode
        QVERIFY(!fired.contains("displayMode"));
        QCOMPARE(fired.count("menuBarText"), 1);
        QCOMPARE(model->displayMode(), MenuBarDisplayMode::compactTotal);
    }

    // With the database held by a long statement, the picker returns at once: two quick choices
    // show at once, are saved in order and the newest stays, and the first one's answer does not
    // bring it back.
    void choicesNeverWaitForTheDatabase() {
        traffic("Browser", "Home", 2 * kMiB, kMiB);
        auto model = makeModel();
        deliver(1);
        fired.clear();
        testing::DatabaseGate gate(rig->databasePath);
        QVERIFY(gate.hold(rig->service));
        model->updateDisplayMode(MenuBarDisplayMode::uploadDownload);
        model->updateDisplayMode(MenuBarDisplayMode::compactTotal);
        QVERIFY(!gate.expired());
        QCOMPARE(fired, (QStringList{"displayMode", "menuBarText", "displayMode", "menuBarText"}));
        QCOMPARE(model->menuBarText(), "3 MB");
        gate.release();
        deliver(4);  // each save's announcement hop and answer, in order
        deliver(2);  // the two reloads, of which the second counts
        QCOMPARE(fired.count("displayMode"), 2);
        QCOMPARE(fired.count("menuBarText"), 2);
        QCOMPARE(model->displayMode(), MenuBarDisplayMode::compactTotal);
        QCOMPARE(rig->repository()->loadSettings()->menuBarDisplayMode, MenuBarDisplayMode::compactTotal);
    }

    // Released while a reload, and then a save, wait for the database: the release returns at
    // once, the save still reaches the store, and the answers meet no model.
    void releaseNeverWaitsForTheDatabase() {
        auto model = makeModel();
        deliver(1);
        testing::DatabaseGate gate(rig->databasePath);
        QVERIFY(gate.hold(rig->service));
        ageCache();
        model->refresh();
        model.reset();
        QVERIFY(!gate.expired());
        gate.release();

        model = makeModel();
        deliver(2);  // the released model's answer and the new one's
        fired.clear();
        QVERIFY(gate.hold(rig->service));
        model->updateDisplayMode(MenuBarDisplayMode::uploadDownload);
        model.reset();
        QVERIFY(!gate.expired());
        gate.release();
        deliver(1);  // the save's answer; the observer entry went with the model
        QCOMPARE(fired, (QStringList{"displayMode", "menuBarText"}));
        QCOMPARE(rig->repository()->loadSettings()->menuBarDisplayMode, MenuBarDisplayMode::uploadDownload);
    }

    // Each model holds one observer entry for its life; a model released with a load under way
    // drops its answer.
    void observerEntryLivesWithTheModel() {
        const std::size_t before = rig->service->observerCount();
        auto first = makeModel();
        auto second = makeModel();
        QCOMPARE(rig->service->observerCount(), before + 2);
        first.reset();
        QCOMPARE(rig->service->observerCount(), before + 1);
        second.reset();
        QCOMPARE(rig->service->observerCount(), before);
        rig->service->updateSettings([](auto& s) { s.menuBarDisplayMode = MenuBarDisplayMode::compactTotal; });
        deliver(2);
        queue->runAll();
        QVERIFY(fired.isEmpty());
    }
};

}  // namespace ostrel

QTEST_GUILESS_MAIN(ostrel::MenuBarViewModelTest)
#include "MenuBarViewModelTest.moc"
