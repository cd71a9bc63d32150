#pragma once

#include <QMenu>
#include <QObject>
#include <memory>

#include "OstrelApp/LinkCommands.hpp"

namespace ostrel {

class MenuBarViewModel;
class OstrelDataService;
class PopoverRootView;
class PopoverWindow;
class ScreenPressSource;
class SniHostWatcher;
class StatusItem;

// Owns Ostrel's tray item with its text, the popover and the context menu. A primary click
// toggles the popover next to the item; a secondary click closes it and opens the menu.
//
// The item is Ostrel's own StatusNotifierItem where a host shows such items, else Qt's icon, which
// an XEmbed tray embeds whenever one runs. A StatusNotifierItem host that starts later (a panel
// after an autostarted Ostrel) takes the item over from Qt's icon.
class StatusBarController final : public QObject {
    Q_OBJECT

public:
    StatusBarController(std::shared_ptr<OstrelDataService> dataService, MenuBarViewModel* menuBarViewModel,
                        LinkCommands links, QObject* parent = nullptr);
    ~StatusBarController() override;

    PopoverWindow* popover() const { return popover_.get(); }
    PopoverRootView* rootView() const { return rootView_; }
    QMenu* contextMenu() { return &contextMenu_; }
    StatusItem* statusItem() const { return statusItem_.get(); }

    void closePopover();
    // Raises the popover, when it is shown, above other windows with the keyboard focus.
    void bringToFront();

private:
    void attachStatusItem();
    void useSniItem();
    void install(std::unique_ptr<StatusItem> item);
    void configureContextMenu();
    void configureObservers();
    void updateStatusButtonDisplay();
    void handleStatusItemClick(QPoint where);
    void showContextMenu(QPoint where);
    void quitApp();
    // The item's area, else the point the host gave or the pointer, else the screen's top right.
    QRect anchorFor(QPoint where) const;

    MenuBarViewModel* menuBarViewModel_;
    LinkCommands links_;
    QMenu contextMenu_;
    PopoverRootView* rootView_;
    std::unique_ptr<PopoverWindow> popover_;
    std::unique_ptr<ScreenPressSource> screenPresses_;
    std::unique_ptr<StatusItem> statusItem_;
    SniHostWatcher* sniHosts_ = nullptr;
};

}  // namespace ostrel
