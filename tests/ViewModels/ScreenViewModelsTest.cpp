// The Overview, Networks and Apps view models over a real data service and store, driven through
// the Qt event loop. Each scenario is a list of steps and the changes each step announces.
#include <stdlib.h>
#include <time.h>

#include <QMetaMethod>
#include <QTest>
#include <atomic>

#include "Services/support/DataServiceRig.hpp"
#include "ViewModels/AppsViewModel.hpp"
#include "ViewModels/NetworksViewModel.hpp"
#include "ViewModels/OverviewViewModel.hpp"
#include "ViewModels/QtMainQueue.hpp"
#include "ViewModels/support/DatabaseGate.hpp"

namespace ostrel::testing {

using namespace std::chrono;
using namespace std::chrono_literals;
using P = TimeframePreset;

// The data service in UTC on a fixed clock (2026-03-10 12:00), its sampler stopped so that only
// the test writes traffic: an hour ago 300 bytes of app-browser on net-home, three days ago 100 of
// app-mail and 20 of app-browser on net-office.
struct ScreenRig {
    ScreenRig() {
        ::setenv("TZ", "UTC", 1), ::tzset();
        data.start();
        data.sampler->stop();
        SQLiteDatabase(data.databasePath).execute("DELETE FROM networks");  // the sampler's own
        store(now() - 1h, "net-home", "app-browser", 300);
        store(now() - 72h, "net-office", "app-mail", 100);
        store(now() - 72h, "net-office", "app-browser", 20);
    }
    Date now() const { return data.now(); }
    void store(Date at, const std::string& network, const std::string& app, std::int64_t rx) {
        static std::atomic<int> serial{0};
        // Appended rather than prefixed: GCC 12 warns falsely (-Wrestrict) on a literal + string at -O3.
        std::string id = "V", networkName = "Name of ", appName = "Name of ";
        id += std::to_string(++serial), networkName += network, appName += app;
        data.repository()->insertSamples(
            {{id, at, network, networkName, NetworkType::wifi, app, appName, rx, 0, "nettop", 0.8}});
    }
    // Every statement reading a broken table fails until it is mended.
    void breakTable(const std::string& t) { rename(t, t + "_away"); }
    void mendTable(const std::string& t) { rename(t + "_away", t); }
    void rename(const std::string& from, const std::string& to) {
        SQLiteDatabase(data.databasePath).execute("ALTER TABLE " + from + " RENAME TO " + to);
    }

    DataServiceRig data;
    std::shared_ptr<QtMainQueue> mainQueue = std::make_shared<QtMainQueue>(QCoreApplication::instance());
};

template <class T>
const T* as(const QVariant& value) {
    return value.metaType() == QMetaType::fromType<T>() ? static_cast<const T*>(value.constData()) : nullptr;
}

QString entry(std::string_view id, std::int64_t total) {
    return QString::fromUtf8(id.data(), static_cast<qsizetype>(id.size())) + ':' + QString::number(total);
}

template <class T>
QString describe(const std::optional<T>& model) {
    if (!model) return "none";
    const std::int64_t total = model->summary.rxBytes + model->summary.txBytes;
    if constexpr (requires { model->timeframe; }) return entry(rawValue(model->timeframe), total);
    if constexpr (requires { model->appID; }) return entry(model->appID, total);
    if constexpr (requires { model->networkID; }) return entry(model->networkID, total);
}

template <class Item>
QString describe(const std::vector<Item>& items) {
    QStringList entries;
    for (const auto& item : items) entries << entry(item.id, item.totalBytes);
    return entries.join(',');
}

// Lists and details as "id:total", "none" for an empty optional or the null string.
template <class... Models>
QString describe(const QVariant& value) {
    if (const auto* v = as<bool>(value)) return *v ? "true" : "false";
    if (const auto* v = as<QString>(value)) return v->isNull() ? "none" : *v;
    if (const auto* v = as<TimeframePreset>(value)) return QString::fromLatin1(rawValue(*v));
    QString text;
    ((as<Models>(value) ? void(text = describe(*as<Models>(value))) : void()), ...);
    return text;
}

// Every change a view model announces, in order, as "field=value" entries separated by spaces.
class ChangeTrace final : public QObject {
    Q_OBJECT

public:
    explicit ChangeTrace(QObject* viewModel) {
        const QMetaObject* type = viewModel->metaObject();
        const QMetaMethod slot = metaObject()->method(metaObject()->indexOfSlot("changed()"));
        for (int i = type->methodOffset(); i < type->methodCount(); ++i) {
            if (type->method(i).methodType() == QMetaMethod::Signal) connect(viewModel, type->method(i), this, slot);
        }
    }
    QString text;

private slots:
    void changed() {
        const QByteArray name = sender()->metaObject()->method(senderSignalIndex()).name().chopped(7);  // "Changed"
        const int index = sender()->metaObject()->indexOfProperty(name);  // none for the range's two ends
        const QString value =
            describe<std::optional<OverviewSnapshot>, std::optional<NetworkDetailModel>,
                     std::optional<ApplicationDetailModel>, std::vector<NetworkListItem>,
                     std::vector<ApplicationListItem>>(sender()->metaObject()->property(index).read(sender()));
        text += (text.isEmpty() ? "" : " ") + QString::fromLatin1(name) + (index < 0 ? "" : '=' + value);
    }
};

// What a step does, and the changes it announces: those at once, " / ", then those that follow.
struct Step {
    std::function<void()> act;
    QString changes;
};

// A view model over a fresh rig, played step by step: each step starts once the one before has
// announced all its changes, and a change out of place fails the test.
template <class ViewModel>
struct Screen {
    ScreenRig rig;
    ViewModel vm{rig.data.service, rig.mainQueue, [this] { return rig.now(); }};
    ChangeTrace trace{&vm};
    const Date made = rig.now();

