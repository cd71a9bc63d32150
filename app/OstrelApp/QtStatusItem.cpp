#include "OstrelApp/QtStatusItem.hpp"

#include <QCursor>

namespace ostrel {

QtStatusItem::QtStatusItem(QObject* parent) : StatusItem(parent) {
    connect(&tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        // A quick second click is a double click to Qt, and to the user a second click.
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) emit activated(QPoint());
        // The icon opens its menu itself.
        if (reason == QSystemTrayIcon::Context) emit contextMenuRequested(QCursor::pos());
    });
}

}  // namespace ostrel
