#include "OstrelApp/SniStatusItem.hpp"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QMenu>
#include <QTimer>
#include <cstdio>

#include "OstrelApp/DbusMenuExporter.hpp"
#include "OstrelApp/SniHostWatcher.hpp"

namespace ostrel {
namespace {

constexpr const char* kWatcherService = SniHostWatcher::watcherService;
constexpr int kCallTimeoutMs = 3000;
// 0.2 s, doubling: about 6 s in all.
constexpr int kRegisterAttempts = 5;
constexpr int kFirstRetryMs = 200;

}  // namespace

SniStatusItem::SniStatusItem(QDBusConnection bus, QString iconName, QString iconThemePath, QObject* parent)
    : StatusItem(parent),
      bus_(std::move(bus)),
      iconName_(std::move(iconName)),
      iconThemePath_(std::move(iconThemePath)) {
    registerDbusTypes();
    auto* adaptor = new SniItemAdaptor(this);
    connect(this, &SniStatusItem::iconChanged, adaptor, &SniItemAdaptor::NewIcon);
    connect(this, &SniStatusItem::textChanged, adaptor, [this, adaptor] {
        emit adaptor->NewToolTip();
        emit adaptor->XAyatanaNewLabel(text_, text_);
    });
    // A panel that starts late, or again, brings a new watcher, which knows no items yet.
    auto* watcher = new QDBusServiceWatcher(kWatcherService, bus_, QDBusServiceWatcher::WatchForRegistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceRegistered, this, [this] {
        if (shown_) registerWithWatcher();
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
    new DbusMenuExporter(menu, menuObject_, [this] { emit menuOpening(); });
}

void SniStatusItem::show() {
    if (shown_) return;
    shown_ = true;
    if (!bus_.registerObject(itemPath, this, QDBusConnection::ExportAdaptors) ||
        (menuObject_ && !bus_.registerObject(menuPath, menuObject_, QDBusConnection::ExportAdaptors))) {
        std::fprintf(stderr, "Ostrel: cannot export the tray item: %s\n", qPrintable(bus_.lastError().message()));
        return;
    }
    registerWithWatcher();
}

void SniStatusItem::registerWithWatcher(int attempt) {
    if (attempt == 0) ++watcherGeneration_;
    QDBusMessage call = QDBusMessage::createMethodCall(kWatcherService, SniHostWatcher::watcherPath, kWatcherService,
                                                       "RegisterStatusNotifierItem");
    call << bus_.baseService();
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call, kCallTimeoutMs), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, attempt, generation = watcherGeneration_](QDBusPendingCallWatcher* answer) {
                answer->deleteLater();
                const QDBusError error = answer->error();
                // Without any watcher, the next one to take the name is told when it does.
                if (!error.isValid() || error.type() == QDBusError::ServiceUnknown) return;
                if (attempt + 1 >= kRegisterAttempts) {
                    std::fprintf(stderr, "Ostrel: the tray's watcher refused the item: %s\n",
                                 qPrintable(error.message()));
                    return;
                }
                QTimer::singleShot(kFirstRetryMs << attempt, this, [this, attempt, generation] {
                    if (generation == watcherGeneration_) registerWithWatcher(attempt + 1);
                });
            });
}

SniItemAdaptor::SniItemAdaptor(SniStatusItem* item) : QDBusAbstractAdaptor(item), item_(item) {
    setAutoRelaySignals(false);
}

}  // namespace ostrel