    void play(const std::vector<Step>& steps) {
        for (std::size_t i = 0; i < steps.size(); ++i) {
            trace.text.clear();
            steps[i].act();
            const QString atOnce = steps[i].changes.section('/', 0, 0).trimmed();
            const QString all = steps[i].changes.simplified().remove("/ ").remove('/').trimmed();
            const auto failure = [&](const QString& expected) {
                return QString("step %1\n  got      %2\n  expected %3").arg(i + 1).arg(trace.text, expected).toUtf8();
            };
            QVERIFY2(trace.text == atOnce, failure(atOnce).constData());
            QVERIFY2(QTest::qWaitFor([&] { return trace.text == all; }), failure(all).constData());
        }
    }
    // Moves the clock three days on, with traffic a day after construction.
    void later() { rig.data.setNow(made + 72h), rig.store(made + 24h, "net-home", "app-browser", 1000); }
};

class ScreenViewModelsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { DatabaseGate::install(); }

    // Only the newest request's answer is shown, and that request owns the loading state. The
    // timeframe shown, or an overview held, asks for nothing.
    void overviewShowsOnlyTheNewestAnswer() {
        Screen<OverviewViewModel> s;
        auto& vm = s.vm;
        s.play({
            {[&] { vm.loadIfNeeded(), vm.loadIfNeeded(); }, "isLoading=true / isLoading=false snapshot=weekly:420"},
            {[&] { vm.loadIfNeeded(), vm.setTimeframe(P::weekly); }, ""},
            {[&] { vm.refresh(false), vm.setTimeframe(P::daily); },
             "isLoading=true timeframe=daily snapshot=none / isLoading=false snapshot=daily:300"},
        });
    }

    // The custom range is the week before construction, whatever the clock says later. It is
    // stored in order, and every change empties the screen and reloads: with the same dates, and
    // under another timeframe, whose answer it then is.
    void overviewReloadsOnEveryCustomRange() {
        Screen<OverviewViewModel> s;
        auto& vm = s.vm;
        const Date made = s.made;
        s.play({
            {[&] { s.later(), vm.setTimeframe(P::custom); },
             "timeframe=custom isLoading=true / isLoading=false snapshot=custom:420"},
            {[&] { vm.updateCustomRange(made, made - 48h); },
             "customRange snapshot=none isLoading=true / isLoading=false snapshot=custom:300"},
            {[&] { vm.updateCustomRange(vm.customRangeStart(), vm.customRangeEnd()); },
             "snapshot=none isLoading=true / isLoading=false snapshot=custom:300"},
            {[&] { vm.setTimeframe(P::weekly), vm.updateCustomRange(made - 24h, made); },
             "timeframe=weekly snapshot=none isLoading=true customRange / isLoading=false snapshot=weekly:1420"},
        });
        QCOMPARE(vm.customRange(), (DateRange{made - 24h, made}));
    }

