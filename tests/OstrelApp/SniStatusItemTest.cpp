#include <QAction>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QMenu>
#include <QMutex>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <atomic>

#include "OstrelApp/DbusTypes.hpp"
#include "OstrelApp/SniHostWatcher.hpp"
#include "OstrelApp/SniStatusItem.hpp"
#include "Services/support/NotificationRig.hpp"

namespace ostrel {
namespace {

constexpr int kWait = 60000;  // ms; generous for a loaded machine

// A panel's org.kde.StatusNotifierWatcher. It turns down the first `refusals` items, as a watcher
// does that has its name but not yet its object.
class WatcherObject final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)

public:
    WatcherObject(bool host, int refusals) : host_(host), refusals_(refusals) {}

    void registerHost() {
        host_ = true;
        emit StatusNotifierHostRegistered();
    }
    QStringList items() const {
        QMutexLocker lock(&mutex_);
        return items_;
    }
    int refused() const { return refused_; }
    int hostQueries() const { return hostQueries_; }

public slots:
    void RegisterStatusNotifierItem(const QString& service) {
        if (refused_ < refusals_) {
            ++refused_;
            sendErrorReply(QDBusError::UnknownObject, "No such object path '/StatusNotifierWatcher'");
            return;
        }
        QMutexLocker lock(&mutex_);
        items_ << service;
    }

signals:
    void StatusNotifierHostRegistered();

private:
    bool hostRegistered() const {
        ++hostQueries_;
        return host_;
    }

    std::atomic<bool> host_;
    const int refusals_;
    std::atomic<int> refused_{0};
    mutable std::atomic<int> hostQueries_{0};
    mutable QMutex mutex_;
    QStringList items_;
};

// The watcher with a bus connection and a thread of its own, as in another program, so that the
// program's waiting calls get their answers; it leaves the bus as a panel that quits.
class Watcher final {
public:
    Watcher(const std::string& address, bool host, int refusals = 0)
        : name_(QStringLiteral("watcher-%1").arg(++made())), object_(new WatcherObject(host, refusals)) {
        QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(address), name_);
        bus.registerObject(
            SniHostWatcher::watcherPath, object_,
            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties | QDBusConnection::ExportAllSignals);
        thread_.start();
        object_->moveToThread(&thread_);
        bus.registerService(SniHostWatcher::watcherService);
    }
    ~Watcher() {
        QDBusConnection bus(name_);
        bus.unregisterService(SniHostWatcher::watcherService);
        bus.unregisterObject(SniHostWatcher::watcherPath);
        QMetaObject::invokeMethod(
            object_, [object = object_] { delete object; }, Qt::BlockingQueuedConnection);
        thread_.quit();
        thread_.wait();
        QDBusConnection::disconnectFromBus(name_);
    }
    WatcherObject* operator->() const { return object_; }
    // QtDBus sends an object's signals only from the object's own thread.
    void registerHost() {
        QMetaObject::invokeMethod(
            object_, [object = object_] { object->registerHost(); }, Qt::BlockingQueuedConnection);
    }

private:
    static int& made() {
        static int count = 0;
        return count;
    }

    QString name_;
    QThread thread_;
    WatcherObject* object_;
};

// The answer to `call`, waited for while the program's own objects go on answering.
QDBusMessage ask(const QDBusConnection& bus, const QDBusMessage& call) {
    QDBusPendingCall pending = bus.asyncCall(call, kWait);
    if (!QTest::qWaitFor([&] { return pending.isFinished(); }, kWait)) qFatal("no answer");
    return pending.reply();
}
QVariant itemProperty(const QDBusConnection& bus, const QString& service, const char* name) {
    QDBusMessage get =
        QDBusMessage::createMethodCall(service, SniStatusItem::itemPath, "org.freedesktop.DBus.Properties", "Get");
    get << QStringLiteral("org.kde.StatusNotifierItem") << QString::fromLatin1(name);
    const QDBusMessage reply = ask(bus, get);
    return reply.arguments().isEmpty() ? QVariant() : reply.arguments().first().value<QDBusVariant>().variant();
}

QStringList& warnings() {
    static QStringList seen;
    return seen;
}
void recordWarning(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtWarningMsg) warnings() << message;
}

}  // namespace

// Ostrel's own StatusNotifierItem and its menu on a private session bus, with watchers that
// start, stop and start again as a panel's do.
class SniStatusItemTest : public QObject {
    Q_OBJECT

    std::unique_ptr<testing::PrivateSessionBus> bus;
    int connections = 0;

    QDBusConnection connect() {
        return QDBusConnection::connectToBus(QString::fromStdString(bus->address()),
                                             QStringLiteral("program-%1").arg(++connections));
    }

private slots:
    void init() { bus = std::make_unique<testing::PrivateSessionBus>(); }
    void cleanup() { bus.reset(); }

    // Shown before any panel runs, the item is listed by the watcher that starts later, by the
    // next one after that watcher has gone, and by one that turns it down at first.
    void itemReachesEveryWatcher() {
        const QDBusConnection programBus = connect();
        SniStatusItem item(programBus, "com.ostrel.Ostrel-symbolic", {});
        item.show();
        const QStringList listed{programBus.baseService()};
        {
            Watcher late(bus->address(), true);
            QTRY_COMPARE_WITH_TIMEOUT(late->items(), listed, kWait);
        }
        {
            Watcher restarted(bus->address(), true);
            QTRY_COMPARE_WITH_TIMEOUT(restarted->items(), listed, kWait);
        }
        Watcher slow(bus->address(), true, 2);
        QTRY_COMPARE_WITH_TIMEOUT(slow->items(), listed, kWait);
        QCOMPARE(slow->refused(), 2);
    }

