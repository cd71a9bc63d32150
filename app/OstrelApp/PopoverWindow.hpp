#pragma once

#include <QPointer>
#include <QRect>
#include <QWidget>

#include "OstrelApp/PopoverPlacement.hpp"

class QWindow;

namespace ostrel {

class ScreenPressSource;

// The frameless window that holds the popover's content beside the tray item. It takes no grab of
// the pointer or the keyboard, so that a click elsewhere still reaches what it lands on: a right
// click on the tray item closes the popover and opens the menu at once, and the popover's own
// dialogs work while it stays open. It closes on Escape, on a press outside it and its dialogs
// (which a ScreenPressSource reports, on X11), and when the focus goes to another window (the
// only sign on Wayland, where the compositor also places it).
class PopoverWindow final : public QWidget {
    Q_OBJECT

public:
    // Takes `content`, whose size is the window's where the screen has room for it.
    explicit PopoverWindow(QWidget* content, QWidget* parent = nullptr);
    ~PopoverWindow() override;

    // Closes the popover on the presses `source` reports outside it; `source` is the caller's.
    // The source listens only while the popover is shown.
    void closeOnPressesFrom(ScreenPressSource* source);

    // Shows the window next to `anchor` (the tray item's area, or a point standing for it), or
    // hides it when shown. The click that closed it does not open it again (PopoverToggleGuard).
    void toggle(const QRect& anchor);
    void showAt(const QRect& anchor);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void pressedOnScreen(QPoint where);
    void closeIfFocusLeft();
    // The popover's own window, or one opened from it: a dialog, a list that drops down.
    bool isOwnWindow(const QWindow* window) const;

    QWidget* content_;
    QSize preferredSize_;
    QPointer<ScreenPressSource> presses_;
    PopoverToggleGuard guard_;
    unsigned shows_ = 0;
};

}  // namespace ostrel
