#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QWindow>

#include "Features/Preferences/PreferencesView.hpp"
#include "OstrelApp/PopoverWindow.hpp"
#include "OstrelApp/ScreenPressSource.hpp"
#include "Platform/FakeLocationManager.hpp"
#include "Services/support/DataServiceRig.hpp"
#include "ViewModels/PreferencesViewModel.hpp"
#include "ViewModels/QtMainQueue.hpp"

namespace ostrel {
namespace {

constexpr int kWait = 60000;  // ms; generous for a loaded machine
const QRect kItem(1240, 0, 24, 24);
const QPoint kFarAway(10, 790);

// Answers the confirmation once it is up, as the user would, after `whileAsked` has looked at
// the screen.
class Answerer final : public QObject {
public:
    Answerer(QString answer, std::function<void(QMessageBox*)> whileAsked)
        : answer_(std::move(answer)), whileAsked_(std::move(whileAsked)) {
        qApp->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* box = qobject_cast<QMessageBox*>(watched);
        if (box == nullptr || event->type() != QEvent::Show) return false;
        QMetaObject::invokeMethod(
            box,
            [this, box] {
                whileAsked_(box);
                for (QAbstractButton* button : box->buttons()) {
                    if (button->text() == answer_) button->click();
                }
            },
            Qt::QueuedConnection);
        return false;
    }

private:
    QString answer_;
    std::function<void(QMessageBox*)> whileAsked_;
};

// Presses the test makes, told only while the popover listens, as the display server would.
class TestPresses final : public ScreenPressSource {
public:
    void setListening(bool on) override { listening = on; }
    void press(QPoint where) {
        if (listening) emit pressed(where);
    }
    bool listening = false;
};

}  // namespace

// The popover window holding the Preferences screen over a real data service, on the offscreen
// platform; the presses elsewhere on the screen come from the test.
class PopoverWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<testing::DataServiceRig> rig;
    std::shared_ptr<QtMainQueue> queue = std::make_shared<QtMainQueue>(qApp);
    std::unique_ptr<PreferencesViewModel> prefs;
    std::unique_ptr<PopoverWindow> popover;
    TestPresses presses;

    void open() {
        popover->showAt(kItem);
        QVERIFY(QTest::qWaitForWindowExposed(popover.get()));
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::activeWindow(), popover.get(), kWait);
    }

private slots:
    void init() {
        rig = std::make_unique<testing::DataServiceRig>();
        rig->start();
        rig->sampler->stop();  // the store holds only what a test writes
        auto location = LocationPermissionService::create(
            std::make_shared<FakeLocationManager>(LocationManager::authorizedAlways), BundleInfo{}, queue);
        prefs = std::make_unique<PreferencesViewModel>(rig->service, location, queue);
        auto* screen = new PreferencesView(*prefs, true, BundleInfo{});
        screen->resize(880, 680);
        popover = std::make_unique<PopoverWindow>(screen);
        popover->closeOnPressesFrom(&presses);
    }
    void cleanup() {
        popover.reset();
        prefs.reset();
        QCoreApplication::sendPostedEvents();  // queued tasks hold the data service
        rig.reset();
    }

    // The confirmation of "Clear Local Data" belongs to the popover: the popover stays open while
    // it asks, whatever is clicked elsewhere, and after either answer, with the keyboard back.
    void confirmationKeepsThePopover_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("samplesLeft");
        QTest::newRow("cancel") << "Cancel"
                                << "1";
        QTest::newRow("clear") << "Clear"
                               << "0";
    }
    void confirmationKeepsThePopover() {
        QFETCH(QString, answer);
        QFETCH(QString, samplesLeft);
        rig->store(rig->now(), "Browser", 1024);
        open();
        bool shownWhileAsked = false, shownAfterPress = false;
        QWidget* owner = nullptr;
        Answerer answerer(answer, [&](QMessageBox* box) {
            shownWhileAsked = popover->isVisible();
            owner = box->parentWidget()->window();
            presses.press(kFarAway);
            shownAfterPress = popover->isVisible();
        });
        auto* clear = popover->findChild<QAbstractButton*>("clearDataButton");
        QVERIFY(clear != nullptr);
        QTest::mouseClick(clear, Qt::LeftButton);

        QCOMPARE(owner, popover.get());
        QVERIFY(shownWhileAsked);
        QVERIFY(shownAfterPress);
        QVERIFY(popover->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(rig->text("SELECT COUNT(*) FROM usage_samples"), samplesLeft.toStdString(), kWait);
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::activeWindow(), popover.get(), kWait);
        QVERIFY(popover->isVisible());
    }

    // A press outside closes the popover; one inside, or the click that opened it arriving late
    // on the item, does not.
    void closesOnPressesElsewhere() {
        open();
        presses.press(popover->geometry().center());
        presses.press(kItem.center());
        QVERIFY(popover->isVisible());
        presses.press(kFarAway);
        QVERIFY(!popover->isVisible());

        // That press was not on the item: the item's next activation is another click.
        popover->toggle(kItem);
        QVERIFY(popover->isVisible());
    }

    // On the small screen beside the desktop's (1024 x 600, right of it), the popover keeps clear
    // of the item and inside the screen, shorter; back on the large screen it has its full height.
    void fitsTheScreenItOpensOn() {
        popover->showAt(QRect(2270, 4, 24, 24));
        QCOMPARE(popover->geometry(), QRect(1424, 36, 880, 564));
        QCOMPARE(popover->findChild<PreferencesView*>()->size(), QSize(880, 564));
        popover->hide();
        popover->showAt(kItem);
        QCOMPARE(popover->geometry(), QRect(400, 28, 880, 680));
        QCOMPARE(popover->findChild<PreferencesView*>()->size(), QSize(880, 680));
    }

    // The popover listens for presses on the screen only while it is shown: not before it opens,
    // and no longer once it has closed, whichever way; a source given while it is open listens at
    // once, and the one it replaces stops.
    void listensOnlyWhileShown() {
        QVERIFY(!presses.listening);
        const std::vector<std::pair<const char*, std::function<void()>>> closings{
            {"press elsewhere", [&] { presses.press(kFarAway); }},
            {"Escape", [&] { QTest::keyClick(popover.get(), Qt::Key_Escape); }},
            {"the item again", [&] { popover->toggle(kItem); }},
            {"hidden by the program", [&] { popover->hide(); }},
        };
        for (const auto& [how, close] : closings) {
            popover->showAt(kItem);
            QVERIFY2(presses.listening, how);
            close();
            QVERIFY2(!popover->isVisible(), how);
            QVERIFY2(!presses.listening, how);
        }
        popover->showAt(kItem);
        TestPresses other;
        popover->closeOnPressesFrom(&other);
        QVERIFY(other.listening);
        QVERIFY(!presses.listening);
        presses.press(kFarAway);
        QVERIFY(popover->isVisible());
        popover.reset();
        QVERIFY(!other.listening);
    }

    // The focus going to another window closes the popover.
    void closesWhenTheFocusGoesElsewhere() {
        open();
        QWidget elsewhere;
        elsewhere.show();
        elsewhere.activateWindow();
        QTRY_VERIFY_WITH_TIMEOUT(!popover->isVisible(), kWait);
    }
};

}  // namespace ostrel

QTEST_MAIN(ostrel::PopoverWindowTest)
#include "PopoverWindowTest.moc"