    // A failure keeps the overview shown and adds its text; with none shown the text stands alone.
    // The next answer removes it.
    void overviewKeepsItsOverviewOnAFailure() {
        Screen<OverviewViewModel> s;
        auto& vm = s.vm;
        s.play({
            {[&] { vm.loadIfNeeded(); }, "isLoading=true / isLoading=false snapshot=weekly:420"},
            {[&] { s.rig.breakTable("daily_usage"), vm.refresh(true); },
             "isLoading=true / isLoading=false errorMessage=SQLite step failed: no such table: daily_usage"},
            {[&] { vm.setTimeframe(P::monthly); },
             "timeframe=monthly snapshot=none errorMessage=none isLoading=true / "
             "isLoading=false errorMessage=SQLite prepare failed: no such table: daily_usage"},
            {[&] { s.rig.mendTable("daily_usage"), vm.refresh(false); },
             "isLoading=true / isLoading=false snapshot=monthly:420 errorMessage=none"},
        });
    }

    // Only the newest list and detail answers are shown. A list answer reloads the detail of the
    // network selected when it arrives, as forced as the list was (unforced, from the cache). The
    // custom preset asks for the week before construction.
    void networksShowOnlyTheNewestAnswers() {
        Screen<NetworksViewModel> s;
        auto& vm = s.vm;
        s.play({
            {[&] { vm.refresh(false), vm.selectNetwork("net-home"), vm.selectNetwork("net-office"); },
             "isLoadingList=true selectedNetworkID=net-home isLoadingDetail=true selectedNetworkID=net-office / "
             "isLoadingList=false networks=net-home:300,net-office:120 isLoadingDetail=false "
             "selectedDetail=net-office:120"},
            {[&] { s.rig.store(s.made - 2h, "net-office", "app-mail", 5), vm.refresh(false); },
             "isLoadingList=true / isLoadingList=false isLoadingDetail=true isLoadingDetail=false"},
            {[&] { vm.refresh(true); },
             "isLoadingList=true / isLoadingList=false networks=net-home:300,net-office:125 isLoadingDetail=true "
             "isLoadingDetail=false selectedDetail=net-office:125"},
            {[&] { vm.refresh(false), vm.setTimeframe(P::daily); },
             "isLoadingList=true timeframe=daily selectedDetail=none / isLoadingList=false "
             "networks=net-home:300,net-office:5 isLoadingDetail=true isLoadingDetail=false "
             "selectedDetail=net-office:5"},
            {[&] { vm.setTimeframe(P::daily); }, ""},
            {[&] { s.later(), vm.setTimeframe(P::custom); },
             "timeframe=custom selectedDetail=none isLoadingList=true / isLoadingList=false "
             "networks=net-home:300,net-office:125 isLoadingDetail=true isLoadingDetail=false "
             "selectedDetail=net-office:125"},
        });
    }

    // A failed load keeps what is shown and sets the error, which the next good answer clears,
    // if only for the detail that follows to set it again. An unknown network has no detail.
    void networksKeepWhatIsShownOnAFailure() {
        Screen<NetworksViewModel> s;
        auto& vm = s.vm;
        const QString noApplications = "errorMessage=SQLite prepare failed: no such table: applications";
        s.play({
            {[&] { vm.selectNetwork("net-home"); },
             "selectedNetworkID=net-home isLoadingDetail=true / isLoadingDetail=false selectedDetail=net-home:300"},
            {[&] { s.rig.breakTable("applications"), vm.selectNetwork("net-home"); },
             "isLoadingDetail=true / isLoadingDetail=false " + noApplications},
            {[&] { vm.refresh(true); },
             "isLoadingList=true / isLoadingList=false networks=net-home:300,net-office:120 errorMessage=none "
             "isLoadingDetail=true isLoadingDetail=false " +
                 noApplications},
            {[&] { s.rig.breakTable("daily_usage"), vm.refresh(true); },
             "isLoadingList=true / isLoadingList=false errorMessage=SQLite step failed: no such table: daily_usage"},
            {[&] { s.rig.mendTable("applications"), s.rig.mendTable("daily_usage"), vm.selectNetwork("nope"); },
             "selectedNetworkID=nope isLoadingDetail=true / isLoadingDetail=false selectedDetail=none "
             "errorMessage=none"},
        });
    }

