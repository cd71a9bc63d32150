#include <QtTest/qtestspontaneevent.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QStyleFactory>
#include <QStyleOptionSlider>
#include <QtTest>
#include <atomic>
#include <cmath>

#include "Features/Preferences/PreferencesView.hpp"
#include "Features/Preferences/SystemPanel.hpp"
#include "Platform/FakeLocationManager.hpp"
#include "Services/support/DataServiceRig.hpp"
#include "UI/StyledLabel.hpp"
#include "UI/Symbols.hpp"
#include "UI/support/DesktopPalettes.hpp"
#include "ViewModels/PreferencesViewModel.hpp"
#include "ViewModels/QtMainQueue.hpp"

using L = ostrel::LocationManager;

namespace ostrel {

constexpr qint64 GiB = 1073741824;

// The screen over a real data service and store, the location service over a fake system state
// without a usage description (so a request reports the missing one), links and the settings
// page recorded instead of opened.
class PreferencesViewTest : public QObject {
    Q_OBJECT
    std::unique_ptr<testing::DataServiceRig> data;
    std::shared_ptr<QtMainQueue> queue = std::make_shared<QtMainQueue>(qApp);
    std::shared_ptr<FakeLocationManager> manager;
    std::unique_ptr<PreferencesViewModel> viewModel;
    std::unique_ptr<PreferencesView> view;
    QStringList opened;
    std::atomic<int> saves = 0;  // announced from the view model's worker queue

    template <class T = QWidget>
    T* child(const char* name, QObject* in = nullptr) {
        auto* found = (in ? in : view.get())->findChild<T*>(name);
        if (found == nullptr) qFatal("no %s", name);
        return found;
    }
    QString text(const char* name, QObject* in = nullptr) { return child<QLabel>(name, in)->text(); }
    void scrollTo(QWidget* widget) {
        child<QScrollArea>("scrollArea")->ensureWidgetVisible(widget);
        QCoreApplication::processEvents();
    }
    void click(const char* name, QObject* in = nullptr) {
        auto* button = child<QAbstractButton>(name, in);
        if (!button->isVisible() || !button->isEnabled()) qFatal("%s cannot be clicked", name);
        QTest::mouseClick(button, Qt::LeftButton);
    }
    std::string setting(const std::string& key) {
        return data->text("SELECT value FROM settings WHERE key = '" + key + "'");
    }
    QString buttonsShown() {
        QString shown;
        for (const char* name : {"grantAccessButton", "openLocationSettingsButton", "refreshStatusButton"})
            shown += child(name)->isVisible() ? name[0] : '-';
        return shown;
    }
    void sql(const char* statement) { SQLiteDatabase(data->databasePath).execute(statement); }
    // Wheel notches over the widget's middle, as the window system delivers them: what the widget
    // leaves goes on to the widgets around it.
    void wheel(QWidget* widget, int notches) {
        const QPoint middle = widget->rect().center();
        QWheelEvent event(middle, widget->mapToGlobal(middle), {}, QPoint(0, 120 * notches), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QSpontaneKeyEvent::setSpontaneous(&event);
        qApp->notify(widget, &event);  // as QTest sends keys: sendEvent would make it synthetic
    }

private slots:
    void initTestCase() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QApplication::setStyle(QStyleFactory::create("Fusion"));
    }
    void init() {
        (data = std::make_unique<testing::DataServiceRig>())->start();
        data->sampler->stop();  // the active network is the test's to set
        manager = std::make_shared<FakeLocationManager>(L::authorizedAlways);
        auto location = LocationPermissionService::create(manager, BundleInfo{}, queue);
        location->setHooks({{}, {}, [this] { opened << "location settings"; }});
        viewModel = std::make_unique<PreferencesViewModel>(data->service, location, queue);
        view = std::make_unique<PreferencesView>(*viewModel, true, BundleInfo{});
        view->setUrlOpener([this](const QUrl& url) { return opened << url.toString(), true; });
        view->resize(880, 560);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        data->service->addObserver([this] { ++saves; });
        opened.clear(), saves = 0;
    }
    void cleanup() {
        view.reset(), viewModel.reset();
        QCoreApplication::sendPostedEvents();  // queued tasks hold the data service
        data.reset();
    }

