#include "OstrelApp/SniHostWatcher.hpp"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

namespace ostrel {
namespace {

constexpr int kCallTimeoutMs = 3000;

QDBusMessage hostRegisteredQuery() {
    QDBusMessage get = QDBusMessage::createMethodCall(SniHostWatcher::watcherService, SniHostWatcher::watcherPath,
                                                      "org.freedesktop.DBus.Properties", "Get");
    get << QString::fromLatin1(SniHostWatcher::watcherService) << QStringLiteral("IsStatusNotifierHostRegistered");
    return get;
}

bool saysRegistered(const QDBusMessage& reply) {
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().first().value<QDBusVariant>().variant().toBool();
}

}  // namespace

SniHostWatcher::SniHostWatcher(QDBusConnection bus, QObject* parent) : QObject(parent), bus_(std::move(bus)) {
    auto* names = new QDBusServiceWatcher(watcherService, bus_, QDBusServiceWatcher::WatchForRegistration, this);
    connect(names, &QDBusServiceWatcher::serviceRegistered, this, &SniHostWatcher::check);
    // A watcher can take its name before its object is on the bus, and a host registers after it.
    bus_.connect(QString(), watcherPath, watcherService, "StatusNotifierHostRegistered", this, SLOT(check()));
}

bool SniHostWatcher::hostAvailable(const QDBusConnection& bus) {
    return bus.isConnected() && saysRegistered(bus.call(hostRegisteredQuery(), QDBus::Block, kCallTimeoutMs));
}

void SniHostWatcher::check() {
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(hostRegisteredQuery(), kCallTimeoutMs), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        if (saysRegistered(call->reply())) emit hostAppeared();
    });
}

}  // namespace ostrel
