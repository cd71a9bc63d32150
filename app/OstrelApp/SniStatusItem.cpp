#include "OstrelApp/SniStatusItem.hpp"

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusServiceWatcher>
#include <QMenu>
#include <cstdio>

#include "OstrelApp/DbusMenuExporter.hpp"

namespace ostrel {
namespace {

constexpr const char* kWatcherService = "org.kde.StatusNotifierWatcher";
constexpr const char* kWatcherPath = "/StatusNotifierWatcher";
constexpr int kCallTimeoutMs = 3000;

}  // namespace

bool SniStatusItem::hostAvailable(const QDBusConnection& bus) {
    if (!bus.isConnected()) return false;
    QDBusMessage get =
        QDBusMessage::createMethodCall(kWatcherService, kWatcherPath, "org.freedesktop.DBus.Properties", "Get");
    get << QString::fromLatin1(kWatcherService) << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = bus.call(get, QDBus::Block, kCallTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().first().value<QDBusVariant>().variant().toBool();
}

SniStatusItem::SniStatusItem(QDBusConnection bus, QString iconName, QString iconThemePath, QObject* parent)
    : StatusItem(parent),
      bus_(std::move(bus)),
      iconName_(std::move(iconName)),
      iconThemePath_(std::move(iconThemePath)) {
    registerDbusTypes();
    auto* adaptor = new SniItemAdaptor(this);
    connect(this, &SniStatusItem::iconChanged, adaptor, &SniItemAdaptor::NewIcon);
    connect(this, &SniStatusItem::textChanged, adaptor, [this, adaptor] {
        emit adaptor->NewTitle();
        emit adaptor->NewToolTip();
        emit adaptor->XAyatanaNewLabel(text_, text_);
    });
    // A restarted panel starts a new watcher, which knows no items yet.
    watcher_ = new QDBusServiceWatcher(kWatcherService, bus_, QDBusServiceWatcher::WatchForRegistration, this);
    connect(watcher_, &QDBusServiceWatcher::serviceRegistered, this, [this] {
        if (registered_) registerWithWatcher();
    });
}

SniStatusItem::~SniStatusItem() {
    bus_.unregisterObject(itemPath);
    bus_.unregisterObject(menuPath);
}

void SniStatusItem::setIcon(const QIcon& icon) {
    pixmaps_ = sniPixmaps(icon);
    emit iconChanged();
}

void SniStatusItem::setText(const QString& text) {
    if (text_ == text) return;
    text_ = text;
    emit textChanged();
}

void SniStatusItem::setMenu(QMenu* menu) {
    delete menuObject_;
    menuObject_ = new QObject(this);
    new DbusMenuExporter(menu, menuObject_);
}

void SniStatusItem::show() {
    if (registered_) return;
    registered_ = true;
    if (!bus_.registerObject(itemPath, this, QDBusConnection::ExportAdaptors) ||
        (menuObject_ && !bus_.registerObject(menuPath, menuObject_, QDBusConnection::ExportAdaptors))) {
        std::fprintf(stderr, "Ostrel: cannot export the tray item: %s\n", qPrintable(bus_.lastError().message()));
        return;
    }
    registerWithWatcher();
}

void SniStatusItem::registerWithWatcher() {
    QDBusMessage call =
        QDBusMessage::createMethodCall(kWatcherService, kWatcherPath, kWatcherService, "RegisterStatusNotifierItem");
    call << bus_.baseService();
    bus_.asyncCall(call, kCallTimeoutMs);
}

SniItemAdaptor::SniItemAdaptor(SniStatusItem* item) : QDBusAbstractAdaptor(item), item_(item) {
    setAutoRelaySignals(false);
}

}  // namespace ostrel
