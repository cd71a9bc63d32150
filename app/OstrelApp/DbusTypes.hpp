#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QDBusVariant>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariantMap>

class QIcon;

namespace ostrel {

// The records of the StatusNotifierItem and dbusmenu interfaces, as QtDBus marshals them.

// (iiay): one image, ARGB32 pixels in network byte order.
struct SniPixmap {
    int width = 0;
    int height = 0;
    QByteArray pixels;
};
using SniPixmapList = QList<SniPixmap>;

// (sa(iiay)ss)
struct SniToolTip {
    QString iconName;
    SniPixmapList pixmaps;
    QString title;
    QString description;
};

// (ia{sv}av): a menu item, its properties and, recursively, its children.
struct DbusMenuLayout {
    int id = 0;
    QVariantMap properties;
    QList<DbusMenuLayout> children;
};

// (ia{sv})
struct DbusMenuItem {
    int id = 0;
    QVariantMap properties;
};
using DbusMenuItemList = QList<DbusMenuItem>;

// (isvu)
struct DbusMenuEvent {
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};
using DbusMenuEventList = QList<DbusMenuEvent>;

// Registers the records with QtDBus; call once before exporting anything.
void registerDbusTypes();

// The icon's images at the sizes panels ask for.
SniPixmapList sniPixmaps(const QIcon& icon);

QDBusArgument& operator<<(QDBusArgument& argument, const SniPixmap& value);
const QDBusArgument& operator>>(const QDBusArgument& argument, SniPixmap& value);
QDBusArgument& operator<<(QDBusArgument& argument, const SniToolTip& value);
const QDBusArgument& operator>>(const QDBusArgument& argument, SniToolTip& value);
QDBusArgument& operator<<(QDBusArgument& argument, const DbusMenuLayout& value);
const QDBusArgument& operator>>(const QDBusArgument& argument, DbusMenuLayout& value);
QDBusArgument& operator<<(QDBusArgument& argument, const DbusMenuItem& value);
const QDBusArgument& operator>>(const QDBusArgument& argument, DbusMenuItem& value);
QDBusArgument& operator<<(QDBusArgument& argument, const DbusMenuEvent& value);
const QDBusArgument& operator>>(const QDBusArgument& argument, DbusMenuEvent& value);

}  // namespace ostrel

Q_DECLARE_METATYPE(ostrel::SniPixmap)
Q_DECLARE_METATYPE(ostrel::SniToolTip)
Q_DECLARE_METATYPE(ostrel::DbusMenuLayout)
Q_DECLARE_METATYPE(ostrel::DbusMenuItem)
Q_DECLARE_METATYPE(ostrel::DbusMenuEvent)
