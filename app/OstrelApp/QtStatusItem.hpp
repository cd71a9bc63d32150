#pragma once

#include <QSystemTrayIcon>

#include "OstrelApp/StatusItem.hpp"

namespace ostrel {

// Qt's tray icon: an XEmbed icon where the panel has a system tray, which also places the menu.
class QtStatusItem final : public StatusItem {
    Q_OBJECT

public:
    explicit QtStatusItem(QObject* parent = nullptr);

    void setIcon(const QIcon& icon) override { tray_.setIcon(icon); }
    void setText(const QString& text) override { tray_.setToolTip(text); }
    void setMenu(QMenu* menu) override { tray_.setContextMenu(menu); }
    void show() override { tray_.show(); }
    QRect geometry() const override { return tray_.geometry(); }
    bool opensMenuItself() const override { return true; }

private:
    QSystemTrayIcon tray_;
};

}  // namespace ostrel
