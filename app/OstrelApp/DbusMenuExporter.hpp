#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusVariant>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <functional>

#include "OstrelApp/DbusTypes.hpp"

class QAction;
class QMenu;

namespace ostrel {

// A QMenu as com.canonical.dbusmenu, so the tray host can draw it: the root is item 0, the menu's
// actions are items 1, 2, ... in their order. "clicked" triggers an action once the call has been
// answered.
class DbusMenuExporter final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

public:
    // `object` is what gets registered on the bus; `menu` stays the caller's. `opening` runs when
    // the host is about to show the menu.
    DbusMenuExporter(QMenu* menu, QObject* object, std::function<void()> opening = {});

    uint version() const { return 3; }
    QString textDirection() const { return QStringLiteral("ltr"); }
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const { return {}; }

    bool eventFilter(QObject* watched, QEvent* event) override;

public slots:
    uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames, ostrel::DbusMenuLayout& layout);
    ostrel::DbusMenuItemList GetGroupProperties(const QList<int>& ids, const QStringList& propertyNames);
    QDBusVariant GetProperty(int id, const QString& name);
    void Event(int id, const QString& eventId, const QDBusVariant& data, uint timestamp);
    QList<int> EventGroup(const ostrel::DbusMenuEventList& events);
    bool AboutToShow(int id);
    QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors);

signals:
    void LayoutUpdated(uint revision, int parent);
    void ItemActivationRequested(int id, uint timestamp);

private:
    QAction* actionOf(int id) const;
    QVariantMap propertiesOf(int id, const QStringList& names) const;

    QPointer<QMenu> menu_;
    std::function<void()> opening_;
    uint revision_ = 1;
};

}  // namespace ostrel