    // A refresh brings the detail of the application selected when it was issued, and only the
    // newest refresh is shown. A tapped row's detail is shown whenever its application is still
    // selected, even one asked for under the timeframe before. The custom preset asks for the week
    // before construction.
    void appsPublishRefreshesAndSelectionsInTheirOrder() {
        Screen<AppsViewModel> s;
        auto& vm = s.vm;
        s.play({
            {[&] { vm.refresh(false), vm.selectApplication("app-mail"); },
             "selectedAppID=app-mail / applications=app-browser:320,app-mail:100 selectedDetail=app-mail:100"},
            {[&] { vm.selectApplication("app-browser"), vm.setTimeframe(P::daily); },
             "selectedAppID=app-browser timeframe=daily selectedDetail=none / selectedDetail=app-browser:320 "
             "applications=app-browser:300 selectedDetail=app-browser:300"},
            {[&] { vm.setTimeframe(P::daily); }, ""},
            {[&] {
                 s.rig.store(s.made - 2h, "net-home", "app-browser", 7);
                 vm.selectApplication("app-mail"), vm.selectApplication("app-browser");
                 vm.refresh(false), vm.refresh(true);
             },
             "selectedAppID=app-mail selectedAppID=app-browser / selectedDetail=app-browser:307 "
             "applications=app-browser:307"},
            {[&] { s.later(), vm.setTimeframe(P::custom); },
             "timeframe=custom selectedDetail=none / applications=app-browser:327,app-mail:100 "
             "selectedDetail=app-browser:327"},
        });
    }

    // A refresh whose detail fails publishes nothing but the error, although its list loaded; a
    // failed tap keeps the detail. An unknown application has no detail and no error.
    void appsKeepWhatIsShownOnAFailure() {
        Screen<AppsViewModel> s;
        auto& vm = s.vm;
        const QString noNetworks = "errorMessage=SQLite prepare failed: no such table: networks";
        s.play({
            {[&] { vm.selectApplication("app-browser"), vm.refresh(false); },
             "selectedAppID=app-browser / selectedDetail=app-browser:320 applications=app-browser:320,app-mail:100"},
            {[&] {
                 s.rig.store(s.made - 2h, "net-home", "app-browser", 50);
                 s.rig.breakTable("networks"), vm.refresh(true);
             },
             " / " + noNetworks},
            {[&] { s.rig.mendTable("networks"), vm.refresh(true); },
             " / applications=app-browser:370,app-mail:100 selectedDetail=app-browser:370 errorMessage=none"},
            {[&] { s.rig.breakTable("networks"), vm.selectApplication("app-mail"); },
             "selectedAppID=app-mail / " + noNetworks},
            {[&] { s.rig.mendTable("networks"), vm.selectApplication("nope"); },
             "selectedAppID=nope / selectedDetail=none errorMessage=none"},
        });
    }

    // Seven calendar days before construction at the same clock time: across the change to
    // summer time, 7 days and an hour; where the calendar has no such date, construction itself.
    void everyScreenStartsWithTheWeekBeforeItWasMade() {
        ScreenRig rig;
        const Date noon = rig.now() + 250ms, nearTheFirstDate = Date::min() + days{3};
        const std::tuple<const char*, Date, Date> rows[] = {{"UTC", noon, noon - days{7}},
                                                            {"America/New_York", noon, noon - days{7} + 1h},
                                                            {"UTC", nearTheFirstDate, nearTheFirstDate}};
        for (const auto& [zone, now, start] : rows) {
            ::setenv("TZ", zone, 1), ::tzset();
            const auto clock = [at = now] { return at; };
            const DateRange expected{start, now};
            QCOMPARE(OverviewViewModel(rig.data.service, rig.mainQueue, clock).customRange(), expected);
            QCOMPARE(NetworksViewModel(rig.data.service, rig.mainQueue, clock).customRange(), expected);
            QCOMPARE(AppsViewModel(rig.data.service, rig.mainQueue, clock).customRange(), expected);
        }
    }

    // Released while their loads wait for the database, held by a long statement: the release
    // returns at once, the loads still run (a forced overview posts its threshold notification),
    // and their answers meet no view model.
    void aReleasedViewModelDropsItsAnswers() {
        ScreenRig rig;
        rig.data.service->updateSettings([](OstrelSettings& settings) { settings.warningThresholdBytes = 1; });
        auto* overview = new OverviewViewModel(rig.data.service, rig.mainQueue);
        auto* networks = new NetworksViewModel(rig.data.service, rig.mainQueue);
        auto* apps = new AppsViewModel(rig.data.service, rig.mainQueue);
        DatabaseGate gate(rig.data.databasePath);
        QVERIFY(gate.hold(rig.data.service));
        overview->refresh(true), networks->selectNetwork("net-home"), apps->selectApplication("app-browser");
        apps->refresh(true);
        delete overview, delete networks, delete apps;
        QVERIFY(!gate.expired());
        gate.release();
        QTRY_COMPARE(rig.data.notifications->requests().size(), std::size_t{1});
        QTRY_COMPARE(rig.data.service.use_count(), 1L);  // every queued load has let go
        QCoreApplication::sendPostedEvents();
    }
};

}  // namespace ostrel::testing

QTEST_GUILESS_MAIN(ostrel::testing::ScreenViewModelsTest)
#include "ScreenViewModelsTest.moc"