    // Every control saves what it shows at once, and shows the view model's value again when
    // the save fails; each slider step is one save, also while dragging.
    void eachChangeIsSavedAndShown() {
        auto* warning = child<QSlider>("slider", child("warningRow"));
        QCOMPARE(text("badge", child("warningRow")), "5 GB");
        QCOMPARE(text("badge", child("dangerRow")), "10 GB");
        QCOMPARE(text("thresholdSummary"), "Alerts are local only. Warning at 5 GB, danger at 10 GB.");
        QCOMPARE(symbolName(child<SymbolView>("bell")->symbol()), "bell.badge.fill");
        QCOMPARE(text("coreLibraryLabel"), "Vell core active");

        struct Step {
            std::function<void()> act;
            const char* key;
            const char* stored;
        };
        const Step steps[] = {
            {[&] { click("uploadDownload"); }, "menu_bar_display_mode", "uploadDownload"},
            {[&] { click("notificationsToggle"); }, "notifications_enabled", "0"},
            {[&] { click("launchAtLoginToggle"); }, "launch_at_login", "1"},
            {[&] { warning->setFocus(), QTest::keyClick(warning, Qt::Key_Right); }, "warning_threshold_bytes",
             "6442450944"},
            {[&] { QTest::keyClick(child<QSlider>("slider", child("dangerRow")), Qt::Key_End); },
             "danger_threshold_bytes", "536870912000"},
        };
        for (const Step& step : steps) {
            const int before = saves;
            step.act();
            QTRY_COMPARE(saves.load(), before + 1);
            QCOMPARE(setting(step.key), step.stored);
        }
        QVERIFY(child<QAbstractButton>("uploadDownload")->isChecked());
        QCOMPARE(symbolName(child<SymbolView>("bell")->symbol()), "bell.slash.fill");
        QCOMPARE(child<SymbolView>("bell")->color(), hierarchicalColor(view->palette(), Hierarchy::secondary));
        QCOMPARE(text("thresholdSummary"), "Alerts are local only. Warning at 6 GB, danger at 500 GB.");

        // A drag from the handle saves each step it makes; steps faster than the event loop turns
        // are saved once, as the newest, with the badge showing each at once.
        QStyleOptionSlider option;
        option.initFrom(warning), option.orientation = Qt::Horizontal, option.minimum = 1, option.maximum = 500;
        option.sliderPosition = option.sliderValue = warning->value();
        const QPoint handle =
            warning->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, warning).center();
        QList<int> values;
        connect(warning, &QSlider::valueChanged, this, [&](int value) { values << value; });
        int before = saves;
        QTest::mousePress(warning, Qt::LeftButton, {}, handle);
        for (int dx = 8; dx <= 40; dx += 8) {
            QTest::mouseMove(warning, handle + QPoint(dx, 0));
            QCOMPARE(text("badge", child("warningRow")), QString::number(values.last()) + " GB");
            QTRY_COMPARE(saves.load(), before + values.size());
            QCOMPARE(setting("warning_threshold_bytes"), std::to_string(values.last() * GiB));
        }
        QTest::mouseRelease(warning, Qt::LeftButton, {}, handle + QPoint(40, 0));
        QCOMPARE(values.size(), 5);
        before = saves;
        for (int i = 0; i < 3; ++i) QTest::keyClick(warning, Qt::Key_Right);
        QTRY_COMPARE(setting("warning_threshold_bytes"), std::to_string((values.last()) * GiB));
        QTRY_COMPARE(saves.load(), before + 1);
        const int dragged = values.last();
        QCOMPARE(text("thresholdSummary"),
                 QString("Alerts are local only. Warning at %1 GB, danger at 500 GB.").arg(dragged));

