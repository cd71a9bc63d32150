#pragma once

#include <QPointer>
#include <QRect>
#include <QWidget>

#include "OstrelApp/PopoverPlacement.hpp"

namespace ostrel {

// The frameless window that holds the popover's content beside the tray item. Under X11 it is a
// popup, which closes when the user clicks elsewhere. Wayland lets no client place or grab a
// parentless popup, so there it is a tool window that hides when the program loses the focus,
// wherever the compositor puts it.
class PopoverWindow final : public QWidget {
    Q_OBJECT

public:
    // Takes `content`, which sets the window's size.
    explicit PopoverWindow(QWidget* content, QWidget* parent = nullptr);

    // Shows the window next to `anchor` (the tray item's area, or a point standing for it), or
    // hides it when shown. A show right after a hide is refused (PopoverToggleGuard).
    void toggle(const QRect& anchor);
    void showAt(const QRect& anchor);

protected:
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    bool wayland_;
    PopoverToggleGuard guard_;
};

}  // namespace ostrel
