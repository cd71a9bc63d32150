#include "OstrelApp/QtStatusItem.hpp"

#include <QCursor>

namespace ostrel {

QtStatusItem::QtStatusItem(QObject* parent) : StatusItem(parent) {
    connect(&tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) emit activated(QPoint());
        // The icon opens its menu itself.
        if (reason == QSystemTrayIcon::Context) emit contextMenuRequested(QCursor::pos());
    });
}

}  // namespace ostrel