        // Failing saves: the message in red, the controls back at the view model's values. The
        // re-reads the saves above announced come first: one that ran after a failed save would
        // copy the data service's unsaved value.
        QTRY_COMPARE(data->service.use_count(), 2L);  // the rig's and the view model's
        QCoreApplication::sendPostedEvents();
        sql("CREATE TRIGGER kept BEFORE UPDATE ON settings BEGIN SELECT RAISE(ABORT, 'kept'); END;");
        click("compactTotal");
        QTest::keyClick(warning, Qt::Key_Home);
        QTRY_VERIFY(child<QAbstractButton>("uploadDownload")->isChecked());
        QTRY_COMPARE(warning->value(), dragged);
        QTRY_COMPARE(text("badge", child("warningRow")), QString::number(dragged) + " GB");
        QTRY_COMPARE(text("errorLine"), "SQLite step failed: kept");
        QCOMPARE(child<StyledLabel>("errorLine")->color(), statusColor(StatusColor::red, view->palette()));
        QVERIFY(!child("infoLine")->isVisible());

        PreferencesView unavailable(*viewModel, false, BundleInfo{});
        QCOMPARE(text("coreLibraryLabel", &unavailable), "Vell core unavailable, using Mirel fallback");
    }

    // Scrolling the page with the wheel over a threshold slider scrolls the page and leaves the
    // threshold as it is; only a slider that has the focus from a click or the keyboard takes it.
    void wheelOverASliderScrollsThePage() {
        view->resize(880, 300);
        auto* page = child<QScrollArea>("scrollArea")->verticalScrollBar();
        auto* danger = child<QSlider>("slider", child("dangerRow"));
        QTRY_VERIFY(page->maximum() > 0);
        child<QScrollArea>("scrollArea")->ensureWidgetVisible(danger);
        QVERIFY(!danger->hasFocus());
        const int top = page->value();
        for (int notch = 0; notch < 3; ++notch) wheel(danger, -1);
        QCoreApplication::processEvents();
        QCOMPARE(danger->value(), 10);
        QCOMPARE(text("badge", child("dangerRow")), "10 GB");
        QCOMPARE(saves, 0);
        QCOMPARE(setting("danger_threshold_bytes"), std::to_string(10 * GiB));
        QVERIFY(page->value() > top);
        QVERIFY(!danger->hasFocus());

        danger->setFocus(Qt::TabFocusReason);
        wheel(danger, 1);
        QTRY_COMPARE(saves, 1);
        QVERIFY(danger->value() > 10);
        QCOMPARE(setting("danger_threshold_bytes"), std::to_string(danger->value() * GiB));
    }

    // Stored thresholds show their whole part; one outside the slider's range is not changed
    // until the slider moves.
    void storedThresholdsShowTheirWholeGigabytes() {
        const std::tuple<qint64, const char*, int> cases[] = {
            {GiB * 19 / 10, "1 GB", 1}, {GiB / 2, "0 GB", 1}, {600 * GiB, "600 GB", 500}, {GiB * 500, "500 GB", 500}};
        for (const auto& [bytes, badge, position] : cases) {
            data->service->updateSettings([bytes = bytes](OstrelSettings& settings) {
                settings.warningThresholdBytes = bytes;
                settings.dangerThresholdBytes = 10 * GiB;
            });
            QTRY_COMPARE(viewModel->warningThresholdBytes(), bytes);
            QCOMPARE(text("badge", child("warningRow")), badge);
            QCOMPARE(child<QSlider>("slider", child("warningRow"))->value(), position);
            QCOMPARE(text("thresholdSummary"),
                     QString("Alerts are local only. Warning at %1, danger at 10 GB.").arg(QString(badge)));
            QCOMPARE(setting("warning_threshold_bytes"), std::to_string(bytes));
        }
    }

