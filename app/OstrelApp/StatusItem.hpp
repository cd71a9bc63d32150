#pragma once

#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QString>

class QMenu;

namespace ostrel {

// Ostrel's item in the panel's tray: its icon, its text and its menu, and the clicks on it.
class StatusItem : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~StatusItem() override;

    virtual void setIcon(const QIcon& icon) = 0;
    // The tooltip, and the label beside the icon where the host draws one.
    virtual void setText(const QString& text) = 0;
    // The menu of a secondary click; the caller keeps it.
    virtual void setMenu(QMenu* menu) = 0;
    virtual void show() = 0;
    // The item's area on screen; empty when the host does not tell.
    virtual QRect geometry() const = 0;
    // Whether a secondary click opens the menu without the program's help.
    virtual bool opensMenuItself() const = 0;

signals:
    // A primary click; `where` is the point the host gave, or a null point.
    void activated(QPoint where);
    // A secondary click, whether or not the item shows the menu itself.
    void contextMenuRequested(QPoint where);
    // The host is about to show the item's menu itself, whatever click it took for that.
    void menuOpening();
};

}  // namespace ostrel