    // A watcher counts once a host has registered with it, whether the host was there when the
    // watcher appeared or came after.
    void hostWatcherWaitsForAHost() {
        const QDBusConnection programBus = connect();
        SniHostWatcher hosts(programBus);
        QSignalSpy appeared(&hosts, &SniHostWatcher::hostAppeared);
        QVERIFY(!SniHostWatcher::hostAvailable(programBus));
        {
            Watcher bare(bus->address(), false);
            QTRY_VERIFY_WITH_TIMEOUT(bare->hostQueries() >= 1, kWait);  // looked at when it appeared
            QVERIFY(!SniHostWatcher::hostAvailable(programBus));
            QCOMPARE(appeared.count(), 0);
            bare.registerHost();
            QTRY_COMPARE_WITH_TIMEOUT(appeared.count(), 1, kWait);
            QVERIFY(SniHostWatcher::hostAvailable(programBus));
        }
        Watcher withHost(bus->address(), true);
        QTRY_COMPARE_WITH_TIMEOUT(appeared.count(), 2, kWait);
    }

    // Hosts list their entries by title: it stays "Ostrel", and the text is the label and the
    // tooltip's title.
    void titleStaysTheProgramsName() {
        const QDBusConnection programBus = connect();
        const QDBusConnection host = connect();
        SniStatusItem item(programBus, "com.ostrel.Ostrel-symbolic", {});
        item.show();
        item.setText("1.2 GB Today");
        const QString service = programBus.baseService();
        QCOMPARE(itemProperty(host, service, "Title").toString(), "Ostrel");
        QCOMPARE(itemProperty(host, service, "XAyatanaLabel").toString(), "1.2 GB Today");
        const auto toolTip = qdbus_cast<SniToolTip>(itemProperty(host, service, "ToolTip"));
        QCOMPARE(toolTip.title, "1.2 GB Today");
    }

    // The menu takes a group of events as single ones, and names the items it does not have;
    // nothing of its interface is left off the bus. A host about to show the menu tells the item.
    void menuEventsAndOpening() {
        warnings().clear();
        const QtMessageHandler previous = qInstallMessageHandler(recordWarning);
        const QDBusConnection programBus = connect();
        const QDBusConnection host = connect();
        QMenu menu;
        QAction* support = menu.addAction("Support Ostrel");
        QAction* updates = menu.addAction("Check for Updates\u2026");
        QSignalSpy supportRuns(support, &QAction::triggered), updatesRuns(updates, &QAction::triggered);
        SniStatusItem item(programBus, "com.ostrel.Ostrel-symbolic", {});
        QSignalSpy opening(&item, &StatusItem::menuOpening);
        item.setMenu(&menu);
        item.show();
        const auto call = [&](const char* member) {
            return QDBusMessage::createMethodCall(programBus.baseService(), SniStatusItem::menuPath,
                                                  "com.canonical.dbusmenu", member);
        };

        QDBusMessage group = call("EventGroup");
        const DbusMenuEventList events{{1, "clicked", QDBusVariant(0), 0},
                                       {99, "clicked", QDBusVariant(0), 0},
                                       {2, "hovered", QDBusVariant(0), 0}};
        group << QVariant::fromValue(events);
        const QDBusMessage answer = ask(host, group);
        QCOMPARE(answer.type(), QDBusMessage::ReplyMessage);
        QCOMPARE(qdbus_cast<QList<int>>(answer.arguments().first()), QList<int>{99});
        QTRY_COMPARE_WITH_TIMEOUT(supportRuns.count(), 1, kWait);
        QCOMPARE(updatesRuns.count(), 0);

        const QString xml =
            ask(host, QDBusMessage::createMethodCall(programBus.baseService(), SniStatusItem::menuPath,
                                                     "org.freedesktop.DBus.Introspectable", "Introspect"))
                .arguments()
                .first()
                .toString();
        QVERIFY(xml.contains("<method name=\"EventGroup\">"));
        qInstallMessageHandler(previous);
        QVERIFY2(warnings().filter("Skipped method").isEmpty(), qPrintable(warnings().join('\n')));

        QCOMPARE(opening.count(), 0);
        QDBusMessage aboutToShow = call("AboutToShow");
        aboutToShow << 0;
        ask(host, aboutToShow);
        QDBusMessage groupAboutToShow = call("AboutToShowGroup");
        groupAboutToShow << QVariant::fromValue(QList<int>{0});
        ask(host, groupAboutToShow);
        QDBusMessage opened = call("Event");
        opened << 0 << QStringLiteral("opened") << QVariant::fromValue(QDBusVariant(0)) << 0u;
        ask(host, opened);
        QDBusMessage entryShown = call("AboutToShow");
        entryShown << 1;
        ask(host, entryShown);
        QCOMPARE(opening.count(), 3);
    }
};

}  // namespace ostrel

QTEST_MAIN(ostrel::SniStatusItemTest)
#include "SniStatusItemTest.moc"