    // Each status through the system's state and the actions the screen offers for it.
    void locationStatusTable() {
        struct Row {
            int authorization;
            bool servicesOn;
            const char* action;  // the button that brings the status
            const char* title;
            Tint color;
            const char* message;
            const char* buttons;  // grant, open settings, refresh
        };
        // clang-format off
        const Row rows[] = {
            {L::notDetermined, true, "refreshStatusButton", "Not Requested", StatusColor::orange,
             "Grant location permission so Linux can expose Wi-Fi/hotspot SSID.", "gor"},
            {L::notDetermined, true, "grantAccessButton", "App Config Missing", StatusColor::red,
             "This build is missing location usage description metadata, so Linux cannot prompt.", "-or"},
            {L::authorizedWhenInUse, true, "refreshStatusButton", "Allowed", StatusColor::green,
             "Ostrel can request SSID context from Linux when available.", "--r"},
            {L::denied, true, "refreshStatusButton", "Denied", StatusColor::red,
             "Location permission is denied. Enable it in system settings to show SSID.", "-or"},
            {L::restricted, true, "refreshStatusButton", "Restricted", StatusColor::red,
             "Location permission is restricted by policy on this computer.", "-or"},
            {L::authorizedAlways, false, "refreshStatusButton", "Location Services Off", StatusColor::red,
             "Location Services are disabled globally in system settings.", "-or"},
            {7, true, "refreshStatusButton", "Unknown", Hierarchy::secondary,
             "Permission state could not be determined yet.", "--r"},
        };
        // clang-format on
        QCOMPARE(text("locationStatusTitle"), "Allowed");
        for (const Row& row : rows) {
            manager->setState(row.authorization, row.servicesOn);
            click(row.action);
            QCOMPARE(text("locationStatusTitle"), row.title);
            QCOMPARE(child<StyledLabel>("locationStatusTitle")->color(), row.color.color(view->palette()));
            QCOMPARE(text("locationStatusMessage"), row.message);
            QCOMPARE(buttonsShown(), row.buttons);
            if (row.buttons[1] == 'o') click("openLocationSettingsButton");
        }
        QCOMPARE(opened, QStringList(5, "location settings"));

        // A dark palette recolours the status.
        manager->setState(L::denied), click("refreshStatusButton");
        QPalette dark = view->palette();
        dark.setColor(QPalette::Window, QColor(30, 30, 30));
        view->setPalette(dark);
        QCOMPARE(child<StyledLabel>("locationStatusTitle")->color(), statusColor(StatusColor::red, dark));
        QVERIFY(statusColor(StatusColor::red, dark) != statusColor(StatusColor::red, QPalette()));
    }

    // The active network's lines appear with the first announcement that finds one.
    void activeNetworkLines() {
        QVERIFY(!child("activeNetwork")->isVisible());
        const std::pair<std::optional<std::string>, const char*> cases[] = {
            {"wlp2s0", "State: resolved | Source: nl80211 | Interface: wlp2s0"},
            {std::nullopt, "State: resolved | Source: nl80211 | Interface: -"}};
        for (const auto& [interface, details] : cases) {
            data->repository()->setActiveNetwork({"wifi-home", "Home", NetworkType::wifi, true, interface,
                                                  NetworkResolutionState::resolved, "nl80211", 1.0},
                                                 data->now());
            data->service->updateSettings([](OstrelSettings&) {});
            QTRY_COMPARE(text("activeNetworkDetails"), details);
            QVERIFY(child("activeNetwork")->isVisible());
            QCOMPARE(text("activeNetworkName"), "Home");
        }
    }

    // "Clear Local Data" asks first; only "Clear" deletes, and its message stays until the
    // next settings change.
    void clearLocalDataAsksFirst() {
        const auto box = SystemPanel::makeClearDataConfirmation(nullptr);
        QStringList buttons;
        for (QAbstractButton* button : box->buttons())
            buttons << button->text() + ":" + QString::number(static_cast<int>(box->buttonRole(button)));
        buttons.sort();
        QCOMPARE(buttons, QStringList({"Cancel:1", "Clear:2"}));  // reject, destructive
        QCOMPARE(box->defaultButton()->text(), "Cancel");
        QCOMPARE(box->escapeButton()->text(), "Cancel");

        data->store(data->now(), "app-web", 100);
        const auto count = [&] { return data->text("SELECT COUNT(*) FROM usage_samples"); };
        // The page is taller than the screen, scrolled to the button as a user scrolls to it.
        auto* scroll = child<QScrollArea>("scrollArea");
        QTRY_VERIFY(scroll->verticalScrollBar()->maximum() > 0);
        scroll->ensureWidgetVisible(child("clearDataButton"));
        QList<bool> enabledWhileClearing;
        connect(viewModel.get(), &PreferencesViewModel::isClearingDataChanged, this,
                [&] { enabledWhileClearing << child("clearDataButton")->isEnabled(); });
        for (const auto& [answer, left] : {std::pair{"Cancel", "1"}, {"Clear", "0"}}) {
            view->messageBoxPrompt().setNextAnswer(answer);
            click("clearDataButton");
            QTRY_COMPARE(count(), left);
        }
        QCOMPARE(view->messageBoxPrompt().asked(),
                 QStringList({"Clear all local usage data?", "Clear all local usage data?"}));
        QTRY_COMPARE(enabledWhileClearing, QList<bool>({false, true}));
        QCOMPARE(text("infoLine"), "Local usage data cleared.");
        QCOMPARE(child<StyledLabel>("infoLine")->color(), statusColor(StatusColor::green, view->palette()));
        QVERIFY(child("infoLine")->isVisible() && !child("errorLine")->isVisible());
        // The outcome shows where the user pressed, without scrolling.
        const QRect seen = scroll->viewport()->rect();
        const QRect line(child("infoLine")->mapTo(scroll->viewport(), QPoint()), child("infoLine")->size());
        QVERIFY2(seen.contains(line),
                 qPrintable(QString("line at y %1, page shows to %2").arg(line.y()).arg(seen.bottom())));
        const QRect button(child("clearDataButton")->mapTo(scroll->viewport(), QPoint()),
                           child("clearDataButton")->size());
        QVERIFY(line.top() - button.bottom() < 40);
        click("launchAtLoginToggle");
        QTRY_VERIFY(!child("infoLine")->isVisible());
    }

    // The check boxes' squares stand out from their card at 3:1 or more, checked or not, in a
    // light and a dark desktop palette, as the screen paints them.
    void checkBoxesStandOutFromTheirCard() {
        const QPalette original = QApplication::palette();
        QStringList figures, faint;
        for (const bool dark : {false, true}) {
            QApplication::setPalette(testing::desktopPalette(dark));
            for (int pass = 0; pass < 2; ++pass) {
                for (const char* name : {"launchAtLoginToggle", "notificationsToggle"}) {
                    auto* box = child<QCheckBox>(name);
                    scrollTo(box);
                    QStyleOptionButton option;
                    option.initFrom(box);
                    const QRect square = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
                    const QImage page = view->grab().toImage();
                    const QPoint at = box->mapTo(view.get(), square.topLeft());
                    const QColor card = page.pixelColor(at + QPoint(-4, square.height() / 2));
                    // The square's outermost ring of pixels, corners left out.
                    std::vector<double> ring;
                    for (int i = 2; i < square.width() - 2; ++i) {
                        for (const QPoint edge : {QPoint(i, 0), QPoint(i, square.height() - 1), QPoint(0, i),
                                                  QPoint(square.width() - 1, i)}) {
                            ring.push_back(testing::contrastRatio(page.pixelColor(at + edge), card));
                        }
                    }
                    std::sort(ring.begin(), ring.end());
                    const double measured = ring[ring.size() / 2];
                    const QString figure = QString("%1 %2 %3: %4:1")
                                               .arg(dark ? "dark" : "light", name, box->isChecked() ? "on" : "off")
                                               .arg(measured, 0, 'f', 2);
                    figures << figure;
                    if (measured < 3) faint << figure;
                }
                click("launchAtLoginToggle"), click("notificationsToggle");
                QTRY_COMPARE(child<QCheckBox>("launchAtLoginToggle")->isChecked(), pass == 0);
                QTRY_COMPARE(child<QCheckBox>("notificationsToggle")->isChecked(), pass == 1);
            }
        }
        QApplication::setPalette(original);
        qInfo().noquote() << figures.join("; ");
        QVERIFY2(faint.isEmpty(), qPrintable(faint.join("; ")));
    }

    // The threshold sliders' handle and groove stand out from their row at 3:1 or more in a light
    // and a dark desktop palette: the strongest shade across each, against the row around it.
    void slidersStandOutFromTheirRow() {
        const QPalette original = QApplication::palette();
        QStringList figures, faint;
        for (const bool dark : {false, true}) {
            QApplication::setPalette(testing::desktopPalette(dark));
            for (const char* row : {"warningRow", "dangerRow"}) {
                auto* slider = child<QSlider>("slider", child(row));
                scrollTo(slider);
                QStyleOptionSlider option;
                option.initFrom(slider), option.orientation = Qt::Horizontal, option.minimum = slider->minimum();
                option.maximum = slider->maximum(), option.sliderPosition = option.sliderValue = slider->value();
                option.subControls = QStyle::SC_All;
                const auto part = [&](QStyle::SubControl control) {
                    const QRect rect = slider->style()->subControlRect(QStyle::CC_Slider, &option, control, slider);
                    return QRect(slider->mapTo(view.get(), rect.topLeft()), rect.size());
                };
                const QRect handle = part(QStyle::SC_SliderHandle), groove = part(QStyle::SC_SliderGroove);
                const QImage page = view->grab().toImage();
                const QColor background = page.pixelColor(handle.right() + 40, handle.top() - 3);
                const auto strongest = [&](const QPoint& from, const QPoint& step, int count) {
                    double best = 1;
                    for (int i = 0; i < count; ++i)
                        best = std::max(best, testing::contrastRatio(page.pixelColor(from + step * i), background));
                    return best;
                };
                // Down through the handle's middle, and through the groove past it: across the groove,
                // the shades beside the handle would count the filled part of the groove.
                const double across = strongest({handle.center().x(), handle.top()}, {0, 1}, handle.height());
                const double track = strongest({groove.right() - 20, groove.top()}, {0, 1}, groove.height());
                figures << QString("%1 %2 handle %3:1 groove %4:1")
                               .arg(dark ? "dark" : "light", row)
                               .arg(across, 0, 'f', 2)
                               .arg(track, 0, 'f', 2);
                if (across < 3 || track < 3) faint << figures.back();
            }
        }
        QApplication::setPalette(original);
        qInfo().noquote() << figures.join("; ");
        QVERIFY2(faint.isEmpty(), qPrintable(faint.join("; ")));
    }

    // Addresses from Info.json when they are absolute URLs, else the built-in ones; the buttons
    // open what the lines show.
    void linksFromTheBundleOrTheirFallbacks() {
        const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
            {R"({"OstrelSupportURL": "mailto:help@example.org", "OstrelDeveloperURL": "https://example.org/dev", )"
             R"("OstrelUpdatesURL": "https://example.org/releases"})",
             "mailto:help@example.org", "https://example.org/dev", "https://example.org/releases"},
            {R"({"OstrelSupportURL": "not a url", "OstrelDeveloperURL": "", "OstrelUpdatesURL": 7})",
             "mailto:support@ostrel.app", "https://ostrel.app", "https://ostrel.app"},
            {"{}", "mailto:support@ostrel.app", "https://ostrel.app", "https://ostrel.app"}};
        for (const auto& [json, support, website, updates] : cases) {
            SupportPanel panel(BundleInfo::parse(json));
            QStringList links;
            panel.setUrlOpener([&](const QUrl& url) { return links << url.toString(), false; });
            panel.show();
            for (const char* name : {"supportButton", "websiteButton", "updatesButton"}) click(name, &panel);
            QCOMPARE(links, QStringList({support, website, updates}));
            QCOMPARE(text("supportLine", &panel), QString("Support: ") + support);
            QCOMPARE(text("websiteLine", &panel), QString("Website: ") + website);
        }
    }
};

}  // namespace ostrel

int main(int argc, char** argv) {
    QApplication::setAttribute(Qt::AA_Use96Dpi);
    QApplication app(argc, argv);
    ostrel::PreferencesViewTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "PreferencesViewTest.moc"
